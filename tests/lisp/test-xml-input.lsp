;;;; Input refusal: NULs and forbidden characters in files and in Lisp
;;;; strings, sizes, entity bombs, DTD defaults, file names, text runs.
;;;; Quiet errors: no engine message ever reaches stderr.

(defun nul (&rest parts)
  "The parts joined with a NUL character between them."
  (format nil (format nil "~~{~~A~~^~A~~}" (code-char 0)) parts))

(defun write-octets (path octets)
  (with-open-file (s path :direction :output :if-exists :supersede :element-type '(unsigned-byte 8))
    (write-sequence (coerce octets '(vector (unsigned-byte 8))) s))
  path)

(defun ascii-octets (text) (map 'list #'char-code text))

(defun readers-results (file)
  "What READ-XML, PARSE-XML (with its error count), GET-ROOT-TAG and
LOAD-XML's :LOADED say of file. GET-ROOT-TAG reads only up to the first
start tag; the loader reads the whole file."
  (let ((errors 0))
    (list (and (xml:read-xml file) t)
          (xml:parse-xml file :on-error (lambda (&rest e) (declare (ignore e)) (incf errors)))
          errors
          (xml:get-root-tag file)
          (getf (xml:load-xml file) :loaded :absent))))

(deftest nul-bytes-and-bad-encodings-fail-every-reader ()
  (with-clean-cache
    (with-temp-directory (dir)
      (xml:register-xml-loader "r" :file-handler (lambda (file) (and (xml:read-xml file) t)))
      (let ((utf16-surrogate (append '(#xFF #xFE) (ascii-octets (format nil "<~Cr~C>~C" #\Nul #\Nul #\Nul))
                                     '(#x00 #xD8) (ascii-octets (format nil "<~C/~Cr~C>~C" #\Nul #\Nul #\Nul #\Nul)))))
        (check-equal '(nil nil 1 nil nil)
                     (readers-results (write-octets (concatenate 'string dir "before")
                                                    (ascii-octets (nul "" "<r/>")))))
        (loop for (name octets) in (list (list "after" (ascii-octets (nul "<r/>" "junk")))
                                         (list "between" (ascii-octets (nul "<r/>" "<b/>")))
                                         (list "inside" (ascii-octets (nul "<r>a" "b</r>")))
                                         (list "blank" (ascii-octets (nul (format nil "<r/>~%") "")))
                                         (list "utf16" utf16-surrogate)
                                         ;; cut inside a character: a lone high surrogate at the end
                                         (list "utf16-cut" (append '(#xFF #xFE) (ascii-octets (format nil "<~Cr~C/~C>~C" #\Nul #\Nul #\Nul #\Nul)) '(#x00 #xD8))))
              do (check-equal (list name nil nil 1 "r" nil)
                              (cons name (readers-results (write-octets (concatenate 'string dir name) octets)))))
        (check-equal '(t t 0 "r" t) (readers-results (write-text (concatenate 'string dir "ok.xml") "<r/>")))))))

(deftest strings-holding-nul-give-nil ()
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((doc (xml:deserialize-xml "<r a='1'><c/></r>"))
             (root (xml:document-get-root doc))
             (attribute (xml:document-select-node doc "/r/@a"))
             (cut (nul (concatenate 'string dir "x") ".xml")))
        (check-equal nil (xml:write-xml doc cut))
        (check-equal nil (directory (concatenate 'string dir "*")))
        (check-equal '(nil nil nil nil nil nil nil nil nil nil nil)
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
                           (xml:element-get-attribute root (nul "a" ""))))
        (check-equal '(nil nil nil nil nil)
                     (list (xml:parse-xml cut) (xml:get-root-tag cut) (xml:load-xml cut)
                           (xml:register-xml-loader (nul "t" "x"))
                           (xml:xml-list-to-document `("r" nil (("c" (("n" . ,(nul "a" "b"))) nil))))))
        (check-equal "<r a=\"1\"><c/></r>" (subseq (xml:serialize-xml doc) 0 17))))))

(deftest sizes-the-module-writes-read-back ()
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((big (make-string 10100000 :initial-element #\y))
             (name (make-string 60000 :initial-element #\n))
             (doc (xml:xml-list-to-document (list name (list (cons "a" big)) big)))
             (file (concatenate 'string dir "big.xml"))
             (runs nil))
        (check (xml:write-xml doc file :pretty-print nil))
        (check (xml:read-xml file))
        (check (xml:parse-xml file :on-start-element (lambda (tag attributes) (push (length tag) runs)
                                                       (push (length (cdar attributes)) runs))
                                   :on-characters (lambda (text) (push (length text) runs))))
        (check-equal '(10100000 10100000 60000) runs)))))

(deftest entity-bombs-still-fail ()
  (with-clean-cache
    (let* ((big (make-string 50000 :initial-element #\x))
           (refs (format nil "~{~A~}" (make-list 20000 :initial-element "&a;")))
           (head (format nil "<!DOCTYPE r [<!ENTITY a '~A'>]>" big)))
      (with-xml-files (dir (laughs "laughs.xml" (entity-bomb))
                           (text "text.xml" (format nil "~A<r>~A</r>" head refs))
                           (attribute "attribute.xml" (format nil "~A<r v='~A'/>" head refs)))
        ;; The root tag is read before the bombs in content go off.
        (loop for file in (list laughs text attribute)
              for tag in '("r" "r" nil)
              do (check-equal (list file nil nil 1 tag nil) (cons file (readers-results file))))))))

(deftest declared-attribute-defaults-appear ()
  (with-clean-cache
    (let ((text "<!DOCTYPE r [<!ATTLIST r a CDATA 'dflt' b CDATA #FIXED 'fx'>]><r a='own'/>"))
      (with-xml-files (dir (file "d.xml" text))
        (dolist (doc (list (xml:read-xml file) (xml:deserialize-xml text)))
          (let ((root (xml:document-get-root doc)))
            (check-equal '("own" "fx") (list (xml:element-get-attribute root "a")
                                             (xml:element-get-attribute root "b")))))
        (let (seen)
          (xml:parse-xml file :on-start-element (lambda (tag attributes) (declare (ignore tag))
                                                  (setf seen attributes)))
          (check-equal '(("a" . "own") ("b" . "fx")) seen))))))

(deftest file-urls-name-files-for-every-reader ()
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((sub (concatenate 'string dir "a b/"))
             (sheet "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><o/></xsl:template></xsl:stylesheet>"))
        (ensure-directories-exist sub)
        (write-text (concatenate 'string sub "r.xml") "<r/>")
        (write-text (concatenate 'string sub "s.xsl") sheet)
        (xml:register-xml-loader "r" :file-handler (lambda (file) (and (xml:read-xml file) t)))
        (let ((url (format nil "file://~Aa%20b/r.xml" dir)))
          (check-equal '(t t 0 "r" t) (readers-results url))
          (check (xml:transform-xml (xml:read-xml url) (format nil "file://~Aa%20b/s.xsl" dir)
                                    (concatenate 'string dir "out.xml"))))))))

(deftest parse-xml-reports-whole-text-runs ()
  (with-xml-files (dir (file "run.xml" (format nil "<r>  ~A   ~A  <c/></r>"
                                               (make-string 700000 :initial-element #\a)
                                               (make-string 700000 :initial-element #\b))))
    (let (runs)
      (check (xml:parse-xml file :on-characters (lambda (text) (push text runs))))
      (check-equal '(1400003) (mapcar #'length runs))
      (check-equal "a   b" (subseq (first runs) 699999 700004)))))

(deftest rejected-style-sheets-transform-nothing ()
  (with-clean-cache
    (with-xml-files (dir (sheet "s.xsl" "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><xsl:bogus/><o/></xsl:template></xsl:stylesheet>"))
      (let ((out (concatenate 'string dir "out.xml")))
        (check-equal nil (xml:transform-xml (xml:deserialize-xml "<r/>") sheet out))
        (check-equal nil (probe-file out))))))

(deftest quiet-errors-nothing-reaches-stderr ()
  (with-temp-directory (dir)
    (write-octets (concatenate 'string dir "u16.xml")
                  (append '(#xFF #xFE #x3C 0 #x72 0 #x3E 0 #x00 #xD8 #x3C 0 #x2F 0 #x72 0 #x3E 0)))
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
      (multiple-value-bind (code out err) (run-quill-lisp (list "--eval" forms))
        (check-equal '(0 "((1 4 6))" "") (list code out err))))))
