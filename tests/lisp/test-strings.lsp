;;;; Strings between Lisp and C++: exact for all of Unicode.

(defun text (&rest codes) (map 'string #'code-char codes))

(defparameter *samples*
  (list ""
        "plain ASCII"
        (text #xE9 #xFC #xDF)                ; Latin-1
        (text #x20AC #x4E2D #x6587)          ; BMP beyond Latin-1
        (text #x1F600 #x10348 #x10FFFF)      ; beyond the BMP
        (text #xD7FF #xE000 #xFFFD #xFFFF)   ; edges around the surrogate range
        (text 65 #x1F600 66)))

(deftest strings-round-trip-exactly ()
  (dolist (s *samples*)
    (let ((codes (xmltest:string-codes s)))
      (check-equal (map 'list #'char-code s) codes)
      (check-equal s (xmltest:from-codes codes)))))

(deftest every-kind-of-lisp-string-reads ()
  (let ((base (coerce "base" 'base-string))
        (filled (make-array 10 :element-type 'character :fill-pointer 3 :initial-element #\x))
        (displaced (make-array 3 :element-type 'character
                                 :displaced-to (text 65 #x1F600 66 67) :displaced-index-offset 1)))
    (check-equal (list "base" "xxx" (text #x1F600 66 67) "NAME")
                 (mapcar (lambda (s) (xmltest:from-codes (xmltest:string-codes s)))
                         (list base filled displaced (symbol-name :name))))))

(deftest only-strings-read ()
  (dolist (x (list nil 42 #\a 'sym '(1 2) (vector #\a)))
    (check-equal :not-a-string (xmltest:string-codes x)))
  (check-equal nil (xmltest:null-string)))

(deftest made-strings-are-ordinary-strings ()
  (let ((s (xmltest:from-codes (list 104 #x1F600))))
    (check (typep s '(simple-array character (*))))
    ;; Writable like any string literal.
    (setf (char s 0) (code-char #x10348))
    (check-equal (text #x10348 #x1F600) s)))

(deftest wide-values-beyond-unicode-are-replaced ()
  (check-equal (text 65 #xFFFD 66) (xmltest:from-codes (list 65 #x110000 66)))
  (check-equal (text #xFFFD) (xmltest:from-codes (list #x7FFFFFFF))))
