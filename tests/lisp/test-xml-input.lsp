;;;; Hostile and odd input through Lisp: what each reader gives for a file
;;;; the engine refuses (the refusal rules themselves are the engine's
;;;; tests'), NULs, lone surrogates and no strings at all where strings
;;;; belong, file: URLs, and quiet errors: no engine message reaches stderr.

(defun nul (a b) (format nil "~A~C~A" a (code-char 0) b))

(defun write-octets (path &rest parts)
  "Writes strings as their character codes, lists of bytes as they are."
  (with-open-file (s path :direction :output :if-exists :supersede :element-type '(unsigned-byte 8))
    (dolist (p parts) (write-sequence (if (stringp p) (map 'vector #'char-code p) p) s)))
  path)

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

(deftest refused-files-give-nil-from-every-reader-and-leave-nothing ()
  ;; One file per kind of refusal: the root tag is read before the fault.
  (with-r-loader
    (with-xml-files (dir (bomb "bomb.xml" (entity-bomb)) (secret "secret.txt" "TOP-SECRET"))
      (let ((before (baseline-counts))
            (nul-file (write-octets (concatenate 'string dir "nul.xml") (nul "<r>a" "b</r>")))
            (cut (write-octets (concatenate 'string dir "cut.xml") '(#xFF #xFE) (utf-16 "<r/>") '(#x00 #xD8))))
        (dolist (file (list nul-file cut bomb))
          (check-equal (list file nil nil 1 "r" nil nil) (cons file (readers-results file))))
        (check-equal nil (xml:deserialize-xml (entity-bomb)))
        (check (same-counts-p before))
        (check-equal '(t t 0 "r" t t) (readers-results (write-text (concatenate 'string dir "ok.xml") "<r/>")))
        ;; The module asks the engine for no external entity.
        (let* ((xxe (write-text (concatenate 'string dir "xxe.xml") (external-entity secret)))
               (seen (list (format nil "~S" (xml:read-xml-list xxe)))))
          (dolist (d (list (xml:read-xml xxe) (xml:deserialize-xml (external-entity secret))))
            (push (or (and d (xml:serialize-xml d)) "") seen))
          (xml:parse-xml xxe :on-characters (lambda (s) (push s seen) t))
          (check (notany (lambda (s) (search "SECRET" s)) seen)))))))

(deftest strings-holding-nul-or-no-strings-give-nil ()
  (with-clean-cache
    (with-temp-directory (dir)
      (let* ((doc (xml:deserialize-xml "<r a='1'><c/></r>"))
             (root (xml:document-get-root doc))
             (attribute (xml:document-select-node doc "/r/@a"))
             (cut (nul (concatenate 'string dir "x") ".xml")))
        (check-equal nil (xml:write-xml doc cut))
        (check-equal nil (directory (concatenate 'string dir "*")))
        ;; A lone surrogate crosses into the engine as it is, and is refused there.
        (check-equal (make-list 20)
                     (list (xml:element-create doc 'r) (xml:element-set-text root 5)
                           (xml:element-set-attribute root "a" nil) (xml:element-get-child root nil) (xml:read-xml nil)
                           (xml:deserialize-xml (nul "<r/>" ""))
                           (xml:deserialize-xml (format nil "<r>~C</r>" (code-char #xD800)))
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
        ;; Base strings are strings too.
        (check (xml:element-set-attribute root (coerce "b" 'base-string) "2"))
        (check-equal "<r a=\"1\" b=\"2\"><c/></r>" (subseq (xml:serialize-xml doc) 0 23))))))

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
    (write-octets (concatenate 'string dir "u16.xml") '(#xFF #xFE) (utf-16 "<r>") '(#x00 #xD8) (utf-16 "</r>"))
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
