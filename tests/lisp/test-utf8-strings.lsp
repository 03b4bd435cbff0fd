;;;; Lisp strings made straight from UTF-8, as the tree lists make them.

(defun codes-text (&rest codes) (map 'string #'code-char codes))

(defun utf8-bytes (s)
  (loop for c across s
        for n = (char-code c)
        for extra = (cond ((< n #x80) 0) ((< n #x800) 1) ((< n #x10000) 2) (t 3))
        append (cons (logior (aref #(0 #xC0 #xE0 #xF0) extra) (ash n (* -6 extra)))
                     (loop for k from (1- extra) downto 0
                           collect (logior #x80 (logand (ash n (* -6 k)) 63))))))

(deftest utf8-makes-the-narrowest-string ()
  ;; ASCII past whole eight-byte blocks, then Latin-1, the BMP and beyond;
  ;; a wide character after Latin-1 still makes the whole string wide.
  (dolist (s (list "" "0123456789abcdefg" (codes-text 48 49 50 51 52 53 54 55 56 #xE9 #xFC)
                   (codes-text #xE9 #x20AC) (codes-text 65 #x1F600 #x10FFFF)))
    (let ((made (xmltest:from-utf8 (utf8-bytes s))))
      (check-equal s made)
      (check-equal (every (lambda (c) (< (char-code c) 256)) s) (typep made 'base-string)))))

(deftest malformed-utf8-is-replaced-up-to-the-first-bad-byte ()
  (flet ((made (&rest bytes) (xmltest:from-utf8 bytes)))
    (check-equal (codes-text 65 #xFFFD 66) (made 65 #x80 66))            ; stray continuation
    (check-equal (codes-text #xFFFD 66) (made #xE2 #x82 66))             ; cut short by a byte
    (check-equal (codes-text 65 #xFFFD) (made 65 #xF0 #x9F #x98))        ; cut short by the end
    (check-equal (codes-text #xFFFD #xFFFD) (made #xE0 #x80 #x80 #xED #xA0 #x80)) ; overlong, surrogate
    (check-equal (codes-text #xFFFD #xFFFD) (made #xC0 #xF5))))
