;;;; LOAD-XML and REGISTER-XML-LOADER: dispatch by root tag, results, the
;;;; first registration winning, collector safety and Lisp exits out of
;;;; loader functions. The registry lives for the whole process, so every
;;;; test uses root tags of its own.

(defun contains (text part) (and (search part text) t))

(defun xml-file (dir name tag)
  (write-text (concatenate 'string dir name) (format nil "<~A v='1'><c/></~A>" tag tag)))

(deftest loaded-means-t-itself ()
  (let ((seen '())
        (tag (format nil "l-~A" (unicode-text))))
    (check-equal t (xml:register-xml-loader "l-true" :file-handler
                                            (lambda (file) (push file seen) t)))
    (check-equal t (xml:register-xml-loader tag :file-handler (lambda (file) file t)))
    (check-equal t (xml:register-xml-loader "l-one" :file-handler (lambda (file) file 1)))
    (check-equal t (xml:register-xml-loader "l-nil" :file-handler (lambda (file) file nil)))
    (check-equal t (xml:register-xml-loader "l-string" :file-handler (lambda (file) file "t")))
    (with-temp-directory (dir)
      (let ((file (xml-file dir "true.xml" "l-true")))
        (check-equal '(:loaded t) (xml:load-xml file))
        (check-equal (list file) seen))
      ;; Root tags beyond ASCII and the BMP find their loader.
      (check-equal '(:loaded t) (xml:load-xml (xml-file dir "unicode.xml" tag)))
      (check-equal '(:loaded nil) (xml:load-xml (xml-file dir "one.xml" "l-one")))
      (check-equal '(:loaded nil) (xml:load-xml (xml-file dir "nil.xml" "l-nil")))
      (check-equal '(:loaded nil) (xml:load-xml (xml-file dir "string.xml" "l-string"))))))

(deftest failures-are-reported-in-messages ()
  (with-temp-directory (dir)
    (let ((none (xml:load-xml (xml-file dir "none.xml" "nobody-loads-this")))
          (broken (xml:load-xml (write-text (concatenate 'string dir "broken.xml") "no xml")))
          (missing (xml:load-xml (concatenate 'string dir "missing.xml"))))
      (check-equal '(:error-message :loaded) (list (first none) (third none)))
      (check (contains (second none) "nobody-loads-this"))
      (check-equal nil (fourth none))
      (check-equal 4 (length none))
      (check-equal '(:error-message :loaded nil) (list (first broken) (third broken) (fourth broken)))
      (check (contains (second broken) "broken.xml"))
      (check-equal :error-message (first missing))
      (check-equal '(:loaded nil) (last missing 2))
      ;; A file name that is no string: nothing to report.
      (check-equal '(:loaded nil) (xml:load-xml nil))
      (check-equal '(:loaded nil) (xml:load-xml 42)))))

(deftest source-keyword-and-argument-errors ()
  (xml:register-xml-loader "l-source" :file-handler (lambda (file) file t))
  (with-temp-directory (dir)
    (let ((file (xml-file dir "source.xml" "l-source")))
      (check-equal '(:loaded t) (xml:load-xml file :source :database))
      (check-equal '(:loaded t) (xml:load-xml file :source :direct))
      (check-equal '(:loaded t) (xml:load-xml file :source nil))
      (check-equal '(:loaded t) (xml:load-xml file :source 'anything))
      (check-error program-error (xml:load-xml))
      (check-error program-error (xml:load-xml file :sauce :database))
      (check-error program-error (xml:load-xml file :source))
      (check-error program-error (xml:register-xml-loader))
      (check-error program-error (xml:register-xml-loader "l-x" :handler #'identity))
      (check-error program-error (xml:register-xml-loader "l-x" :file-handler))
      ;; Nothing of the refused registration was kept.
      (check-equal :error-message (first (xml:load-xml (xml-file dir "x.xml" "l-x")))))))

(deftest first-registration-wins ()
  (check-equal t (xml:register-xml-loader "l-twice" :file-handler (lambda (file) file t)))
  (check-equal t (xml:register-xml-loader "l-twice" :file-handler (lambda (file) file nil)))
  ;; Tags are compared whole and with case.
  (check-equal t (xml:register-xml-loader "L-TWICE" :file-handler (lambda (file) file nil)))
  (with-temp-directory (dir)
    (check-equal '(:loaded t) (xml:load-xml (xml-file dir "a.xml" "l-twice")))
    (check-equal '(:loaded nil) (xml:load-xml (xml-file dir "b.xml" "L-TWICE")))
    (check-equal :error-message (first (xml:load-xml (xml-file dir "c.xml" "l-twic"))))))

(deftest loaders-without-functions ()
  (check-equal t (xml:register-xml-loader "l-bare"))
  ;; A tag that is no string registers a loader that takes no root.
  (check-equal t (xml:register-xml-loader nil :file-handler (lambda (file) file t)))
  (check-equal t (xml:register-xml-loader 42 :file-handler (lambda (file) file t)))
  (check-equal t (xml:register-xml-loader "l-doc-only" :document-handler (lambda (d) d t)))
  (with-temp-directory (dir)
    ;; A missing file function is nil, and calling nil is a Lisp error of the
    ;; caller; the registry is fine afterwards.
    (check-error error (xml:load-xml (xml-file dir "bare.xml" "l-bare")))
    (check-error error (xml:load-xml (xml-file dir "doc.xml" "l-doc-only")))
    (check-equal :error-message (first (xml:load-xml (xml-file dir "n.xml" "l-bare-not"))))))

(deftest loader-functions-survive-collections ()
  (let ((tags (loop for i below 50 collect (format nil "l-gc-~D" i))))
    ;; Fresh closures, referenced from nowhere but the registered loaders.
    (loop for tag in tags
          for i from 0
          do (let ((expected (format nil "~A.xml" tag))
                   (box (list i)))
               (xml:register-xml-loader
                tag :file-handler (lambda (file)
                                    (and (contains file expected) (integerp (car box)) t)))))
    (dotimes (i 4)
      (make-list 100000)
      (full-gc))
    (with-temp-directory (dir)
      (check-equal 50 (count '(:loaded t)
                             (mapcar (lambda (tag)
                                       (xml:load-xml (xml-file dir (format nil "~A.xml" tag) tag)))
                                     tags)
                             :test #'equal)))))

(deftest lisp-exits-out-of-loader-functions-unwind-cleanly ()
  (xml:register-xml-loader "l-error" :file-handler (lambda (file) (error "refused ~A" file)))
  (xml:register-xml-loader "l-throw" :file-handler (lambda (file) (throw 'out (values file 2 3))))
  (let ((exit nil))
    (xml:register-xml-loader "l-return" :file-handler (lambda (file) (funcall exit file)))
    (xml:register-xml-loader "l-ok" :file-handler (lambda (file) file t))
    (with-clean-cache
      (with-temp-directory (dir)
        (let ((before (baseline-counts))
              (err (xml-file dir "e.xml" "l-error"))
              (thr (xml-file dir "t.xml" "l-throw"))
              (ret (xml-file dir "r.xml" "l-return"))
              (ok (xml-file dir "ok.xml" "l-ok")))
          (dotimes (round 3)
            (let ((c (check-error simple-error (xml:load-xml err))))
              (check (and c (contains (princ-to-string c) "e.xml"))))
            ;; All values of a throw arrive.
            (check-equal (list thr 2 3) (multiple-value-list (catch 'out (xml:load-xml thr))))
            (check-equal (list :returned ret)
                         (block leave
                           (setf exit (lambda (file) (return-from leave (list :returned file))))
                           (xml:load-xml ret)))
            ;; An exit from inside a handler-case inside the loader function
            ;; stays inside it.
            (check-equal '(:loaded t) (xml:load-xml ok))
            (check (same-counts-p before))))))))

;;; The document half is reached from C++ only (XmlLoaderRegistry::loadDocument);
;;; a child run with a test module that calls it checks it.

(deftest document-functions-get-a-document-handle ()
  (with-temp-directory (dir)
    (let ((script (concatenate 'string dir "script.lsp")))
      (with-open-file (s script :direction :output)
        (write-string "
(let ((seen nil))
  (xml:register-xml-loader \"l-doc\" :document-handler
    (lambda (d) (setf seen d) t))
  (xml:register-xml-loader \"l-doc-one\" :document-handler (lambda (d) d 1))
  (let* ((d (xml:deserialize-xml \"<l-doc/>\"))
         (entries (xmlprobe:cache-entries))
         (loaded (unmarshalprobe:load-document d)))
    (format t \"~&RESULT ~S~%\"
            (list loaded
                  (xml:xml-document-struct-p seen)
                  (- (xmlprobe:cache-entries) entries)
                  (xml:compare-xml d seen)
                  (xml:element-get-tag (xml:document-get-root seen))
                  (unmarshalprobe:load-document (xml:deserialize-xml \"<l-doc-one/>\"))
                  (unmarshalprobe:load-document (xml:deserialize-xml \"<l-none/>\"))
                  (progn (xml:clear-xml-cache) (xmlprobe:live-documents))))))" s))
      (multiple-value-bind (code out err)
          (run-quill-lisp (list "--module" (ext:getenv "XMLPROBE_LIBRARY")
                                "--module" (ext:getenv "UNMARSHALPROBE_LIBRARY") script))
        (let ((at (search "RESULT " out)))
          (unless (and (eql code 0) at) (format t "~&child: ~A~%~A~%~A~%" code out err))
          (check-equal '(t t 1 t "l-doc" nil nil 0)
                       (and at (read-from-string out t nil :start (+ at 7)))))))))
