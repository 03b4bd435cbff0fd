;;;; Memory that comes back: a disposed document takes the entries of its
;;;; nodes with it, without CLEAR-XML-CACHE; handles cost what they should.

(defun wide-document (elements)
  (format nil "<r>~{<e id='~D'>text ~:*~D</e>~}</r>" (loop for i below elements collect i)))

(defun read-walk-dispose (file)
  "Reads the file, takes handles of everything, then gives the document back."
  (let* ((d (xml:read-xml file)) (r (xml:document-get-root d)))
    (dolist (e (xml:element-get-children r)) (xml:element-get-tag e) (xml:element-get-parent e))
    (check (and (xml:document-select-node d "/r/e[7]/@id") (xml:document-dispose d)))))

(deftest disposed-documents-free-their-trees ()
  (with-clean-cache
    (with-xml-files (dir (f "wide.xml" (wide-document 4000)))
      (let ((before (baseline-counts)))
        (read-walk-dispose f)
        (check (same-counts-p before))
        (let ((first-cycle (xmlprobe:heap-bytes)))
          (dotimes (i 4) (read-walk-dispose f))
          (check (same-counts-p before))
          ;; Each cycle allocates well over a megabyte; none of it stays.
          (check (< (- (xmlprobe:heap-bytes) first-cycle) 100000)))))))

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
