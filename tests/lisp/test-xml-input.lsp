;;;; Hostile and odd input: NULs and forbidden characters in files and in
;;;; Lisp strings, sizes, entity bombs, external entities, DTD defaults, file
;;;; names. Quiet errors: no engine message ever reaches stderr.

(defun nul (&rest parts)
  "The parts joined with a NUL character between them."
  (format nil (format nil "~~{~~A~~^~A~~}" (code-char 0)) parts))

(defun write-octets (path octets)
  (with-open-file (s path :direction :output :if-exists :supersede :element-type '(unsigned-byte 8))
    (write-sequence (coerce octets '(vector (unsigned-byte 8))) s))
  path)

(defun octets (&rest parts)
  "Strings as their character codes, lists of bytes as they are."
  (loop for p in parts append (if (stringp p) (map 'list #'char-code p) p)))

(defun utf-16 (text) (loop for c across text append (list (char-code c) 0)))

(defun readers-results (file)
  "What READ-XML, PARSE-XML (with its error count), GET-ROOT-TAG, LOAD-XML's
:LOADED and READ-XML-LIST say of file. GET-ROOT-TAG reads only up to the
first start tag; the others read the whole file."
  (let ((errors 0))
    (list (and (xml:read-xml file) t)
          (xml:parse-xml file :on-error (lambda (&rest e) (declare (ignore e)) (incf errors)))
          errors
          (xml:get-root-tag file)
          (getf (xml:load-xml file) :loaded :absent)
          (and (xml:read-xml-list file) t))))

(defmacro with-r-loader (&body body)
  `(with-clean-cache
     (xml:register-xml-loader "r" :file-handler (lambda (file) (and (xml:read-xml file) t)))
     ,@body))

(deftest nul-bytes-and-bad-encodings-fail-every-reader ()
  (with-r-loader
    (with-temp-directory (dir)
      (flet ((results (name &rest parts) (readers-results (write-octets (concatenate 'string dir name) (apply #'octets parts)))))
        (check-equal '(nil nil 1 nil nil nil) (results "before" (nul "" "<r/>")))
        (loop for (name . parts) in `(("after" ,(nul "<r/>" "junk")) ("between" ,(nul "<r/>" "<b/>"))
                                      ("inside" ,(nul "<r>a" "b</r>")) ("blank" ,(nul (format nil "<r/>~%") ""))
                                      ("utf16" (#xFF #xFE) ,(utf-16 "<r>") (#x00 #xD8) ,(utf-16 "</r>"))
                                      ;; cut inside a character: a lone high surrogate at the end
                                      ("utf16-cut" (#xFF #xFE) ,(utf-16 "<r/>") (#x00 #xD8)))
              do (check-equal (list name nil nil 1 "r" nil nil) (cons name (apply #'results name parts))))
        (check-equal '(t t 0 "r" t t) (results "ok.xml" "<r/>"))))))

(deftest hostile-documents-fail-every-reader ()
  ;; Entity bombs, in content and in attributes; the root tag is read before
  ;; the bombs in content go off. External entities are never read.
  (with-r-loader
    (let* ((big (make-string 50000 :initial-element #\x))
           (refs (format nil "~{~A~}" (make-list 20000 :initial-element "&a;")))
           (head (format nil "<!DOCTYPE r [<!ENTITY a '~A'>]>" big))
           (before (baseline-counts)))
      (with-xml-files (dir (laughs "laughs.xml" (entity-bomb))
                           (text "text.xml" (format nil "~A<r>~A</r>" head refs))
                           (attribute "attribute.xml" (format nil "~A<r v='~A'/>" head refs))
                           (secret "secret.txt" "TOP-SECRET"))
        (loop for file in (list laughs text attribute)
              for tag in '("r" "r" nil)
              do (check-equal (list file nil nil 1 tag nil nil) (cons file (readers-results file))))
        (check-equal '(nil nil) (mapcar #'xml:deserialize-xml (list (entity-bomb) (format nil "~A<r>~A</r>" head refs))))
        (check (same-counts-p before))
        (let* ((xxe (write-text (concatenate 'string dir "xxe.xml") (external-entity secret)))
               (seen (list (format nil "~S" (xml:read-xml-list xxe)))))
          (dolist (d (list (xml:read-xml xxe) (xml:deserialize-xml (external-entity secret))))
            (push (or (and d (xml:serialize-xml d)) "") seen))
          (xml:parse-xml xxe :on-characters (lambda (s) (push s seen) t))
          (check (notany (lambda (s) (search "SECRET" s)) seen)))))))

(deftest strings-holding-nul-give-nil ()
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((doc (xml:deserialize-xml "<r a='1'><c/></r>"))
             (root (xml:document-get-root doc))
             (attribute (xml:document-select-node doc "/r/@a"))
             (cut (nul (concatenate 'string dir "x") ".xml")))
        (check-equal nil (xml:write-xml doc cut))
        (check-equal nil (directory (concatenate 'string dir "*")))
        (check-equal (make-list 16)
                     (list (xml:deserialize-xml (nul "<r/>" ""))
                           (xml:deserialize-xml (format nil "<r>~C</r>" (code-char #xD800)))
                           (xml:deserialize-xml (format nil "<r a='~C'/>" (code-char #xDC00)))
                           (xml:element-create doc (nul "a" "b"))
                           (xml:element-set-text root (nul "a" "b"))
                           (xml:element-set-attribute root (nul "a" "b") "v")
                           (xml:element-set-attribute root "n" (nul "a" "b"))
                           (xml:attribute-set-value attribute (nul "a" "b"))
                           (xml:document-select-node doc (nul "/r" "/c"))
                           (xml:element-get-child root (nul "c" ""))
                           (xml:element-get-attribute root (nul "a" ""))
                           (xml:parse-xml cut) (xml:get-root-tag cut) (xml:load-xml cut)
                           (xml:register-xml-loader (nul "t" "x"))
                           (xml:xml-list-to-document `("r" nil (("c" (("n" . ,(nul "a" "b"))) nil))))))
        (check-equal "<r a=\"1\"><c/></r>" (subseq (xml:serialize-xml doc) 0 17))))))

(deftest sizes-the-module-writes-read-back ()
  ;; Beyond the parser's default limits; a run of text reaches PARSE-XML whole.
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((half (make-string 5050000 :initial-element #\a))
             (big (concatenate 'string "  " half "   " half "  "))
             (name (make-string 60000 :initial-element #\n))
             (doc (xml:xml-list-to-document (list name (list (cons "a" big)) big)))
             (file (concatenate 'string dir "big.xml"))
             (runs nil))
        (check (and (xml:write-xml doc file :pretty-print nil) (xml:read-xml file)))
        (check (xml:parse-xml file :on-start-element (lambda (tag attributes) (push (length tag) runs)
                                                       (push (length (cdar attributes)) runs))
                                   :on-characters (lambda (text) (push text runs))))
        (check-equal '(10100003 10100007 60000) (cons (length (first runs)) (rest runs)))
        (check-equal "a   a" (subseq (first runs) 5049999 5050004))))))

(deftest declared-attribute-defaults-appear ()
  (with-clean-cache
    (let ((text "<!DOCTYPE r [<!ATTLIST r a CDATA 'dflt' b CDATA #FIXED 'fx'>]><r a='own'/>"))
      (with-xml-files (dir (file "d.xml" text))
        (dolist (doc (list (xml:read-xml file) (xml:deserialize-xml text)))
          (let ((root (xml:document-get-root doc)))
            (check-equal '("own" "fx") (list (xml:element-get-attribute root "a") (xml:element-get-attribute root "b")))))
        (let (seen)
          (xml:parse-xml file :on-start-element (lambda (tag attributes) (declare (ignore tag)) (setf seen attributes)))
          (check-equal '(("a" . "own") ("b" . "fx")) seen))))))

(deftest file-urls-name-files-for-every-reader-and-writer ()
  (with-r-loader
    (with-temp-directory (dir)
      (let ((sub (concatenate 'string dir "a b/")))
        (flet ((url (name &optional (host "")) (format nil "file://~A~Aa%20b/~A" host dir name)))
          (ensure-directories-exist sub)
          (write-text (concatenate 'string sub "r.xml") "<r/>")
          (write-text (concatenate 'string sub "s.xsl") "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><o/></xsl:template></xsl:stylesheet>")
          (check-equal '(t t 0 "r" t t) (readers-results (url "r.xml")))
          (check (xml:transform-xml (xml:read-xml (url "r.xml")) (url "s.xsl") (url "out.xml" "localhost")))
          (check-equal "o" (xml:get-root-tag (concatenate 'string sub "out.xml")))
          ;; Every mode of WRITE-XML takes the URL; another host is no local file.
          (let ((doc (xml:deserialize-xml "<w>caf&#xE9;</w>")))
            (loop for (name . options) in '(("p%C3%A9.xml") ("flat.xml" :pretty-print nil) ("u16.xml" :encoding :utf-16))
                  do (check (and (apply #'xml:write-xml doc (url name) options) (xml:compare-xml doc (xml:read-xml (url name))))))
            (check (xml:read-xml (concatenate 'string sub (format nil "p~C.xml" (code-char #xE9)))))
            (check-equal '(nil nil) (list (xml:write-xml doc (format nil "file://elsewhere~Ax.xml" dir))
                                          (xml:write-xml doc (format nil "file://~Ax%00.xml" dir))))))))))

(deftest quiet-errors-nothing-reaches-stderr ()
  (with-temp-directory (dir)
    (write-octets (concatenate 'string dir "u16.xml") (octets '(#xFF #xFE) (utf-16 "<r>") '(#x00 #xD8) (utf-16 "</r>")))
    (write-text (concatenate 'string dir "redeclared.xml") "<!DOCTYPE r [<!ENTITY lt 'x'>]><r>&lt;</r>")
    (write-text (concatenate 'string dir "bad.xsl") "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><xsl:value-of select='nofn()'/><xsl:bogus/></xsl:template></xsl:stylesheet>")
    (let ((forms (format nil "(let ((d (xml:deserialize-xml \"<r/>\")) (e nil))
                              (xml:read-xml \"~Au16.xml\")
                              (xml:parse-xml \"~:*~Au16.xml\" :on-error (lambda (line column message) (push (list line column (search \"conversion failed\" message)) e)))
                              (xml:read-xml \"~:*~Aredeclared.xml\")
                              (xml:parse-xml \"~:*~Aredeclared.xml\")
                              (xml:transform-xml d \"~:*~Abad.xsl\" \"~:*~Aout.xml\")
                              (xml:document-select-node d \"//a[\")
                              (xml:document-select-node d \"//q:a\")
                              (xml:deserialize-xml \"<!DOCTYPE r SYSTEM 'none.dtd'><r>&undefined;</r>\")
                              (xml:deserialize-xml \"<?xml version='1.0' encoding='no-such'?><p:r/>\")
                              (prin1 e))" dir)))
      ;; The encoder's own message reaches :on-error, at the parser's position.
      (check-equal '(0 "((1 4 6))" "") (multiple-value-list (run-quill-lisp (list "--eval" forms)))))))
