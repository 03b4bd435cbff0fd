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

;; The short names of lsp/bix_xml.lsp, each the very function it stands for.
(defparameter *aliases*
  '((read-document . read-xml) (write-document . write-xml) (document-to-string . serialize-xml)
    (string-to-document . deserialize-xml) (document-equal . compare-xml) (make-document . document-create)
    (document-root . document-get-root) (set-document-root . document-set-root)
    (select-node . document-select-node) (attribute-value . attribute-get-value)
    (set-attribute-value . attribute-set-value) (make-element . element-create) (element-tag . element-get-tag)
    (element-child . element-get-child) (element-children . element-get-children)
    (element-named-children . element-get-named-children) (add-child . element-add-child)
    (element-text . element-get-text) (set-element-text . element-set-text)
    (element-attributes . element-get-attributes) (element-attribute . element-get-attribute)
    (set-element-attribute . element-set-attribute) (element-parent . element-get-parent)
    (element-document . element-get-document)))

(defun alias-state (name)
  "How the XML symbol of name stands: (fbound status)."
  (multiple-value-bind (symbol status) (find-symbol (symbol-name name) "XML")
    (list (and symbol (fboundp symbol) (fdefinition symbol)) status)))

(deftest every-alias-is-its-target ()
  (loop for (alias . target) in *aliases*
        do (check-equal (list alias (fdefinition (find-symbol (symbol-name target) "XML")) :external)
                        (cons alias (alias-state alias)))))

(deftest aliases-follow-their-functions ()
  ;; An alias is made, and exported, only when its function exists.
  (let* ((alias 'xml::element-document) (target 'xml::element-get-document) (function (fdefinition target)))
    (unwind-protect
         (progn
           (fmakunbound target)
           (fmakunbound alias)
           (unexport alias "XML")
           (check (xmltest:load-lisp "xml/lsp/bix_xml"))
           (check-equal '(nil :internal) (alias-state alias))
           (setf (fdefinition target) function)
           (check (xmltest:load-lisp "xml/lsp/bix_xml"))
           (check-equal (list function :external) (alias-state alias)))
      (setf (fdefinition target) function (fdefinition alias) function)
      (export alias "XML"))))

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
