;;;; Documents to text and back, comparison, root tags and unmarshalling.

(defun contains (text part) (and (search part text) t))

(defun unicode-document-text ()
  "A document with non-ASCII and non-BMP text in a tag, an attribute and text."
  (format nil "<r~A a='~A'><c>~A</c><d/></r~:*~:*~:*~A>"
          (code-char #x1F600) (unicode-text) (unicode-text)))

(deftest round-trip-keeps-unicode-and-equality ()
  (with-clean-cache
    (let* ((d (xml:deserialize-xml (unicode-document-text)))
           (text (xml:serialize-xml d))
           (again (xml:deserialize-xml text)))
      (check (xml:xml-document-struct-p d))
      (check (stringp text))
      (check (contains text (unicode-text)))
      (check (contains text (format nil "<r~A" (code-char #x1F600))))
      ;; Not pretty-printed: no line break between the tags.
      (check (contains text "<c>"))
      (check (not (contains text (format nil ">~%<c"))))
      (check (xml:xml-document-struct-p again))
      (check (not (eq d again)))
      (check-equal t (xml:compare-xml d again))
      (check-equal text (xml:serialize-xml again))
      (check-equal (unicode-text)
                   (xml:element-get-text (xml:element-get-child (xml:document-get-root again) "c"))))))

(deftest compare-tells-documents-apart ()
  (with-clean-cache
    (let ((a (xml:deserialize-xml "<r x='1'><c>t</c></r>"))
          (same (xml:deserialize-xml "<r x='1'><c>t</c></r>"))
          (attribute (xml:deserialize-xml "<r x='2'><c>t</c></r>"))
          (text (xml:deserialize-xml "<r x='1'><c>u</c></r>"))
          (child (xml:deserialize-xml "<r x='1'><c>t</c><e/></r>")))
      (check-equal t (xml:compare-xml a a))
      (check-equal t (xml:compare-xml a same))
      (check-equal nil (xml:compare-xml a attribute))
      (check-equal nil (xml:compare-xml a text))
      (check-equal nil (xml:compare-xml a child))
      (check-equal nil (xml:compare-xml child a))
      ;; Order does not count, numbers of equal children do.
      (check-equal t (xml:compare-xml (xml:deserialize-xml "<r><a/><b y='1' x='2'>t</b></r>")
                                      (xml:deserialize-xml "<r><b x='2' y='1'>t</b><a/></r>")))
      (check-equal nil (xml:compare-xml (xml:deserialize-xml "<r><a/><a/><b/></r>")
                                        (xml:deserialize-xml "<r><a/><b/><b/></r>")))
      (check-equal nil (xml:compare-xml nil nil))
      ;; A document against nothing, and arguments that are no documents.
      (check-equal nil (xml:compare-xml a nil))
      (check-equal nil (xml:compare-xml nil a))
      (check-equal nil (xml:compare-xml a 42))
      (check-equal nil (xml:compare-xml a (xml:document-get-root a))))))

(deftest failures-give-nil-and-leave-nothing-behind ()
  (with-clean-cache
    (let ((before (baseline-counts)))
      (check-equal nil (xml:serialize-xml nil))
      (check-equal nil (xml:serialize-xml 42))
      (check-equal nil (xml:serialize-xml "<r/>"))
      (check-equal nil (xml:deserialize-xml nil))
      (check-equal nil (xml:deserialize-xml 42))
      (check-equal nil (xml:deserialize-xml ""))
      (check-equal nil (xml:deserialize-xml "<r><c></r>"))
      (check-equal nil (xml:deserialize-xml "<r/><s/>"))
      (check-equal nil (xml:get-root-tag nil))
      (check-equal nil (xml:get-root-tag 42))
      (check (same-counts-p before)))))

(deftest deserialized-document-lives-in-the-cache-only ()
  (xml:clear-xml-cache)
  (let ((before (baseline-counts)))
    (let ((d (xml:deserialize-xml "<r><c/></r>")))
      (check (xml:xml-document-struct-p d))
      (check-equal (1+ (first before)) (xmlprobe:live-documents))
      (check-equal (1+ (third before)) (xmlprobe:cache-entries))
      (full-gc)
      ;; Serializing takes no reference and makes no entry.
      (check (search "<r><c/></r>" (xml:serialize-xml d)))
      (check-equal (1+ (third before)) (xmlprobe:cache-entries))
      (xml:document-dispose d)
      ;; The cache held the only reference: the document is gone.
      (check-equal nil (xml:serialize-xml d)))
    (check (same-counts-p before))))

(defun entity-bomb ()
  "Ten levels of entities, each ten times the one before: 10^10 characters."
  (with-output-to-string (s)
    (format s "<!DOCTYPE r [<!ENTITY a 'aaaaaaaaaa'>")
    (loop for (name previous) on (coerce "abcdefghij" 'list)
          while previous
          do (format s "<!ENTITY ~C '~{&~C;~}'>" previous (make-list 10 :initial-element name)))
    (format s "]><r>&j;</r>")))

(deftest entity-bombs-and-external-entities-fail-cleanly ()
  (with-clean-cache
    (let ((before (baseline-counts)))
      (check-equal nil (xml:deserialize-xml (entity-bomb)))
      (with-xml-files (dir (secret "secret.txt" "SECRET"))
        (let* ((text (format nil "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://~A'>]><r>&x;</r>" secret))
               (d (xml:deserialize-xml text)))
          ;; Either refused or parsed without reading the file.
          (check (not (and d (contains (or (xml:serialize-xml d) "") "SECRET"))))
          (when d (xml:document-dispose d))))
      (check (same-counts-p before)))))

(deftest root-tag-of-files ()
  (let ((tag (format nil "m~A~A" (code-char #xE9) (code-char #x1F600))))
    (with-xml-files (dir (plain "plain.xml" "<model a='1'><c/></model>")
                         (unicode "unicode.xml" (format nil "<~A>x</~A>" tag tag))
                         (prefixed "prefixed.xml" "<q:model xmlns:q='urn:q'/>")
                         (prolog "prolog.xml" (format nil "<?xml version='1.0'?>~%<!-- c --><?pi x?>~%<top/>"))
                         (broken-after "broken.xml" "<head><unclosed></head>")
                         (empty "empty.xml" "")
                         (text "text.xml" "just text"))
      (check-equal "model" (xml:get-root-tag plain))
      (check-equal tag (xml:get-root-tag unicode))
      (check-equal "model" (xml:get-root-tag prefixed))
      (check-equal "top" (xml:get-root-tag prolog))
      ;; Only the first start tag is read: what follows it does not matter.
      (check-equal "head" (xml:get-root-tag broken-after))
      (check-equal nil (xml:get-root-tag empty))
      (check-equal nil (xml:get-root-tag text))
      (check-equal nil (xml:get-root-tag (concatenate 'string dir "missing.xml")))
      (check-equal nil (xml:get-root-tag dir)))))

(deftest argument-counts-are-checked ()
  (check-error program-error (xml:serialize-xml))
  (check-error program-error (xml:serialize-xml nil nil))
  (check-error program-error (xml:deserialize-xml))
  (check-error program-error (xml:compare-xml nil))
  (check-error program-error (xml:compare-xml nil nil nil))
  (check-error program-error (xml:unmarshal-xml))
  (check-error program-error (xml:get-root-tag "a" "b")))

;; The child's test module defines these; here they only need to be read.
(unless (find-package "UNMARSHALPROBE")
  (make-package "UNMARSHALPROBE" :use '()))
(export (mapcar (lambda (name) (intern name "UNMARSHALPROBE"))
                '("OBJECT-NAME" "OBJECT-VERSION" "FREE-OBJECT" "LIVE-OBJECTS" "LOAD-DOCUMENT"))
        "UNMARSHALPROBE")

;;; UNMARSHAL-XML builds objects through creators registered from C++: a child
;;; run loads a test module that registers one for the root tag "probe".

(defun run-with-probe (forms)
  "Runs forms in a child quill-lisp with the unmarshalling probe loaded; the
printed value of the last form, read back."
  (with-temp-directory (dir)
    (let ((script (concatenate 'string dir "script.lsp")))
      (with-open-file (s script :direction :output)
        (format s "(format t \"~~&RESULT ~~S~~%\" (progn ~{~S~%~}))" forms))
      (multiple-value-bind (code out err)
          (run-quill-lisp (list "--module" (ext:getenv "XMLPROBE_LIBRARY")
                                "--module" (ext:getenv "UNMARSHALPROBE_LIBRARY") script))
        (let ((at (search "RESULT " out)))
          (unless (and (eql code 0) at)
            (format t "~&child run failed (~A):~%~A~%~A~%" code out err))
          (and at (read-from-string out t nil :start (+ at 7))))))))

(deftest unmarshal-builds-objects-that-belong-to-the-caller ()
  (check-equal '(t "abc" 3 1 0 nil nil nil nil nil 0 0)
               (run-with-probe
                '((let* ((d (xml:deserialize-xml "<probe version='3' name='abc'><x/></probe>"))
                         (o (xml:unmarshal-xml d))
                         (results (list (and o (not (xml:xml-document-struct-p o)) t)
                                        (unmarshalprobe:object-name o)
                                        (unmarshalprobe:object-version o)
                                        (unmarshalprobe:live-objects))))
                    ;; Clearing the cache and collecting leave the object alone.
                    (xml:clear-xml-cache)
                    (dotimes (i 3) (si:gc t))
                    (unmarshalprobe:free-object o)
                    (append results
                            (list (unmarshalprobe:live-objects)
                                  ;; An object that cannot read its element is
                                  ;; not handed out (and is deleted).
                                  (xml:unmarshal-xml (xml:deserialize-xml "<probe fail='1'/>"))
                                  (xml:unmarshal-xml (xml:deserialize-xml "<other/>"))
                                  (xml:unmarshal-xml nil)
                                  (xml:unmarshal-xml 42)
                                  (xml:unmarshal-xml (xml:document-create))
                                  (unmarshalprobe:live-objects)
                                  (progn (xml:clear-xml-cache) (xmlprobe:live-documents)))))))))

(deftest unmarshal-without-creators-gives-nil ()
  (with-clean-cache
    (let ((before (baseline-counts)))
      (check-equal nil (xml:unmarshal-xml (xml:deserialize-xml "<probe name='x'/>")))
      (check-equal nil (xml:unmarshal-xml nil))
      (xml:clear-xml-cache)
      (check (same-counts-p before)))))
