;;;; Writing and transforming files, encodings and indentation; LAST-ERROR
;;;; after every kind of failed file call.

(defparameter *sample*
  (format nil "<?xml version='1.0'?>~%<r a='1'>~%  <c>~A</c>~%  <d><e/></d>~%</r>~%" (unicode-text)))
(defparameter *copy-n*
  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>
  <xsl:template match='/r'><out n='{count(*)}'><xsl:value-of select='c'/></out></xsl:template></xsl:stylesheet>")

(defun c-text (document) (xml:element-get-text (xml:document-select-node document "/r/c")))

(deftest writing-options ()
  ;; Indentation only for :pretty-print t itself; UTF-16 only for :encoding
  ;; :utf-16 (little-endian with its mark), any other value writes UTF-8.
  ;; Every form reads back the same.
  (with-clean-cache
    (with-xml-files (dir (in "in.xml" *sample*))
      (let ((d (xml:read-xml in))
            (out (concatenate 'string dir "out.xml")))
        (loop for (options indented utf-16) in '((() t) ((:pretty-print nil)) ((:pretty-print 1)) ((:pretty-print :yes))
                                                  ((:encoding :utf-16) t t) ((:encoding :utf-8) t) ((:encoding :latin-1) t)
                                                  ((:encoding nil) t) ((:encoding "UTF-16") t))
              do (check-equal (list options t indented utf-16 (unicode-text))
                              (list options (apply #'xml:write-xml d out options)
                                    (let ((bytes (read-bytes out)))
                                      (and (or (search '(10 9 60) bytes) (search '(10 0 9 0 60 0) bytes)) t))
                                    (equal '(#xFF #xFE #x3C 0) (subseq (read-bytes out) 0 4))
                                    (c-text (xml:read-xml out)))))
        ;; Failures write nothing and leave what was there.
        (check-equal '(nil nil nil nil)
                     (list (xml:write-xml d 42) (xml:write-xml d dir) (xml:write-xml d (concatenate 'string dir "no/dir.xml"))
                           (xml:write-xml (xml:document-get-root d) in)))
        (check-equal *sample* (read-file in))))))

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
        (check-equal '(nil nil nil nil nil 2)
                     (list (xml:transform-xml d (concatenate 'string dir "none.xsl") out2)
                           (xml:transform-xml d in out2) (xml:transform-xml d xsl nil) (xml:transform-xml d bogus out2)
                           (probe-file out2) (length (xml:element-get-children (xml:document-get-root d)))))
        (check-equal '(t "3") (list (xml:transform-xml (xml:deserialize-xml "<!-- c --><?pi y?><r/>") beside out)
                                    (xml:element-get-text (xml:document-get-root (xml:read-xml out)))))))))

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
