;;;; The module's start-up: package, aliases, printed handles, missing Lisp
;;;; files, and that a second start-up does nothing.

(deftest package-xml-stands-alone ()
  (let ((xml (find-package "XML")))
    (check (and xml (null (package-use-list xml))))
    ;; Names that CL owns are the module's own in XML, so no package lock
    ;; stands in the way of registering them.
    (check (not (eq (intern "FIRST" xml) 'first)))))

(deftest second-start-up-does-nothing ()
  ;; Were the Lisp files loaded again, the constructor would be restored.
  (let ((constructor (fdefinition 'xml::make-xml-document-struct)))
    (unwind-protect
         (progn
           (setf (fdefinition 'xml::make-xml-document-struct) (lambda (&rest r) (declare (ignore r)) :replaced))
           (check (xmltest:init-xml-again))
           (check-equal :replaced (xml::make-xml-document-struct)))
      (setf (fdefinition 'xml::make-xml-document-struct) constructor))))

(defparameter *alias-names*
  '((xml::read-document . xml::read-xml) (xml::element-children . xml::element-get-children)
    (xml::make-element . xml::element-create) (xml::element-document . xml::element-get-document)))

(deftest aliases-appear-when-the-function-does ()
  ;; A function registered later gets its alias when the alias file runs.
  (let ((free (find-if-not (lambda (a) (fboundp (cdr a))) *alias-names*)))
    (when free
      (destructuring-bind (alias . target) free
        (unwind-protect
             (progn
               (setf (fdefinition target) #'list)
               (check (xmltest:load-lisp "xml/lsp/bix_xml"))
               (check (eq #'list (fdefinition alias)))
               (check-equal :external (nth-value 1 (find-symbol (symbol-name alias) "XML"))))
          (fmakunbound target)
          (fmakunbound alias)
          (unexport alias "XML"))))))

(deftest handles-print-their-kind ()
  (let ((*package* (find-package "CL-USER")))
    (check-equal "#<XML-ELEMENT-STRUCT 0x55d0c0a1b2c0>"
                 (prin1-to-string (xmltest:make-ptr 'xml:xml-element-struct #x55d0c0a1b2c0)))
    (check-equal "#<XML-DOCUMENT-STRUCT 0x0>" (princ-to-string (xml::make-xml-document-struct))))
  (check-error print-not-readable
               (let ((*print-readably* t)) (prin1-to-string (xml::make-xml-attribute-struct)))))

(deftest missing-or-broken-lisp-files-are-reported-not-fatal ()
  (with-temp-directory (dir)
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ (find-class 'xml::xml-document-struct nil))")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)
                                           (format nil "QUILL_AUTOMATION_LOG=~Alog" dir)))
      (check-equal '(0 "NIL") (list code out))
      (check (and (search "XmlLispFnc.lsp" err) (search "bix_xml.lsp" err)))
      (check (search "XmlLispFnc.lsp" (read-file (format nil "~Alog" dir)))))
    (ensure-directories-exist (format nil "~Axml/lsp/" dir))
    (with-open-file (s (format nil "~Axml/lsp/XmlLispFnc.lsp" dir) :direction :output)
      (write-string "(cl:error \"broken on purpose\")" s))
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ :alive)")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)))
      (check-equal '(0 "ALIVE") (list code out))
      (check (search "broken on purpose" err)))))
