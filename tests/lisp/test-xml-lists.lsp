;;;; Element lists (tag attributes content): made and grown item by item
;;;; with the XML-LIST- functions and built into documents, and whole trees
;;;; in one call with ELEMENT-TO-LIST, DOCUMENT-TO-LIST, READ-XML-LIST and
;;;; LIST-TO-DOCUMENT.

(deftest making-and-growing-lists ()
  (check-equal '(("a" (("one" . "1")) "t") ("a" nil (("b" nil nil))) (42 :x 7))
               (list (xml:xml-list-create-element "a" :attribute '("one" . "1") :attributes '(("two" . "2"))
                                                      :text "t" :children '(("b" nil nil)))
                     (xml:xml-list-create-element "a" :child '("b" nil nil) :children '(("c" nil nil)))
                     (xml:xml-list-create-element 42 :attributes :x :text 7)))
  (let ((e (xml:xml-list-create-element "a")))
    ;; Into a nil item the result is the list from that item on; into a
    ;; list, the item itself.
    (check (eq (cdr e) (xml:xml-list-add-attribute e "k" "v")))
    (check-equal '(("k" . "v") ("l" . "w")) (xml:xml-list-add-attribute e "l" "w"))
    (check (eq (cddr e) (xml:xml-list-add-child e '("b" nil nil))))
    (xml:xml-list-add-child e '("c" nil "x"))
    (check-equal '("a" (("k" . "v") ("l" . "w")) (("b" nil nil) ("c" nil "x"))) e))
  ;; Text excludes children; a list without the item cannot grow.
  (let ((e (xml:xml-list-create-element "a" :text "t")))
    (check-equal '(nil ("a" nil "t") nil) (list (xml:xml-list-add-child e '("b" nil nil)) e
                                                (xml:xml-list-add-child (list "a") '("b" nil nil))))))

(deftest failures-drop-only-what-they-spoil ()
  (with-clean-cache
    ;; A bad entry fails its element, subtree and all; the parent goes on
    ;; without it. Names or values that are no strings are skipped.
    (flet ((old (list) (let ((root (xml:document-get-root (xml:xml-list-to-document list))))
                         (and root (element-list-of root))))
           (new (list) (let ((d (xml:list-to-document list))) (and d (xml:document-to-list d :mixed t)))))
      (check-equal '("r" nil (("ok" nil nil) ("last" nil nil)))
                   (old '("r" nil (("ok" nil nil) ("bad" (("a" "two-item-list")) nil)
                                   ("bad" ((("cons") . "v")) (("lost" nil nil))) (nil nil nil) ("last" nil nil)))))
      (check-equal '("r" (("a" . "1")) nil) (old '("r" (("a" . "1") ("b" . 2) (c . "3")))))
      (check-equal '("r" nil ("x" ("b" nil nil) "y")) (new '("r" nil ("x" ("b" nil nil) "y"))))
      (check-equal '("r" (("a" . "1")) (("ok" nil nil) ("last" nil nil)))
                   (new '("r" (("a" . "1") ("b" . 2)) (("ok" nil nil) ("bad" 5 nil) ("bad" nil 5) ("bad" (("a" "1")) nil)
                                                      ("bad" ("a") nil) (42 nil nil) 7 ("last" nil nil))))))
    ;; A failed root: the old builder returns a document without root, the
    ;; new one nil.
    (dolist (bad '((42 nil nil) (("r") nil nil) ("r" (("a" "1")) nil) ("not a name" nil nil) nil))
      (let ((d (xml:xml-list-to-document bad)))
        (check (and (xml:xml-document-struct-p d) (null (xml:document-get-root d))))))
    (check-equal (make-list 7) (mapcar #'xml:list-to-document
                                       '(nil 42 "r" (42 nil nil) ("r" 5 nil) ("r" nil 5) ("not a name" nil nil))))
    ;; For the old builder, items of the wrong type, circular lists
    ;; included, are type errors.
    (let ((pairs (list (cons "a" "1")))
          (children (list (list "c" nil nil))))
      (setf (cdr pairs) pairs (cdr children) children)
      (dolist (call (list (lambda () (xml:xml-list-to-document '("r" 5 nil)))
                          (lambda () (xml:xml-list-to-document '("r" nil 5)))
                          (lambda () (xml:xml-list-to-document (list "r" pairs nil)))
                          (lambda () (xml:xml-list-to-document (list "r" nil children)))
                          (lambda () (xml:xml-list-add-attribute (list "r" pairs nil) "b" "2"))
                          (lambda () (xml:xml-list-add-child (list "r" nil children) '("d" nil nil)))
                          (lambda () (xml:xml-list-add-child 42 '("b" nil nil)))))
        (check-error type-error (funcall call))))))

(defun model-text (parts)
  "Parts with attributes, labels (Unicode, markup), empty elements, nested holes."
  (with-output-to-string (s)
    (format s "<?xml version=\"1.0\"?>~%<model version=\"3\" unit=\"mm\">~%")
    (dotimes (i parts)
      (format s "  <part id=\"p~D\" material=\"~A\">~%" i (if (evenp i) "steel" (unicode-text)))
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
             (lists (xml:document-to-list d)))
        ;; The lists outlive a collection (their conses came in blocks).
        (si:gc t)
        ;; The same lists as a walk through handles, from file and document
        ;; (without mixed content both forms are one), and rebuilt by either
        ;; builder: the same document, attribute order kept.
        (check-equal (list lists lists lists t lists lists)
                     (list (element-list-of (xml:document-get-root d)) (agreed-lists file) (agreed-lists file :mixed t)
                           (round-trips-p file) (element-list-of (xml:document-get-root (xml:xml-list-to-document lists)))
                           (xml:document-to-list (xml:list-to-document lists))))
        ;; An inner element alone, and no handle made for any inner element.
        (let* ((part (xml:document-select-node d "/model/part[3]"))
               (entries (xmlprobe:cache-entries)))
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
      ;; Written and read again, the rebuilt document has the same names.
      (let ((lists (agreed-lists file)) (copy (concatenate 'string dir "copy.xml")))
        (check-equal '(t ("m:model" (("xmlns:m" . "urn:m") ("xmlns" . "urn:d") ("m:v" . "1"))
                          (("part" nil (("m:hole" (("d" . "2")) nil))))) t t)
                     (list (round-trips-p file) lists (xml:write-xml (xml:list-to-document lists) copy)
                           (equal lists (xml:read-xml-list copy)))))
      ;; An element taken alone declares what it uses from its ancestors.
      (let ((hole (xml:document-select-node (xml:read-xml file) "//*[local-name()='hole']")))
        (check-equal '("m:hole" (("xmlns:m" . "urn:m") ("d" . "2")) nil) (xml:element-to-list hole))))))

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
