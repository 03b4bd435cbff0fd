;;;; The short names of lsp/bix_xml.lsp: each is the very function it stands
;;;; for, exported from XML.

(defparameter *aliases*
  '(("READ-DOCUMENT" . "READ-XML") ("WRITE-DOCUMENT" . "WRITE-XML") ("DOCUMENT-TO-STRING" . "SERIALIZE-XML")
    ("STRING-TO-DOCUMENT" . "DESERIALIZE-XML") ("DOCUMENT-EQUAL" . "COMPARE-XML") ("MAKE-DOCUMENT" . "DOCUMENT-CREATE")
    ("DOCUMENT-ROOT" . "DOCUMENT-GET-ROOT") ("SET-DOCUMENT-ROOT" . "DOCUMENT-SET-ROOT")
    ("SELECT-NODE" . "DOCUMENT-SELECT-NODE") ("ATTRIBUTE-VALUE" . "ATTRIBUTE-GET-VALUE")
    ("SET-ATTRIBUTE-VALUE" . "ATTRIBUTE-SET-VALUE") ("MAKE-ELEMENT" . "ELEMENT-CREATE") ("ELEMENT-TAG" . "ELEMENT-GET-TAG")
    ("ELEMENT-CHILD" . "ELEMENT-GET-CHILD") ("ELEMENT-CHILDREN" . "ELEMENT-GET-CHILDREN")
    ("ELEMENT-NAMED-CHILDREN" . "ELEMENT-GET-NAMED-CHILDREN") ("ADD-CHILD" . "ELEMENT-ADD-CHILD")
    ("ELEMENT-TEXT" . "ELEMENT-GET-TEXT") ("SET-ELEMENT-TEXT" . "ELEMENT-SET-TEXT")
    ("ELEMENT-ATTRIBUTES" . "ELEMENT-GET-ATTRIBUTES") ("ELEMENT-ATTRIBUTE" . "ELEMENT-GET-ATTRIBUTE")
    ("SET-ELEMENT-ATTRIBUTE" . "ELEMENT-SET-ATTRIBUTE") ("ELEMENT-PARENT" . "ELEMENT-GET-PARENT")
    ("ELEMENT-DOCUMENT" . "ELEMENT-GET-DOCUMENT")))

(defun external-symbol (name)
  (multiple-value-bind (symbol status) (find-symbol name "XML")
    (and (eq status :external) symbol)))

(deftest every-alias-is-its-target ()
  (loop for (alias . target) in *aliases*
        for a = (external-symbol alias)
        for f = (external-symbol target)
        do (unless (check (and a f (fboundp a) (fboundp f)
                               (eq (fdefinition a) (fdefinition f))))
             (format t "~&  alias ~A of ~A~%" alias target))))
