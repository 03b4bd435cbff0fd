;;;; LOAD-XML and REGISTER-XML-LOADER: dispatch by root tag, results, the
;;;; first registration winning, collector safety and Lisp exits out of
;;;; loader functions. The registry lives for the whole process, so every
;;;; test uses root tags of its own.

(defun contains (text part) (and (search part text) t))

(defun xml-file (dir name tag)
  (write-text (concatenate 'string dir name) (format nil "<~A v='1'><c/></~A>" tag tag)))

(deftest loaded-means-t-itself ()
  ;; Root tags beyond ASCII and the BMP find their loader too.
  (let ((seen '())
        (cases `(("l-true" t t) (,(format nil "l-~A" (unicode-text)) t t)
                 ("l-one" 1 nil) ("l-nil" nil nil) ("l-string" "t" nil))))
    (loop for (tag value) in cases
          do (check-equal t (let ((value value))
                              (xml:register-xml-loader tag :file-handler
                                                       (lambda (file) (push file seen) value)))))
    (with-temp-directory (dir)
      (loop for (tag nil loaded) in cases
            for i from 0
            for file = (xml-file dir (format nil "~D.xml" i) tag)
            do (check-equal (list tag :loaded loaded) (cons tag (xml:load-xml file)))
               (check-equal file (first seen))))))

(deftest failures-are-reported-in-messages ()
  (with-temp-directory (dir)
    (let ((none (xml:load-xml (xml-file dir "none.xml" "nobody-loads-this")))
          (broken (xml:load-xml (write-text (concatenate 'string dir "broken.xml") "no xml")))
          (missing (xml:load-xml (concatenate 'string dir "missing.xml"))))
      (dolist (result (list none broken missing))
        (check-equal '(:error-message t :loaded nil)
                     (list (first result) (stringp (second result)) (third result) (fourth result)))
        (check-equal 4 (length result)))
      (check (contains (second none) "nobody-loads-this"))
      (check (contains (second broken) "broken.xml"))
      ;; A file name that is no string: nothing to report.
      (check-equal '((:loaded nil) (:loaded nil)) (mapcar #'xml:load-xml '(nil 42))))))

(deftest source-keyword-and-argument-errors ()
  (xml:register-xml-loader "l-source" :file-handler (lambda (file) file t))
  (with-temp-directory (dir)
    (let ((file (xml-file dir "source.xml" "l-source")))
      (dolist (source '(:database :direct nil anything))
        (check-equal '(:loaded t) (xml:load-xml file :source source)))
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
  (let ((action nil))
    (xml:register-xml-loader "l-exit" :file-handler (lambda (file) file (funcall action)))
    (xml:register-xml-loader "l-ok" :file-handler (lambda (file) file t))
    (with-clean-cache
      (with-temp-directory (dir)
        (let ((before (baseline-counts))
              (exit (xml-file dir "e.xml" "l-exit"))
              (ok (xml-file dir "ok.xml" "l-ok")))
          (dotimes (round 3)
            (loop for (expected . run) in (exits (lambda (a) (setf action a) (xml:load-xml exit)))
                  do (check-equal expected (funcall run)))
            (check-equal '(:loaded t) (xml:load-xml ok))
            (check (same-counts-p before))))))))

;;; The document half is reached from C++ only: the probe module calls it.
(deftest document-functions-get-a-document-handle ()
  (with-clean-cache
    (let ((seen nil))
      (xml:register-xml-loader "l-doc" :document-handler (lambda (d) (setf seen d) t))
      (xml:register-xml-loader "l-doc-one" :document-handler (lambda (d) d 1))
      (let* ((d (xml:deserialize-xml "<l-doc/>"))
             (entries (xmlprobe:cache-entries)))
        (check-equal t (xmlprobe:load-document d))
        (check-equal (1+ entries) (xmlprobe:cache-entries))
        (check-equal t (xml:compare-xml d seen))
        (check-equal "l-doc" (xml:element-get-tag (xml:document-get-root seen)))
        (check-equal '(nil nil) (mapcar (lambda (text) (xmlprobe:load-document (xml:deserialize-xml text)))
                                        '("<l-doc-one/>" "<l-none/>")))
        (xml:clear-xml-cache)
        (check-equal 0 (xmlprobe:live-documents))))))
