;;;; Documents to text and back (and what no document reads from), comparison,
;;;; root tags and unmarshalling.

(deftest round-trip-keeps-unicode-and-equality ()
  (with-clean-cache
    (let* ((d (xml:deserialize-xml (format nil "<r~A a='~A'><c>~A</c><d/></r~:*~:*~:*~A>"
                                           (code-char #x1F600) (unicode-text) (unicode-text))))
           (text (xml:serialize-xml d))
           (again (xml:deserialize-xml text)))
      ;; Not pretty-printed: no line break between the tags.
      (check-equal '(t t t nil) (list (contains text (unicode-text)) (contains text (format nil "<r~A" (code-char #x1F600)))
                                      (contains text "<c>") (contains text (format nil ">~%<c"))))
      (check (and (xml:xml-document-struct-p again) (not (eq d again))))
      (check-equal (list t text (unicode-text))
                   (list (xml:compare-xml d again) (xml:serialize-xml again)
                         (xml:element-get-text (xml:element-get-child (xml:document-get-root again) "c")))))))

(deftest compare-verdicts ()
  (with-clean-cache
    (let ((a (xml:deserialize-xml "<r x='1'><c>t</c></r>")))
      (check-equal t (xml:compare-xml a a))
      ;; The rules themselves are the comparator tests' concern.
      (loop for (verdict one other)
              in '((t "<r><a/><b y='1' x='2'>t</b></r>" "<r><b x='2' y='1'>t</b><a/></r>")
                   (nil "<r x='1'><c>t</c></r>" "<r x='1'><c>u</c></r>"))
            do (check-equal (list one other verdict)
                            (list one other (xml:compare-xml (xml:deserialize-xml one)
                                                             (xml:deserialize-xml other)))))
      ;; Nothing, or something that is no document, is never equal.
      (check-equal '(nil nil nil nil nil)
                   (list (xml:compare-xml nil nil) (xml:compare-xml a nil) (xml:compare-xml nil a)
                         (xml:compare-xml a 42) (xml:compare-xml a (xml:document-get-root a)))))))

(deftest failures-give-nil-and-leave-nothing-behind ()
  (with-clean-cache
    (with-xml-files (dir (bad "bad.xml" "<r><c></r>") (empty "e.xml" ""))
      (let ((before (baseline-counts)))
        (check-equal (make-list 14)
                     (append (mapcar #'xml:serialize-xml (list nil 42 "<r/>"))
                             (mapcar #'xml:deserialize-xml (list nil 42 "" "<r><c></r>" "<r/><s/>"))
                             (mapcar #'xml:get-root-tag (list nil 42))
                             (mapcar #'xml:read-xml (list bad empty dir (concatenate 'string dir "none.xml")))))
        (check (same-counts-p before))))))

(deftest deserialized-document-lives-in-the-cache-only ()
  (xml:clear-xml-cache)
  (let* ((before (baseline-counts))
         (d (xml:deserialize-xml "<r><c/></r>")))
    (check-equal (list (1+ (first before)) (1+ (third before)))
                 (list (xmlprobe:live-documents) (xmlprobe:cache-entries)))
    (full-gc)
    ;; Serializing takes no reference and makes no entry.
    (check (search "<r><c/></r>" (xml:serialize-xml d)))
    (check-equal (1+ (third before)) (xmlprobe:cache-entries))
    (xml:document-dispose d)
    (check-equal nil (xml:serialize-xml d))
    (check (same-counts-p before))))

(deftest root-tag-of-files ()
  (let ((tag (format nil "m~A~A" (code-char #xE9) (code-char #x1F600))))
    (with-xml-files (dir (plain "plain.xml" "<model a='1'><c/></model>")
                         (unicode "unicode.xml" (format nil "<~A>x</~A>" tag tag))
                         (prefixed "prefixed.xml" "<q:model xmlns:q='urn:q'/>")
                         (prolog "prolog.xml" (format nil "<?xml version='1.0'?>~%<!-- c --><?pi x?>~%<top/>"))
                         ;; Only the first start tag is read.
                         (broken-after "broken.xml" "<head><unclosed></head>")
                         (empty "empty.xml" "")
                         (text "text.xml" "just text"))
      (check-equal (list "model" tag "model" "top" "head" nil nil nil nil)
                   (mapcar #'xml:get-root-tag
                           (list plain unicode prefixed prolog broken-after empty text
                                 (concatenate 'string dir "missing.xml") dir))))))

;;; UNMARSHAL-XML builds through the creator the probe module registers for
;;; the root tag "probe".
(deftest unmarshal-builds-objects-that-belong-to-the-caller ()
  (with-clean-cache
    (let* ((before (baseline-counts))
           (objects (xmlprobe:live-objects))
           (o (xml:unmarshal-xml (xml:deserialize-xml "<probe version='3' name='abc'><x/></probe>"))))
      (check (and o (not (xml:xml-document-struct-p o))))
      (check-equal '("abc" 3) (xmlprobe:object-of o))
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
