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
      (macrolet ((calls (&rest forms) `(list ,@(loop for f in forms collect `(cons ',f (lambda () ,f))))))
        (loop for (form . thunk)
                in (calls (xml:document-get-root d) (xml:document-set-root d live)
                          (xml:document-set-root live-doc e) (xml:document-select-node d "/r/c")
                          (xml:attribute-get-value a) (xml:attribute-set-value a "v")
                          (xml:element-create d "x") (xml:element-get-tag e)
                          (xml:element-get-child r "c") (xml:element-get-children r)
                          (xml:element-get-named-children r "c") (xml:element-add-child e live)
                          (xml:element-add-child live e) (xml:element-get-text e)
                          (xml:element-set-text e "t") (xml:element-get-attributes e)
                          (xml:element-get-attribute e "b") (xml:element-set-attribute e "b" "3")
                          (xml:element-get-parent e) (xml:element-get-document e)
                          (xml:write-xml d out) (xml:transform-xml d out out)
                          (xml:document-dispose d))
              do (check-equal (list form nil) (list form (funcall thunk)))))
      (check-equal (list entries "live" nil) (list (xmlprobe:cache-entries) (xml:element-get-tag live) (probe-file out))))))

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
