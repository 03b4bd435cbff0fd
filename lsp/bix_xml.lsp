;;;; Shorter names for the XML module's functions, in the usual Lisp style
;;;; (accessors without GET-, constructors with MAKE-).
;;;;
;;;; An alias is defined, and exported, only when its function exists, so the
;;;; table can name functions that a build does not register.

(cl:in-package "XML")

(cl:let ((aliases '((read-document . read-xml)
                    (write-document . write-xml)
                    (document-to-string . serialize-xml)
                    (string-to-document . deserialize-xml)
                    (document-equal . compare-xml)
                    (make-document . document-create)
                    (document-root . document-get-root)
                    (set-document-root . document-set-root)
                    (select-node . document-select-node)
                    (attribute-value . attribute-get-value)
                    (set-attribute-value . attribute-set-value)
                    (make-element . element-create)
                    (element-tag . element-get-tag)
                    (element-child . element-get-child)
                    (element-children . element-get-children)
                    (element-named-children . element-get-named-children)
                    (add-child . element-add-child)
                    (element-text . element-get-text)
                    (set-element-text . element-set-text)
                    (element-attributes . element-get-attributes)
                    (element-attribute . element-get-attribute)
                    (set-element-attribute . element-set-attribute)
                    (element-parent . element-get-parent)
                    (element-document . element-get-document))))
  (cl:dolist (alias aliases)
    (cl:when (cl:fboundp (cl:cdr alias))
      (cl:setf (cl:fdefinition (cl:car alias)) (cl:fdefinition (cl:cdr alias)))
      (cl:export (cl:car alias)))))
