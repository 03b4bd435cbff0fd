;;;; Writing and transforming files, encodings and indentation; LAST-ERROR
;;;; after every kind of failed file call.

(defparameter *sample*
  (format nil "<?xml version='1.0'?>~%<r a='1'>~%  <c>~A</c>~%  <d><e/></d>~%</r>~%" (unicode-text)))
(defparameter *copy-n*
  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>
  <xsl:template match='/r'><out n='{count(*)}'><xsl:value-of select='c'/></out></xsl:template></xsl:stylesheet>")

(defun starts-with (prefix list) (equal prefix (subseq list 0 (min (length list) (length prefix)))))
(defun indented-p (file) (contains (bytes-text file) (format nil "~%~C<" #\Tab)))
(defun c-text (document) (xml:element-get-text (xml:document-select-node document "/r/c")))

(deftest writing-options ()
  (with-clean-cache
    (with-xml-files (dir (in "in.xml" *sample*))
      (let ((d (xml:read-xml in))
            (out (concatenate 'string dir "out.xml")))
        (flet ((written (&rest options) (check-equal t (apply #'xml:write-xml d out options)) out))
          ;; By default indented UTF-8, which reads back the same.
          (check (indented-p (written)))
          (check (search '(#xF0 #x9F #x98 #x80) (read-bytes out)))
          (check-equal (unicode-text) (c-text (xml:read-xml out)))
          ;; Indentation only for t itself.
          (dolist (pretty '(nil 1 :yes))
            (check-equal (list pretty nil) (list pretty (indented-p (written :pretty-print pretty)))))
          ;; UTF-16: little-endian with its mark, U+1F600 as a surrogate pair.
          (let ((bytes (read-bytes (written :encoding :utf-16))))
            (check (and (starts-with '(#xFF #xFE #x3C 0) bytes) (search '(#x3D #xD8 #x00 #xDE) bytes)))
            (check-equal (unicode-text) (c-text (xml:read-xml out))))
          ;; Any other encoding value writes UTF-8.
          (dolist (encoding '(:utf-8 :latin-1 nil "UTF-16"))
            (check-equal (list encoding t)
                         (list encoding (and (starts-with '(#x3C #x3F) (read-bytes (written :encoding encoding)))
                                             (search '(#xC3 #xA9) (read-bytes out)) t)))))
        ;; Failures write nothing and leave what was there.
        (check-equal '(nil nil nil nil)
                     (list (xml:write-xml d 42) (xml:write-xml d dir) (xml:write-xml d (concatenate 'string dir "no/dir.xml"))
                           (xml:write-xml (xml:document-get-root d) in)))
        (check-equal *sample* (bytes-text in))))))

(deftest transforming ()
  (with-clean-cache
    (with-xml-files (dir (in "in.xml" *sample*) (xsl "s.xsl" *copy-n*)
                         (bogus "bogus.xsl" "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><xsl:bogus/><o/></xsl:template></xsl:stylesheet>")
                         ;; What stands beside the root (comments, PIs) is no error.
                         (beside "beside.xsl" "<?xml version='1.0'?><!-- c --><?pi x?><xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><o><xsl:value-of select='count(/node())'/></o></xsl:template></xsl:stylesheet>"))
      (let ((d (xml:read-xml in))
            (out (concatenate 'string dir "t.xml"))
            (out2 (concatenate 'string dir "t2.xml")))
        (check-equal t (xml:transform-xml d xsl out))
        (let ((root (xml:document-get-root (xml:read-xml out))))
          (check-equal (list "2" (unicode-text)) (list (xml:element-get-attribute root "n") (xml:element-get-text root))))
        ;; No usable style sheet, no output, and the document as it was.
        (check-equal '(nil nil nil nil)
                     (list (xml:transform-xml d (concatenate 'string dir "none.xsl") out2)
                           (xml:transform-xml d in out2) (xml:transform-xml d xsl nil) (xml:transform-xml d bogus out2)))
        (check-equal nil (probe-file out2))
        (check-equal 2 (length (xml:element-get-children (xml:document-get-root d))))
        (check (xml:transform-xml (xml:deserialize-xml "<!-- c --><?pi y?><r/>") beside out))
        (check-equal "3" (xml:element-get-text (xml:document-get-root (xml:read-xml out))))))))

(defun failure (&rest keys)
  "What LAST-ERROR says under keys."
  (let ((e (xml:last-error))) (mapcar (lambda (k) (getf e k)) keys)))

(deftest last-error-tells-why-a-file-call-failed ()
  ;; The messages are the module's tests' concern; here the plist each
  ;; kind of call leaves.
  (with-clean-cache
    (with-xml-files (dir (good "good.xml" *sample*) (bad "bad.xml" (format nil "<r>~%  <a>text</b></r>"))
                         (sheet "bad.xsl" "<x:stylesheet version='1.0' xmlns:x='http://www.w3.org/1999/XSL/Transform'>
  <x:template match='/'><x:nonsense/></x:template></x:stylesheet>"))
      (let ((none (concatenate 'string dir "none.xml"))
            (d (xml:read-xml good)))
        ;; Every reader, whether or not :on-error was given; a success forgets.
        (dolist (call (list #'xml:read-xml #'xml:parse-xml #'xml:read-xml-list
                            (lambda (f) (xml:parse-xml f :on-error (lambda (&rest e) (declare (ignore e)) t)))))
          (check-equal nil (funcall call none))
          (check-equal (list :message "No such file or directory" :file none) (xml:last-error))
          (check-equal nil (funcall call bad))
          (check-equal (list bad 2 14 t) (append (failure :file :line :column) (list (contains (first (failure :message)) "mismatch"))))
          (check (funcall call good))
          (check-equal nil (xml:last-error)))
        ;; GET-ROOT-TAG stops its parse on purpose: no failure.
        (check-equal '("r" nil) (list (xml:get-root-tag bad) (xml:last-error)))
        (check-equal nil (xml:transform-xml d sheet (concatenate 'string dir "out.xml")))
        (check-equal (list sheet t) (list (first (failure :file)) (contains (first (failure :message)) "nonsense")))
        (check-equal nil (xml:write-xml (xml:document-create) good))
        (check-equal (list "The document has no root element." good) (failure :message :file))
        (check-equal t (xml:write-xml d (concatenate 'string dir "fine.xml")))
        (check-equal nil (xml:last-error))))))
