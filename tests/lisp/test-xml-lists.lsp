;;;; Element lists (tag attributes content) and documents built from them.

(defun built (list)
  (let ((root (xml:document-get-root (xml:xml-list-to-document list))))
    (and root (element-list-of root))))

(deftest making-and-growing-lists ()
  (check-equal '("a" (("one" . "1")) "t")
               (xml:xml-list-create-element "a" :attribute '("one" . "1") :attributes '(("two" . "2"))
                                                :text "t" :children '(("b" nil nil))))
  (check-equal '("a" nil (("b" nil nil)))
               (xml:xml-list-create-element "a" :child '("b" nil nil) :children '(("c" nil nil))))
  (check-equal '(42 :x 7) (xml:xml-list-create-element 42 :attributes :x :text 7))
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
    (check-equal nil (xml:xml-list-add-child e '("b" nil nil)))
    (check-equal '("a" nil "t") e))
  (check-equal nil (xml:xml-list-add-child (list "a") '("b" nil nil))))

(deftest documents-from-lists ()
  (with-clean-cache
    (let ((tree `("shop" (("name" . "corner") ("u" . ,(unicode-text)))
                         (("item" (("id" . "1")) "pen") ("box" nil (("deep" nil ,(unicode-text))))))))
      (check-equal tree (built tree))
      (with-temp-directory (dir)
        (let ((file (concatenate 'string dir "shop.xml")))
          (check (xml:write-xml (xml:xml-list-to-document tree) file))
          (check-equal tree (element-list-of (xml:document-get-root (xml:read-xml file)))))))))

(deftest failures-drop-only-what-they-spoil ()
  (with-clean-cache
    ;; A bad attribute entry fails its element, subtree and all; the parent
    ;; goes on without it.
    (check-equal '("r" nil (("ok" nil nil) ("last" nil nil)))
                 (built '("r" nil (("ok" nil nil)
                                   ("bad" (("a" "two-item-list")) nil)
                                   ("bad" ((("cons") . "v")) (("lost" nil nil)))
                                   (nil nil nil)
                                   ("last" nil nil)))))
    ;; Names or values that are no strings are skipped; missing items are nil.
    (check-equal '("r" (("a" . "1")) nil) (built '("r" (("a" . "1") ("b" . 2) (c . "3")))))
    ;; A failed root leaves a document without root, still returned.
    (dolist (bad '((42 nil nil) (("r") nil nil) ("r" (("a" "1")) nil) ("not a name" nil nil) nil))
      (let ((d (xml:xml-list-to-document bad)))
        (check (and (xml:xml-document-struct-p d) (null (xml:document-get-root d))))))
    ;; Items of the wrong type, circular lists included, are type errors.
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
