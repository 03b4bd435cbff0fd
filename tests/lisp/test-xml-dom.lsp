;;;; Walking and editing documents element by element.

(defun tags (elements) (mapcar #'xml:element-get-tag elements))

(deftest build-walk-and-move ()
  (with-clean-cache
    (let* ((d (xml:document-create))
           (shop (xml:document-set-root d (xml:element-create d "shop"))))
      (loop for (tag id) in '(("item" "1") ("box" nil) ("item" "2"))
            for e = (xml:element-create d tag)
            do (when id (xml:element-set-attribute e "id" id) (xml:element-set-text e id))
               (check (xml:element-add-child shop e)))
      (check-equal '("item" "box" "item") (tags (xml:element-get-children shop)))
      (check-equal '("1" "2") (mapcar #'xml:element-get-text (xml:element-get-named-children shop "item")))
      (check-equal "2" (xml:element-get-attribute (xml:document-select-node d "/shop/item[2]") "id"))
      (let ((box (xml:element-get-child shop "box"))
            (item (xml:element-get-child shop "item")))
        (check-equal '(nil nil nil nil nil)
                     (list (xml:element-get-children box) (xml:element-get-text box) (xml:element-get-attributes box)
                           (xml:element-get-attribute box "id") (xml:element-get-parent shop)))
        ;; Adding an element that is in the tree moves it; never into itself
        ;; or below itself.
        (check (xml:element-add-child box item))
        (check-equal '("box" "item") (tags (xml:element-get-children shop)))
        (check-equal "box" (xml:element-get-tag (xml:element-get-parent item)))
        (check-equal '(nil nil) (list (xml:element-add-child box box) (xml:element-add-child item box))))
      ;; A second root is refused.
      (check-equal nil (xml:document-set-root d (xml:element-create d "other")))
      (check-equal "shop" (xml:element-get-tag (xml:document-get-root d))))))

(deftest attributes-keep-their-order ()
  (with-clean-cache
    (let* ((d (xml:document-create))
           (e (xml:document-set-root d (xml:element-create d "e"))))
      (dolist (name '("z" "a" "m")) (xml:element-set-attribute e name (string-upcase name)))
      (check (xml:element-set-attribute e "a" "again"))
      (check-equal '("z" "a" "m") (xml:element-get-attributes e))
      (let ((m (xml:document-select-node d "/e/@m")))
        (check (xml:attribute-set-value m "new"))
        (check-equal '("new" nil "new") (list (xml:element-get-attribute e "m") (xml:attribute-set-value m 3)
                                              (xml:attribute-get-value m))))
      (dotimes (i 300) (xml:element-set-attribute e (format nil "k~D" i) "v"))
      (check-equal 303 (length (xml:element-get-attributes e))))))

(deftest elements-move-across-documents ()
  ;; The moved element belongs to the new document, which outlives the old;
  ;; a handle taken in the old one goes stale with it. Children taken through
  ;; such a handle belong to the new document too.
  (with-clean-cache
    (let* ((a (xml:xml-list-to-document '("a" nil (("moved" (("k" . "v")) "kept") ("box" nil (("in" nil nil)))))))
           (b (xml:xml-list-to-document '("b" nil nil)))
           (c (xml:xml-list-to-document '("c" nil nil)))
           (moved (xml:element-get-child (xml:document-get-root a) "moved"))
           (box (xml:element-get-child (xml:document-get-root a) "box"))
           (fresh (xml:element-create a "fresh"))
           (b-root (xml:document-get-root b)))
      (check (and (xml:element-add-child b-root moved) (xml:element-add-child b-root fresh)))
      (check (xml:element-add-child (xml:document-get-root c) fresh))
      (check-equal "c" (xml:element-get-tag (xml:document-get-root (xml:element-get-document fresh))))
      (check (xml:element-add-child b-root box))
      (let ((inside (xml:element-get-children box)))
        (check (xml:document-dispose a))
        (check-equal '(nil ("in")) (list (xml:element-get-tag moved) (mapcar #'xml:element-get-tag inside)))
        (let ((again (xml:element-get-child b-root "moved")))
          (check-equal '("v" "kept") (list (xml:element-get-attribute again "k") (xml:element-get-text again))))
        (check-equal "<b><moved k=\"v\">kept</moved><box><in/></box></b>"
                     (string-right-trim '(#\Newline) (xml:serialize-xml b)))
        (check (xml:document-dispose b))
        (check-equal '(nil) (mapcar #'xml:element-get-tag inside))))))

(deftest unicode-everywhere ()
  ;; Names, texts and values alike go beyond the Basic Multilingual Plane.
  ;; The engine's XPath parser takes name characters up to U+FFFF only (the
  ;; older XML name rules), so the path below spells no such name.
  (with-clean-cache
    (let* ((u (unicode-text))
           (tag (concatenate 'string "t" u))
           (d (xml:document-create))
           (e (xml:document-set-root d (xml:element-create d tag))))
      (check (and (xml:element-set-text e u) (xml:element-set-attribute e tag u)))
      (check-equal (list tag u (list tag) u u)
                   (list (xml:element-get-tag e) (xml:element-get-text e) (xml:element-get-attributes e)
                         (xml:element-get-attribute e tag) (xml:attribute-get-value (xml:document-select-node d "/*/@*")))))))
