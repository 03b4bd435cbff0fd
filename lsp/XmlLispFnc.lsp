;;;; Handle types of the XML module.
;;;;
;;;; Documents, elements and attributes reach Lisp as handles: instances of
;;;; these structures holding the object's address (0 for a handle that
;;;; stands for nothing) and the stamp the module checks before it believes
;;;; the address. The module makes and reads them; Lisp code only passes them
;;;; around and tells them apart. The constructors leave the stamp empty, so
;;;; nothing made in Lisp passes for a handle.
;;;;
;;;; The package XML uses no other package, hence the cl: prefixes.

(cl:in-package "XML")

(cl:defun handle-address (handle)
  "The address a handle stands for, as an integer (0 for none)."
  (cl:let ((pointer (cl:slot-value handle 'ptr)))
    (cl:if (cl:integerp pointer) pointer 0)))

(cl:defun print-handle (handle stream)
  ;; #<XML-ELEMENT-STRUCT 0x55d0c0a1b2c0>
  (cl:print-unreadable-object (handle stream)
    (cl:format stream "~A 0x~(~X~)"
               (cl:symbol-name (cl:type-of handle)) (handle-address handle))))

(cl:defstruct (xml-document-struct (:copier cl:nil) (:print-object print-handle)
               (:constructor make-xml-document-struct (cl:&key (ptr 0))))
  (ptr 0) (stamp cl:nil))

(cl:defstruct (xml-element-struct (:copier cl:nil) (:print-object print-handle)
               (:constructor make-xml-element-struct (cl:&key (ptr 0))))
  (ptr 0) (stamp cl:nil))

(cl:defstruct (xml-attribute-struct (:copier cl:nil) (:print-object print-handle)
               (:constructor make-xml-attribute-struct (cl:&key (ptr 0))))
  (ptr 0) (stamp cl:nil))

(cl:export '(xml-document-struct xml-element-struct xml-attribute-struct
             xml-document-struct-p xml-element-struct-p xml-attribute-struct-p
             handle-address))
