;;;; Documents element by element, to text and back, comparison, root tags and
;;;; unmarshalling, as Lisp sees them (the rules themselves are the model's
;;;; and comparator's tests' concern).

(defun tags (elements) (mapcar #'xml:element-get-tag elements))

(deftest build-walk-and-edit ()
  ;; Lists of handles and names in document order; refusals are nil.
  (with-clean-cache
    (let* ((d (xml:document-create))
           (shop (xml:document-set-root d (xml:element-create d "shop"))))
      (dolist (tag '("item" "box" "item")) (xml:element-add-child shop (xml:element-create d tag)))
      (dolist (name '("z" "a" "m")) (xml:element-set-attribute shop name (string-upcase name)))
      (let ((box (xml:element-get-child shop "box"))
            (m (xml:document-select-node d "/shop/@m")))
        (check-equal '(("item" "box" "item") 2 ("z" "a" "m") t "new" nil "new" nil nil nil nil nil)
                     (list (tags (xml:element-get-children shop)) (length (xml:element-get-named-children shop "item"))
                           (xml:element-get-attributes shop) (xml:attribute-set-value m "new")
                           (xml:element-get-attribute shop "m") (xml:attribute-set-value m 3) (xml:attribute-get-value m)
                           (xml:element-get-children box) (xml:element-get-text box) (xml:element-get-attributes box)
                           (xml:element-add-child box box)
                           (xml:document-set-root d (xml:element-create d "other"))))))))

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
      (check (and (xml:element-add-child b-root moved) (xml:element-add-child b-root fresh)
                  (xml:element-add-child (xml:document-get-root c) fresh) (xml:element-add-child b-root box)))
      (check-equal "c" (xml:element-get-tag (xml:document-get-root (xml:element-get-document fresh))))
      (let ((inside (xml:element-get-children box)))
        (check (xml:document-dispose a))
        (check-equal '(nil ("in")) (list (xml:element-get-tag moved) (tags inside)))
        (let ((again (xml:element-get-child b-root "moved")))
          (check-equal '("v" "kept") (list (xml:element-get-attribute again "k") (xml:element-get-text again))))
        (check-equal "<b><moved k=\"v\">kept</moved><box><in/></box></b>"
                     (string-right-trim '(#\Newline) (xml:serialize-xml b)))
        (check (xml:document-dispose b))
        (check-equal '(nil) (tags inside))))))

(deftest text-comparison-and-root-tags ()
  (with-clean-cache
    (with-xml-files (dir (bad "bad.xml" "<r><c></r>") (empty "e.xml" "")
                         (prolog "prolog.xml" (format nil "<?xml version='1.0'?>~%<!-- c --><?pi x?>~%<top/>"))
                         (prefixed "prefixed.xml" "<q:model xmlns:q='urn:q'/>")
                         ;; Only the first start tag is read.
                         (broken-after "broken.xml" "<head><unclosed></head>"))
      (let ((a (xml:deserialize-xml "<r x='1'><c>t</c></r>")))
        (check-equal '(t t nil) (list (xml:compare-xml a a)
                                      (xml:compare-xml (xml:deserialize-xml "<r><a/><b y='1' x='2'>t</b></r>")
                                                       (xml:deserialize-xml "<r><b x='2' y='1'>t</b><a/></r>"))
                                      (xml:compare-xml a (xml:deserialize-xml "<r x='1'><c>u</c></r>"))))
        ;; Nothing, something that is no document, or no document read: nil.
        (check-equal (make-list 5) (list (xml:compare-xml nil nil) (xml:compare-xml a nil) (xml:compare-xml nil a)
                                         (xml:compare-xml a 42) (xml:compare-xml a (xml:document-get-root a)))))
      (xml:clear-xml-cache)
      (let ((before (baseline-counts)))
        (check-equal (make-list 17)
                     (append (mapcar #'xml:serialize-xml (list nil 42 "<r/>"))
                             (mapcar #'xml:deserialize-xml (list nil 42 "" "<r><c></r>" "<r/><s/>"))
                             (mapcar #'xml:get-root-tag (list nil 42 empty (concatenate 'string dir "missing.xml") dir))
                             (mapcar #'xml:read-xml (list bad empty dir (concatenate 'string dir "none.xml")))))
        (check-equal '("model" "top" "head") (mapcar #'xml:get-root-tag (list prefixed prolog broken-after)))
        ;; A deserialized document lives in the cache only; serializing makes
        ;; no entry, and a disposed one serializes to nil.
        (let ((d (xml:deserialize-xml "<r><c/></r>")))
          (full-gc)
          (check-equal (list (1+ (first before)) (1+ (third before)) t (1+ (third before)))
                       (list (xmlprobe:live-documents) (xmlprobe:cache-entries)
                             (contains (xml:serialize-xml d) "<r><c/></r>") (xmlprobe:cache-entries)))
          (xml:document-dispose d)
          (check-equal '(nil t) (list (xml:serialize-xml d) (same-counts-p before))))))))

;;; UNMARSHAL-XML builds through the creator the probe module registers for
;;; the root tag "probe".
(deftest unmarshal-builds-objects-that-belong-to-the-caller ()
  (with-clean-cache
    (let* ((before (baseline-counts))
           (objects (xmlprobe:live-objects))
           (o (xml:unmarshal-xml (xml:deserialize-xml "<probe version='3' name='abc'><x/></probe>"))))
      (check (and o (not (xml:xml-document-struct-p o))))
      ;; Clearing the cache and collecting leave the object alone.
      (xml:clear-xml-cache)
      (full-gc)
      (check-equal '("abc" 3) (xmlprobe:object-of o))
      (check-equal objects (xmlprobe:free-object o))
      ;; An object that cannot read its element is not handed out (and is
      ;; deleted); no creator, no document: nil.
      (check-equal '(nil nil nil nil nil)
                   (mapcar #'xml:unmarshal-xml
                           (list (xml:deserialize-xml "<probe fail='1'/>")
                                 (xml:deserialize-xml "<other/>") nil 42 (xml:document-create))))
      (check-equal objects (xmlprobe:live-objects))
      (xml:clear-xml-cache)
      (check (same-counts-p before)))))
