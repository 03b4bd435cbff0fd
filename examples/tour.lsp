;;;; A tour of the XML module, run by `make demo`:
;;;;   quill-lisp examples/tour.lsp
;;;;
;;;; The module lives in package XML. Documents, elements and attributes
;;;; reach Lisp as handles: small structures that print their kind.

(format t "~&== The package~%")
(let ((xml (find-package "XML")))
  (format t "~A uses ~:[no other package~;~:*~{~A~^, ~}~].~%"
          (package-name xml) (mapcar #'package-name (package-use-list xml)))
  ;; Everything exported and callable, apart from the handle helpers that
  ;; the module's own Lisp file defines.
  (let ((helpers '(xml:handle-address xml:xml-document-struct-p
                   xml:xml-element-struct-p xml:xml-attribute-struct-p))
        (functions '()))
    (do-external-symbols (s xml)
      (when (and (fboundp s) (not (member s helpers))) (push s functions)))
    (format t "~D function~:P to call~@[: ~{~(~A~)~^ ~}~].~%"
            (length functions) (sort (mapcar #'symbol-name functions) #'string<))))

(format t "~&== Handles~%")
(dolist (type '(xml:xml-document-struct xml:xml-element-struct xml:xml-attribute-struct))
  (format t "~(~A~) is a structure type: ~A~%" type (subtypep type 'structure-object)))
(let ((empty (xml::make-xml-element-struct)))
  (format t "A handle that stands for nothing prints as ~A (address ~D).~%"
          empty (xml:handle-address empty)))

(format t "~&Done.~%")
