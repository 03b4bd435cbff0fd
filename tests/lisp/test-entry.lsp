;;;; The module's start-up: package, handle types, exported data, aliases,
;;;; and that a second start-up does nothing.

(deftest package-xml-stands-alone ()
  (let ((xml (find-package "XML")))
    (check xml)
    (check-equal '() (package-use-list xml))
    ;; Names that CL owns are the module's own in XML, so no package lock
    ;; stands in the way of registering them.
    (check (not (eq (intern "FIRST" xml) 'first)))))

(deftest handle-types-exist-with-zero-defaults ()
  (dolist (type '(xml:xml-document-struct xml:xml-element-struct xml:xml-attribute-struct))
    (check (find-class type nil))
    (check (subtypep type 'structure-object)))
  (check-equal 0 (xml::xml-document-struct-ptr (xml::make-xml-document-struct)))
  (check-equal 0 (xml::xml-element-struct-ptr (xml::make-xml-element-struct)))
  (check-equal 0 (xml::xml-attribute-struct-ptr (xml::make-xml-attribute-struct)))
  (check-equal 7 (xml::xml-element-struct-ptr (xml::make-xml-element-struct :ptr 7)))
  (check (xml:xml-element-struct-p (xml::make-xml-element-struct)))
  (check (not (xml:xml-element-struct-p (xml::make-xml-document-struct)))))

(deftest exported-globals-hold-their-objects ()
  (check-equal (find-package "XML") (xmltest:module-global "xml_package"))
  (check-equal 'xml:xml-document-struct (xmltest:module-global "xml_document_struct_def"))
  (check-equal 'xml:xml-element-struct (xmltest:module-global "xml_element_struct_def"))
  (check-equal 'xml:xml-attribute-struct (xmltest:module-global "xml_attribute_struct_def"))
  (loop for (global keyword) on '("Kencoding" :encoding "Kutf8" :utf-8 "Kutf16" :utf-16
                                  "Kpretty_print" :pretty-print "Kelement" :element
                                  "Kattribute" :attribute "Kattributes" :attributes
                                  "Kchild" :child "Kchildren" :children "Ktext" :text)
        by #'cddr
        do (check-equal keyword (xmltest:module-global global)))
  ;; The other keywords are the module's own business.
  (check-equal :missing (xmltest:module-global "Kon_error"))
  (check-equal :missing (xmltest:module-global "Kloaded")))

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

(deftest aliases-follow-their-functions ()
  ;; After start-up an alias exists exactly when its function does.
  (loop for (alias . target) in *alias-names*
        do (check-equal (fboundp target) (and (fboundp alias) t))
           (when (fboundp target)
             (check (eq (fdefinition alias) (fdefinition target)))
             (check-equal :external (nth-value 1 (find-symbol (symbol-name alias) "XML"))))))

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

(deftest missing-lisp-file-is-reported-not-fatal ()
  (with-temp-directory (dir)
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ (find-class 'xml::xml-document-struct nil))")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)
                                           (format nil "QUILL_AUTOMATION_LOG=~Alog" dir)))
      (check-equal 0 code)
      (check-equal "NIL" out)
      (check (search "XmlLispFnc.lsp" err))
      (check (search "bix_xml.lsp" err))
      (check (search "XmlLispFnc.lsp" (read-file (format nil "~Alog" dir)))))))

(deftest broken-lisp-file-is-reported-not-fatal ()
  (with-temp-directory (dir)
    (ensure-directories-exist (format nil "~Axml/lsp/" dir))
    (with-open-file (s (format nil "~Axml/lsp/XmlLispFnc.lsp" dir) :direction :output)
      (write-string "(cl:error \"broken on purpose\")" s))
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ :alive)")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)))
      (check-equal 0 code)
      (check-equal "ALIVE" out)
      (check (search "broken on purpose" err)))))
