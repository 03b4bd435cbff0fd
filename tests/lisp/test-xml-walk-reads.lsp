;;;; What a walk reads: the attribute names an element lists are looked up
;;;; again by their UTF-8, whatever kind of Lisp string carries them.

(defun codes (&rest codes) (map 'string #'code-char codes))

(deftest listed-attribute-names-find-their-values-in-every-string-kind ()
  ;; A declaration first, then Latin-1 (a base string), prefixed, and
  ;; beyond the BMP; each name also as a wide string and as a base one.
  (with-clean-cache
    (let* ((latin (codes #xE9 #xFC))
           (wide (codes 97 #x3A9 #x1F600))
           (e (xml:document-get-root
               (xml:deserialize-xml (format nil "<r xmlns:p='urn:p' ~A='1' p:k='2' ~A='3'/>" latin wide))))
           (names (xml:element-get-attributes e))
           (values '("urn:p" "1" "2" "3")))
      (check-equal (list "xmlns:p" latin "p:k" wide) names)
      (check-equal '(t t t nil) (mapcar (lambda (n) (typep n 'base-string)) names))
      (check-equal values (mapcar (lambda (n) (xml:element-get-attribute e n)) names))
      (check-equal values (mapcar (lambda (n) (xml:element-get-attribute e (coerce n '(simple-array character (*)))))
                                  names))
      (check-equal "1" (xml:element-get-attribute e (coerce latin 'base-string)))
      ;; Near misses: a prefix of a name, a longer name, another prefix.
      (check-equal '(nil nil nil) (mapcar (lambda (n) (xml:element-get-attribute e n)) '("p:" "p:kk" "q:k"))))))
