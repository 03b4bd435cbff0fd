;;;; Memory that comes back: a disposed document takes the entries of its
;;;; elements and attributes with it, so its tree is freed without
;;;; CLEAR-XML-CACHE, and handles cost what they should.

(defun wide-document (elements)
  "A document with that many children of the root, each with an attribute and text."
  (with-output-to-string (s)
    (write-string "<r>" s)
    (dotimes (i elements) (format s "<e id='~D'>text ~D</e>" i i))
    (write-string "</r>" s)))

(defun read-walk-dispose (file)
  "Reads the file, takes handles of everything, then gives the document back."
  (let* ((d (xml:read-xml file)) (r (xml:document-get-root d)))
    (dolist (e (xml:element-get-children r))
      (xml:element-get-tag e)
      (xml:element-get-parent e))
    (check (xml:document-select-node d "/r/e[7]/@id"))
    (check (xml:document-dispose d))
    r))

(deftest disposed-documents-free-their-trees ()
  (with-clean-cache
    (with-xml-files (dir (f "wide.xml" (wide-document 4000)))
      (let ((before (baseline-counts)))
        (read-walk-dispose f)
        ;; The wrappers of the handles went with the document.
        (check (same-counts-p before))
        (let ((first-cycle (xmlprobe:heap-bytes)))
          (dotimes (i 4) (read-walk-dispose f))
          (check (same-counts-p before))
          ;; Each cycle allocates well over a megabyte; none of it stays.
          (check (< (- (xmlprobe:heap-bytes) first-cycle) 100000)))))))

(deftest a-moved-element-outlives-the-document-it-came-from ()
  (with-clean-cache
    (let* ((a (xml:xml-list-to-document '("a" nil (("moved" nil "kept")))))
           (b (xml:xml-list-to-document '("b" nil nil)))
           (moved (xml:element-get-child (xml:document-get-root a) "moved"))
           (b-root (xml:document-get-root b)))
      (check (xml:element-add-child b-root moved))
      (check (xml:document-dispose a))
      ;; The handle came from a: stale. The node lives on in b.
      (check-equal nil (xml:element-get-tag moved))
      (check-equal "kept" (xml:element-get-text (xml:element-get-child b-root "moved")))
      (check-equal "<b><moved>kept</moved></b>" (string-right-trim (list #\Newline) (xml:serialize-xml b))))))

(deftest element-handles-are-small ()
  ;; Handle, cache entry and wrapper together, for a node already read.
  (with-clean-cache
    (let* ((n 20000) (v (make-array n))
           (d (xml:xml-list-to-document '("r" nil (("e" nil nil)))))
           (e (xml:element-get-child (xml:document-get-root d) "e"))
           (before (xmlprobe:heap-bytes)))
      (dotimes (i n) (setf (svref v i) (xml:element-get-parent e)))
      (check (< (/ (- (xmlprobe:heap-bytes) before) n) 180))
      (check (xml:document-dispose d)))))
