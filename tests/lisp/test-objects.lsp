;;;; Host objects for handler code: kinds, numbers, lists, packages, handles.

(deftest kinds ()
  ;; The two kinds handler code tests for; a base string is a string too.
  (check-equal '(0 13 13) (mapcar #'xmltest:kind (list '(1) "text" (coerce "base" 'base-string))))
  (check (/= 0 (xmltest:kind nil))))

(deftest fixnums ()
  (check-equal 8 (xmltest:fix 7))
  (check-error type-error (xmltest:fix "7"))
  (check-error type-error (xmltest:fix (expt 2 80))))

(deftest list-operations ()
  ;; Short lists read as nil, as the XML list conversion expects.
  (loop for (fn arg expected) in `((xmltest:host-car (1 2 3) 1) (xmltest:host-cdr (1 2 3) (2 3))
                                   (xmltest:host-cadr (1 2 3) 2) (xmltest:host-caddr (1 2 3) 3)
                                   (xmltest:host-caddr (1) nil) (xmltest:host-kar nil nil)
                                   (xmltest:host-cdr nil nil))
        do (check-equal (list fn expected) (list fn (funcall fn arg))))
  (dolist (bad (list 42 "str" 'sym))
    (check-error type-error (xmltest:host-car bad))
    (check-error type-error (xmltest:host-kar bad)))
  (check-error type-error (xmltest:host-cadr '(1 . 2)))
  ;; nconc shares, appendl copies its first list.
  (let* ((a (list 1 2)) (r (xmltest:host-nconc a (list 3))))
    (check (and (eq a r) (equal '(1 2 3) a))))
  (let* ((a (list 1 2)) (tail (list 3)) (r (xmltest:host-appendl a tail)))
    (check (and (equal '(1 2 3) r) (equal '(1 2) a) (eq tail (cddr r)))))
  (check-equal '((3) (3)) (list (xmltest:host-nconc nil (list 3)) (xmltest:host-appendl nil (list 3))))
  (check-error type-error (xmltest:host-nconc '(1 . 2) (list 3)))
  (check-error type-error (xmltest:host-appendl 5 (list 3))))

(deftest packages-and-symbols ()
  ;; Names are exact: the lower-case name is another symbol.
  (check-equal (list (find-package "XML") (find-package "XML") nil nil)
               (mapcar #'xmltest:find-package (list "XML" :xml "NO-SUCH-PACKAGE" 42)))
  (check-equal '(xml:xml-element-struct nil nil nil)
               (loop for (name package) in '(("XML-ELEMENT-STRUCT" "XML") ("NO-SUCH-SYMBOL-HERE" "XML")
                                             ("xml-element-struct" "XML") ("ECHO" "NO-SUCH-PACKAGE"))
                     collect (xmltest:find-symbol name package))))

(deftest typed-handles ()
  (let ((element (xmltest:make-ptr 'xml:xml-element-struct #x1000))
        (document (xmltest:make-ptr 'xml:xml-document-struct #x2000)))
    (check (xml:xml-element-struct-p element))
    (check-equal '(#x1000 #x1000 #x2000) (list (xml:handle-address element) (xmltest:ptr-of 'xml:xml-element-struct element)
                                              (xmltest:ptr-of 'xml:xml-document-struct document)))
    ;; Anything but a handle of exactly that kind gives null, quietly.
    (check-equal '(nil nil) (list (xmltest:ptr-of 'xml:xml-document-struct element)
                                  (xmltest:ptr-of 'xml:xml-attribute-struct element)))
    (dolist (other (list nil 42 "str" '(1) (xmltest:make-handle #x1000)
                         (xml::make-xml-element-struct)
                         (xml::make-xml-element-struct :ptr #x1000)))
      (check-equal nil (xmltest:ptr-of 'xml:xml-element-struct other)))
    ;; Two handles of one pointer are two objects.
    (check (not (eq element (xmltest:make-ptr 'xml:xml-element-struct #x1000))))))

(deftest handle-types-must-exist ()
  (check-error program-error (xmltest:make-ptr 'no-such-struct 1))
  (check-error program-error (xmltest:make-ptr 'cons 1))
  (check-equal nil (xmltest:ptr-of 'no-such-struct (xml::make-xml-element-struct))))

(deftest handles-survive-redefinition ()
  ;; Loading the handle types again keeps old handles valid.
  (let ((element (xmltest:make-ptr 'xml:xml-element-struct #x3000)))
    (check (xmltest:load-lisp "xml/lsp/XmlLispFnc"))
    (check-equal '(#x3000 #x3000)
                 (mapcar (lambda (h) (xmltest:ptr-of 'xml:xml-element-struct h))
                         (list element (xmltest:make-ptr 'xml:xml-element-struct #x3000))))))

(deftest untyped-handles ()
  (let ((h (xmltest:make-handle #xBEEF0)))
    (check-equal '(#xBEEF0 #xBEEF0) (list (xmltest:handle-pointer h) (si:foreign-data-address h))))
  (check-equal '(nil nil) (mapcar #'xmltest:handle-pointer (list 42 (xml::make-xml-element-struct)))))
