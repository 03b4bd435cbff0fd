;;;; Host objects for handler code: strings (exact for all of Unicode, and
;;;; made straight from UTF-8 as the tree lists make them), numbers, lists,
;;;; packages and handles.

(defun text (&rest codes) (map 'string #'code-char codes))

(defun utf8-bytes (s)
  (loop for c across s
        for n = (char-code c)
        for extra = (cond ((< n #x80) 0) ((< n #x800) 1) ((< n #x10000) 2) (t 3))
        append (cons (logior (aref #(0 #xC0 #xE0 #xF0) extra) (ash n (* -6 extra)))
                     (loop for k from (1- extra) downto 0 collect (logior #x80 (logand (ash n (* -6 k)) 63))))))

(deftest strings-cross-exactly-both-ways ()
  ;; Latin-1, the BMP, beyond it, the edges around the surrogate range; ASCII
  ;; past whole eight-byte blocks. UTF-8 makes the narrowest string, wide
  ;; when a wide character follows Latin-1.
  (dolist (s (list "" "0123456789abcdefg" (text #xE9 #xFC #xDF) (text #x20AC #x4E2D) (text #x1F600 #x10348 #x10FFFF)
                   (text #xD7FF #xE000 #xFFFD #xFFFF) (text 48 49 50 51 52 53 54 55 56 #xE9 #xFC) (text #xE9 #x20AC)))
    (let ((codes (xmltest:string-codes s)) (made (xmltest:from-utf8 (utf8-bytes s))))
      (check-equal (list s (map 'list #'char-code s) s t)
                   (list s codes (xmltest:from-codes codes)
                         (and (equal s made) (eq (every (lambda (c) (< (char-code c) 256)) s) (typep made 'base-string)))))))
  ;; Every kind of Lisp string reads; nothing else does.
  (check-equal (list "base" "xxx" (text #x1F600 66 67) "NAME")
               (mapcar (lambda (s) (xmltest:from-codes (xmltest:string-codes s)))
                       (list (coerce "base" 'base-string)
                             (make-array 10 :element-type 'character :fill-pointer 3 :initial-element #\x)
                             (make-array 3 :element-type 'character :displaced-to (text 65 #x1F600 66 67)
                                           :displaced-index-offset 1)
                             (symbol-name :name))))
  (check-equal '(:not-a-string :not-a-string :not-a-string :not-a-string :not-a-string nil)
               (append (mapcar #'xmltest:string-codes (list nil 42 #\a '(1 2) (vector #\a))) (list (xmltest:null-string))))
  ;; Made strings are ordinary writable strings.
  (let ((s (xmltest:from-codes (list 104 #x1F600))))
    (check (typep s '(simple-array character (*))))
    (setf (char s 0) (code-char #x10348))
    (check-equal (text #x10348 #x1F600) s)))

(deftest bad-code-points-become-replacement-characters ()
  (loop for (expected . bytes) in `((,(text 65 #xFFFD 66) 65 #x80 66)            ; stray continuation
                                    (,(text #xFFFD 66) #xE2 #x82 66)             ; cut short by a byte
                                    (,(text 65 #xFFFD) 65 #xF0 #x9F #x98)        ; cut short by the end
                                    (,(text #xFFFD #xFFFD) #xE0 #x80 #x80 #xED #xA0 #x80) ; overlong, surrogate
                                    (,(text #xFFFD #xFFFD) #xC0 #xF5))
        do (check-equal (list bytes expected) (list bytes (xmltest:from-utf8 bytes))))
  (check-equal (list (text 65 #xFFFD 66) (text #xFFFD))
               (list (xmltest:from-codes (list 65 #x110000 66)) (xmltest:from-codes (list #x7FFFFFFF)))))

(deftest numbers-lists-and-packages ()
  ;; The two kinds handler code tests for; a base string is a string too.
  (check-equal '(0 13 13 t) (append (mapcar #'xmltest:kind (list '(1) "text" (coerce "base" 'base-string)))
                                    (list (/= 0 (xmltest:kind nil)))))
  (check-equal 8 (xmltest:fix 7))
  ;; Short lists read as nil, as the XML list conversion expects.
  (loop for (fn arg expected) in `((xmltest:host-car (1 2 3) 1) (xmltest:host-cdr (1 2 3) (2 3))
                                   (xmltest:host-cadr (1 2 3) 2) (xmltest:host-caddr (1 2 3) 3)
                                   (xmltest:host-caddr (1) nil) (xmltest:host-kar nil nil) (xmltest:host-cdr nil nil))
        do (check-equal (list fn expected) (list fn (funcall fn arg))))
  ;; nconc shares, appendl copies its first list.
  (let* ((a (list 1 2)) (r (xmltest:host-nconc a (list 3))))
    (check (and (eq a r) (equal '(1 2 3) a))))
  (let* ((a (list 1 2)) (tail (list 3)) (r (xmltest:host-appendl a tail)))
    (check (and (equal '(1 2 3) r) (equal '(1 2) a) (eq tail (cddr r)))))
  (check-equal '((3) (3)) (list (xmltest:host-nconc nil (list 3)) (xmltest:host-appendl nil (list 3))))
  (dolist (call `((xmltest:fix "7") (xmltest:fix ,(expt 2 80)) (xmltest:host-car 42) (xmltest:host-car "str")
                  (xmltest:host-kar sym) (xmltest:host-cadr (1 . 2)) (xmltest:host-nconc (1 . 2) (3))
                  (xmltest:host-appendl 5 (3))))
    (check-equal (list call t) (list call (handler-case (progn (apply (first call) (rest call)) nil) (type-error () t)))))
  ;; Names are exact: the lower-case name is another symbol.
  (check-equal (list (find-package "XML") (find-package "XML") nil nil)
               (mapcar #'xmltest:find-package (list "XML" :xml "NO-SUCH-PACKAGE" 42)))
  (check-equal '(xml:xml-element-struct nil nil nil)
               (loop for (name package) in '(("XML-ELEMENT-STRUCT" "XML") ("NO-SUCH-SYMBOL-HERE" "XML")
                                             ("xml-element-struct" "XML") ("ECHO" "NO-SUCH-PACKAGE"))
                     collect (xmltest:find-symbol name package))))

(deftest handles-open-only-as-their-own-kind ()
  (let ((element (xmltest:make-ptr 'xml:xml-element-struct #x1000))
        (document (xmltest:make-ptr 'xml:xml-document-struct #x2000)))
    (check (and (xml:xml-element-struct-p element) (not (eq element (xmltest:make-ptr 'xml:xml-element-struct #x1000)))))
    (check-equal '(#x1000 #x1000 #x2000) (list (xml:handle-address element) (xmltest:ptr-of 'xml:xml-element-struct element)
                                              (xmltest:ptr-of 'xml:xml-document-struct document)))
    ;; Anything but a handle of exactly that kind gives null, quietly.
    (check-equal (make-list 10)
                 (list* (xmltest:ptr-of 'xml:xml-document-struct element) (xmltest:ptr-of 'xml:xml-attribute-struct element)
                        (xmltest:ptr-of 'no-such-struct (xml::make-xml-element-struct))
                        (mapcar (lambda (other) (xmltest:ptr-of 'xml:xml-element-struct other))
                                (list nil 42 "str" '(1) (xmltest:make-handle #x1000) (xml::make-xml-element-struct)
                                      (xml::make-xml-element-struct :ptr #x1000)))))
    (check-error program-error (xmltest:make-ptr 'no-such-struct 1))
    (check-error program-error (xmltest:make-ptr 'cons 1))
    ;; Loading the handle types again keeps old handles valid.
    (check (xmltest:load-lisp "xml/lsp/XmlLispFnc"))
    (check-equal #x1000 (xmltest:ptr-of 'xml:xml-element-struct element)))
  (let ((h (xmltest:make-handle #xBEEF0)))
    (check-equal '(#xBEEF0 #xBEEF0 nil nil)
                 (list* (xmltest:handle-pointer h) (si:foreign-data-address h)
                        (mapcar #'xmltest:handle-pointer (list 42 (xml::make-xml-element-struct)))))))
