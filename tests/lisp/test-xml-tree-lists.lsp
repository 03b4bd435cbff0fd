;;;; Whole trees as element lists in one call: ELEMENT-TO-LIST,
;;;; DOCUMENT-TO-LIST, READ-XML-LIST and LIST-TO-DOCUMENT.

(defun model-text (parts)
  "Parts with attributes, labels (Unicode, markup), empty elements, nested holes."
  (with-output-to-string (s)
    (format s "<?xml version=\"1.0\"?>~%<model version=\"3\" unit=\"mm\">~%")
    (dotimes (i parts)
      (format s "  <part id=\"p~D\" material=\"~A\">~%" i (if (evenp i) "steel" "alu"))
      (format s "    <label>~A</label>~%" (case (mod i 3) (0 (unicode-text)) (1 "a &lt;b&gt; &amp; c") (t "plain")))
      (format s "    <dims w=\"~D\" h=\"~D\"/>~%" (* i 3) (+ i 7))
      (format s "    <holes>~{<hole d=\"~D\"><pos>~:*~D ~:*~D</pos></hole>~}</holes>~%"
              (loop for k below (mod i 4) collect (+ k 2)))
      (format s "  </part>~%"))
    (format s "</model>~%")))

(defun agreed-lists (file &key mixed)
  "The lists of a file when they agree read straight and through the
document read from it; else :disagree."
  (let ((lists (xml:document-to-list (xml:read-xml file) :mixed mixed)))
    (if (equal lists (xml:read-xml-list file :mixed mixed)) lists :disagree)))

(defun round-trips-p (file)
  "The document rebuilt from the mixed lists compares equal to the one read."
  (let ((d (xml:read-xml file)))
    (xml:compare-xml d (xml:list-to-document (xml:document-to-list d :mixed t)))))

(deftest lists-of-a-model ()
  (with-clean-cache
    (with-xml-files (dir (file "model.xml" (model-text 12)))
      (let* ((d (xml:read-xml file))
             (root (xml:document-get-root d))
             (lists (xml:document-to-list d))
             (entries (xmlprobe:cache-entries)))
        ;; The lists outlive a collection (their conses came in blocks).
        (si:gc t)
        ;; The same lists as a walk through handles, from file and document;
        ;; without mixed content both forms are one.
        (check-equal (element-list-of root) lists)
        (check-equal lists (agreed-lists file))
        (check-equal lists (agreed-lists file :mixed t))
        (check (round-trips-p file))
        ;; Rebuilt by either builder: the same document.
        (check (xml:compare-xml d (xml:xml-list-to-document lists)))
        (check-equal lists (xml:document-to-list (xml:list-to-document lists)))
        ;; An inner element alone, and no handle made for any inner element.
        (let ((part (xml:document-select-node d "/model/part[3]")))
          (setf entries (xmlprobe:cache-entries))
          (check-equal (list (third (third lists)) entries) (list (xml:element-to-list part) (xmlprobe:cache-entries))))))))

