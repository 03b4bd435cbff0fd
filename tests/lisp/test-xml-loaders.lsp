;;;; LOAD-XML and REGISTER-XML-LOADER: dispatch by root tag, results,
;;;; collector safety and Lisp exits out of loader functions. The registry
;;;; lives for the whole process, so every test uses root tags of its own.

(defun xml-file (dir name tag)
  (write-text (concatenate 'string dir name) (format nil "<~A v='1'><c/></~A>" tag tag)))

(defun load-tag (dir tag) (xml:load-xml (xml-file dir (format nil "~A.xml" (length tag)) tag)))

(deftest loaded-means-t-itself ()
  ;; Root tags beyond ASCII and the BMP find their loader too.
  (let ((seen '()))
    (with-temp-directory (dir)
      (loop for (tag value loaded) in `(("l-true" t t) (,(format nil "l-~A" (unicode-text)) t t)
                                        ("l-one" 1 nil) ("l-nil" nil nil) ("l-string" "t" nil))
            for file = (xml-file dir "f.xml" tag)
            do (check-equal t (let ((value value))
                                (xml:register-xml-loader tag :file-handler (lambda (file) (push file seen) value))))
               (check-equal (list tag :loaded loaded file) (append (cons tag (xml:load-xml file)) (list (first seen))))))))

(deftest registrations-and-failures ()
  (check-equal '(t t t t t)
               (list (xml:register-xml-loader "l-source" :file-handler (lambda (file) file t))
                     ;; No functions; a tag that is no string takes no root.
                     (xml:register-xml-loader "l-bare")
                     (xml:register-xml-loader nil :file-handler (lambda (file) file t))
                     (xml:register-xml-loader 42 :file-handler (lambda (file) file t))
                     (xml:register-xml-loader "l-doc-only" :document-handler (lambda (d) d t))))
  (ignore-errors (xml:register-xml-loader "l-x" :handler #'identity))
  (with-temp-directory (dir)
    (dolist (source '(:database :direct nil anything))
      (check-equal '(:loaded t) (xml:load-xml (xml-file dir "source.xml" "l-source") :source source)))
    ;; No loader, or a refused registration: a message naming the root tag
    ;; (which message is the registry's tests' concern). A missing file
    ;; function is nil, and calling nil is a Lisp error of the caller.
    (dolist (tag '("nobody-loads-this" "l-sourc" "l-x" "l-bare-not"))
      (let ((result (load-tag dir tag)))
        (check-equal (list :error-message t :loaded nil)
                     (list (first result) (contains (second result) tag) (third result) (fourth result)))))
    (check-error error (load-tag dir "l-bare"))
    (check-error error (load-tag dir "l-doc-only")))
  ;; A file name that is no string: nothing to report.
  (check-equal '((:loaded nil) (:loaded nil)) (mapcar #'xml:load-xml '(nil 42))))

(deftest loader-functions-survive-collections ()
  (let ((tags (loop for i below 50 collect (format nil "l-gc-~D" i))))
    ;; Fresh closures, referenced from nowhere but the registered loaders.
    (loop for tag in tags
          for i from 0
          do (let ((expected (format nil "~A.xml" tag)) (box (list i)))
               (xml:register-xml-loader tag :file-handler (lambda (file) (and (contains file expected) (integerp (car box)))))))
    (dotimes (i 4) (make-list 100000) (full-gc))
    (with-temp-directory (dir)
      (check-equal 50 (count '(:loaded t)
                             (mapcar (lambda (tag) (xml:load-xml (xml-file dir (format nil "~A.xml" tag) tag))) tags)
                             :test #'equal)))))

(deftest lisp-exits-out-of-loader-functions-unwind-cleanly ()
  (let ((action nil))
    (xml:register-xml-loader "l-exit" :file-handler (lambda (file) file (funcall action)))
    (xml:register-xml-loader "l-ok" :file-handler (lambda (file) file t))
    (with-clean-cache
      (with-temp-directory (dir)
        (let ((before (baseline-counts)))
          (dotimes (round 3)
            (loop for (expected . run) in (exits (lambda (a) (setf action a) (load-tag dir "l-exit")))
                  do (check-equal expected (funcall run)))
            (check-equal '(:loaded t) (load-tag dir "l-ok"))
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
        (check-equal '(t "l-doc") (list (xml:compare-xml d seen) (xml:element-get-tag (xml:document-get-root seen))))
        (check-equal '(nil nil) (mapcar (lambda (text) (xmlprobe:load-document (xml:deserialize-xml text)))
                                        '("<l-doc-one/>" "<l-none/>")))
        (xml:clear-xml-cache)
        (check-equal 0 (xmlprobe:live-documents))))))
