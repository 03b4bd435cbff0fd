;;;; Stale handles: once the object behind a handle has been given back, every
;;;; function answers nil for it without touching the object (the sanitizer
;;;; build reports any access to freed memory).

(defparameter *doc* "<r a='1'><c b='2'>text</c><d/></r>")

(defun sample (file)
  "(document root child attribute) handles of a fresh document."
  (let* ((d (xml:read-xml file)) (r (xml:document-get-root d)))
    (list d r (xml:element-get-child r "c") (xml:document-select-node d "/r/c/@b"))))

(defun check-all-nil (handles dir)
  "Every function given these handles, in every handle position (with live
handles elsewhere), answers nil and hands nothing out."
  (destructuring-bind (d r e a) handles
    (let* ((live-doc (xml:document-create))
           (live (xml:element-create live-doc "live"))
           (out (concatenate 'string dir "out.xml"))
           (entries (xmlprobe:cache-entries)))
      (loop for (name . thunk)
              in (list (cons 'get-root (lambda () (xml:document-get-root d)))
                       (cons 'set-root/document (lambda () (xml:document-set-root d live)))
                       (cons 'set-root/element (lambda () (xml:document-set-root live-doc e)))
                       (cons 'select-node (lambda () (xml:document-select-node d "/r/c")))
                       (cons 'attribute-get-value (lambda () (xml:attribute-get-value a)))
                       (cons 'attribute-set-value (lambda () (xml:attribute-set-value a "v")))
                       (cons 'element-create (lambda () (xml:element-create d "x")))
                       (cons 'get-tag (lambda () (xml:element-get-tag e)))
                       (cons 'get-child (lambda () (xml:element-get-child r "c")))
                       (cons 'get-children (lambda () (xml:element-get-children r)))
                       (cons 'get-named-children (lambda () (xml:element-get-named-children r "c")))
                       (cons 'add-child/parent (lambda () (xml:element-add-child e live)))
                       (cons 'add-child/child (lambda () (xml:element-add-child live e)))
                       (cons 'get-text (lambda () (xml:element-get-text e)))
                       (cons 'set-text (lambda () (xml:element-set-text e "t")))
                       (cons 'get-attributes (lambda () (xml:element-get-attributes e)))
                       (cons 'get-attribute (lambda () (xml:element-get-attribute e "b")))
                       (cons 'set-attribute (lambda () (xml:element-set-attribute e "b" "3")))
                       (cons 'get-parent (lambda () (xml:element-get-parent e)))
                       (cons 'get-document (lambda () (xml:element-get-document e)))
                       (cons 'write-xml (lambda () (xml:write-xml d out)))
                       (cons 'transform-xml (lambda () (xml:transform-xml d out out)))
                       (cons 'dispose (lambda () (xml:document-dispose d))))
            do (check-equal (list name nil) (list name (funcall thunk))))
      (check-equal entries (xmlprobe:cache-entries))
      (check-equal "live" (xml:element-get-tag live))
      (check-equal nil (probe-file out)))))

(deftest freed-documents-leave-stale-handles ()
  (with-clean-cache
    (with-xml-files (dir (f "a.xml" *doc*))
      ;; Through DOCUMENT-DISPOSE.
      (let ((handles (sample f)) (documents (xmlprobe:live-documents)))
        (check (xml:document-dispose (first handles)))
        (check-equal (1- documents) (xmlprobe:live-documents))
        (check-all-nil handles dir))
      ;; Through CLEAR-XML-CACHE, which frees the element wrappers too.
      (let ((handles (sample f)))
        (xml:clear-xml-cache)
        (check-equal '(0 0) (list (xmlprobe:live-documents) (xmlprobe:live-nodes)))
        (check-all-nil handles dir))
      ;; A document held twice stays usable until both entries are back.
      (let* ((handles (sample f))
             (again (xml:element-get-document (third handles))))
        (check (xml:document-dispose (first handles)))
        (check-equal '("c" "2") (list (xml:element-get-tag (third handles))
                                      (xml:attribute-get-value (fourth handles))))
        (check (xml:document-dispose again))
        (check-all-nil handles dir)))))

(deftest only-the-stamp-a-handle-was-made-with-opens-it ()
  ;; A handle left from an object freed at the same address carries an older
  ;; stamp: simulated by restamping live handles.
  (with-clean-cache
    (with-xml-files (dir (f "a.xml" *doc*))
      (let* ((handles (sample f))
             (types '(xml:xml-document-struct xml:xml-element-struct
                      xml:xml-element-struct xml:xml-attribute-struct)))
        (dolist (delta (list -1 1 (- (xmlprobe:stamp (first handles)))))
          (check-all-nil (mapcar (lambda (type h) (xmlprobe:restamp type h (+ (xmlprobe:stamp h) delta)))
                                 types handles)
                         dir))
        (check-equal '("c" "2") (list (xml:element-get-tag (third handles))
                                      (xml:attribute-get-value (fourth handles))))
        ;; New documents, at whatever address, do not revive old handles.
        (xml:document-dispose (first handles))
        (dotimes (i 20) (xml:read-xml f))
        (check-all-nil handles dir)))))