(deftest mixed-content-comments-and-cdata ()
  (with-clean-cache
    (with-xml-files (dir (file "mixed.xml"
                               (format nil "<r>one<b>bold</b>two<!-- c --><?pi x?>three<e/>~
                                            <t>a<!--x-->c</t>~
                                            <p xml:space=\"preserve\"> <q>  </q> </p>~
                                            <n>~%   ~%</n>~A</r>" (unicode-text)))
                         (cdata "cdata.xml" "<r><t>a<![CDATA[<raw>]]>b<!--x-->c</t><u><![CDATA[ ]]></u></r>"))
      ;; Plain: text beside children goes; a childless element has all of its
      ;; text as one string; blank text goes outside xml:space="preserve".
      (check-equal `("r" nil (("b" nil "bold") ("e" nil nil) ("t" nil "ac")
                              ("p" (("xml:space" . "preserve")) (("q" nil "  ")))
                              ("n" nil nil)))
                   (agreed-lists file))
      ;; Mixed: every run stays, in order; a comment or PI ends a run.
      (check-equal `("r" nil ("one" ("b" nil "bold") "two" "three" ("e" nil nil)
                              ("t" nil ("a" "c"))
                              ("p" (("xml:space" . "preserve")) (" " ("q" nil "  ") " "))
                              ("n" nil nil) ,(unicode-text)))
                   (agreed-lists file :mixed t))
      (check (round-trips-p file))
      ;; CDATA is text, never blank; it comes back as plain text.
      (check-equal '("r" nil (("t" nil "a<raw>bc") ("u" nil " "))) (agreed-lists cdata))
      (check-equal '("r" nil (("t" nil ("a<raw>b" "c")) ("u" nil " "))) (agreed-lists cdata :mixed t)))))

(deftest namespaces-stay-declared ()
  (with-clean-cache
    (with-xml-files (dir (file "ns.xml"
                               "<m:model xmlns:m=\"urn:m\" xmlns=\"urn:d\" m:v=\"1\"><part><m:hole d=\"2\"/></part></m:model>"))
      (check (round-trips-p file))
      (let ((lists (agreed-lists file)))
        (check-equal '("m:model" (("xmlns:m" . "urn:m") ("xmlns" . "urn:d") ("m:v" . "1"))
                       (("part" nil (("m:hole" (("d" . "2")) nil)))))
                     lists)
        ;; Written and read again, the rebuilt document has the same names.
        (let ((copy (concatenate 'string dir "copy.xml")))
          (check (xml:write-xml (xml:list-to-document lists) copy))
          (check-equal lists (xml:read-xml-list copy))))
      ;; An element taken alone declares what it uses from its ancestors.
      (let ((hole (xml:document-select-node (xml:read-xml file) "//*[local-name()='hole']")))
        (check-equal '("m:hole" (("xmlns:m" . "urn:m") ("d" . "2")) nil) (xml:element-to-list hole))))))

(deftest building-documents-from-lists ()
  (with-clean-cache
    (flet ((built (list) (let ((d (xml:list-to-document list)))
                           (and d (xml:document-to-list d :mixed t)))))
      (check-equal '("r" nil ("x" ("b" nil nil) "y")) (built '("r" nil ("x" ("b" nil nil) "y"))))
      ;; Items of the wrong type fail their element, which its parent leaves
      ;; out; other atoms in pairs are skipped.
      (check-equal '("r" (("a" . "1")) (("ok" nil nil) ("last" nil nil)))
                   (built '("r" (("a" . "1") ("b" . 2)) (("ok" nil nil) ("bad" 5 nil) ("bad" nil 5)
                                                        ("bad" (("a" "1")) nil) ("bad" ("a") nil)
                                                        (42 nil nil) 7 ("last" nil nil)))))
      ;; No root: nil, never a document without one.
      (check-equal (make-list 7) (mapcar #'xml:list-to-document
                                         '(nil 42 "r" (42 nil nil) ("r" 5 nil) ("r" nil 5) ("not a name" nil nil)))))))

(deftest nil-for-what-is-no-tree ()
  (with-xml-files (dir (good "good.xml" "<r><a/></r>") (broken "broken.xml" "<r><a></r>"))
    (let* ((d (xml:read-xml good))
           (root (xml:document-get-root d)))
      (check-equal (make-list 8)
                   (list (xml:element-to-list d) (xml:element-to-list "r") (xml:element-to-list nil :mixed t)
                         (xml:document-to-list root) (xml:document-to-list (xml:document-create))
                         (xml:read-xml-list broken :mixed t) (xml:read-xml-list (concatenate 'string dir "missing.xml"))
                         (xml:read-xml-list 42)))
      ;; Stale handles.
      (xml:clear-xml-cache)
      (check-equal '(nil nil) (list (xml:element-to-list root) (xml:document-to-list d))))))

(deftest deep-trees-in-a-child ()
  ;; Lists to a document, back to lists in both forms, and the file read
  ;; straight into lists, 200 000 levels deep on the usual 8 MB C stack, in a
  ;; child so that a recursion per level fails this test instead of the run.
  ;; (Only the walks here: the host's EQUAL itself recurses on such lists.)
  (with-xml-files (dir (program "deep.lsp"
                                "(let ((list '(\"leaf\" nil \"end\")))
                                   (dotimes (i 200000) (setf list (list \"n\" (list (cons \"i\" \"1\")) (list \"t\" list))))
                                   (let* ((d (xml:list-to-document list))
                                          (back (xml:document-to-list d :mixed t))
                                          (plain (xml:element-to-list (xml:document-get-root d)))
                                          (file (concatenate 'string (directory-namestring *load-truename*) \"deep.xml\"))
                                          (read (and (xml:write-xml d file :pretty-print nil) (xml:read-xml-list file))))
                                     (flet ((leaf (e) (loop for x = e then (first (third x)) while (consp (third x))
                                                            finally (return x))))
                                       (format t \"~D ~S ~S~%\"
                                               (loop for e = back then (second (third e)) while (equal (first e) \"n\") count t)
                                               (leaf plain) (leaf read)))))"))
    (let* ((out (concatenate 'string dir "out"))
           (code (nth-value 1 (ext:run-program "/bin/sh"
                                               (list "-c" "ulimit -s 8192 && exec \"$0\" \"$1\""
                                                     (quill-test::quill-lisp-path) program)
                                               :output out :error nil :wait t))))
      (check-equal 0 code)
      (check-equal (format nil "200000 (\"leaf\" NIL \"end\") (\"leaf\" NIL \"end\")~%") (read-file out)))))
