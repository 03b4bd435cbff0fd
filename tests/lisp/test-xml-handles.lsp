;;;; Handles and the handle cache: counts, kinds, stale handles, memory that
;;;; comes back; argument counts and keywords of all functions; calls from
;;;; threads other than the host's.

(deftest handles-count-and-are-given-back ()
  (xml:clear-xml-cache)
  (let* ((before (baseline-counts))
         (d (xml:xml-list-to-document '("r" (("a" . "1")) (("c" nil "t") ("c" nil nil)))))
         (r1 (xml:document-get-root d))
         (a (xml:document-select-node d "/r/@a")))
    ;; One entry per hand-out (document, two roots, two children, attribute);
    ;; none for nothing found or a non-element node.
    (check (and (not (eq r1 (xml:document-get-root d))) (= 2 (length (xml:element-get-children r1)))))
    (check-equal '(nil nil 6) (list (xml:document-select-node d "/r/c/text()") (xml:element-get-child r1 "none")
                                    (xmlprobe:cache-entries)))
    ;; Kinds do not mix, and nothing but a handle is one.
    (check-equal (make-list 6) (mapcar #'xml:element-get-tag (list d a 42 "r" (xml::make-xml-element-struct) nil)))
    (check-equal '(t nil nil nil) (mapcar #'xml:document-dispose (list d d nil 7)))
    (check-equal (first before) (xmlprobe:live-documents))
    (check-equal '(t t t) (list (xml:clear-xml-cache) (same-counts-p before) (xml:clear-xml-cache)))))

(deftest argument-counts-and-keywords ()
  ;; A program error whose message names the function, for counts and keys.
  (dolist (call '((xml:document-create 1) (xml:document-dispose) (xml:document-set-root nil)
                  (xml:element-get-attributes nil nil) (xml:element-set-attribute nil nil)
                  (xml:xml-list-add-child nil) (xml:clear-xml-cache nil) (xml:read-xml) (xml:transform-xml nil nil)
                  (xml:write-xml nil) (xml:xml-list-create-element) (xml:parse-xml) (xml:serialize-xml)
                  (xml:serialize-xml nil nil) (xml:deserialize-xml) (xml:compare-xml nil) (xml:compare-xml nil nil nil)
                  (xml:unmarshal-xml) (xml:get-root-tag "a" "b") (xml:load-xml) (xml:register-xml-loader)
                  (xml:list-to-document) (xml:list-to-document ("r" nil nil) :mixed t)
                  (xml:write-xml nil "f" :indent t) (xml:write-xml nil "f" :encoding)
                  (xml:xml-list-create-element "a" :tag "b") (xml:parse-xml "f" :on-start t)
                  (xml:load-xml "f" :sauce :database) (xml:load-xml "f" :source)
                  (xml:register-xml-loader "l-x" :handler identity) (xml:register-xml-loader "l-x" :file-handler)
                  (xml:document-to-list nil :deep t) (xml:read-xml-list "f" :mixed)))
    (let ((c (handler-case (progn (apply (first call) (rest call)) nil) (program-error (c) c))))
      (check-equal call (and c (search (symbol-name (first call)) (princ-to-string c)) call)))))

;;; Stale handles: once the object behind a handle has been given back, every
;;; function answers nil for it without touching the object (the sanitizer
;;; build reports any access to freed memory).

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

;;; Memory that comes back: a disposed document takes the entries of its
;;; nodes with it, without CLEAR-XML-CACHE; handles cost what they should.

(defun read-walk-dispose (file)
  "Reads the file, takes handles of everything, then gives the document back."
  (let* ((d (xml:read-xml file)) (r (xml:document-get-root d)))
    (dolist (e (xml:element-get-children r)) (xml:element-get-tag e) (xml:element-get-parent e))
    (check (and (xml:document-select-node d "/r/e[7]/@id") (xml:document-dispose d)))))

(deftest disposed-documents-free-their-trees-and-handles-are-small ()
  (with-clean-cache
    (with-xml-files (dir (f "wide.xml" (format nil "<r>~{<e id='~D'>text ~:*~D</e>~}</r>" (loop for i below 4000 collect i))))
      (let ((before (baseline-counts)))
        (read-walk-dispose f)
        (let ((first-cycle (xmlprobe:heap-bytes)))
          (dotimes (i 4) (read-walk-dispose f))
          (check (same-counts-p before))
          ;; Each cycle allocates well over a megabyte; none of it stays.
          (check (< (- (xmlprobe:heap-bytes) first-cycle) 100000)))))
    ;; Handle, cache entry and wrapper together, for a node already read.
    (let* ((n 20000) (v (make-array n))
           (d (xml:xml-list-to-document '("r" nil (("e" nil nil)))))
           (e (xml:element-get-child (xml:document-get-root d) "e"))
           (before (xmlprobe:heap-bytes)))
      (dotimes (i n) (setf (svref v i) (xml:element-get-parent e)))
      (check (< (/ (- (xmlprobe:heap-bytes) before) n) 180)))))

;;; Calls from Lisp threads other than the host's are refused with a clear
;;; error before they touch the value stack or any cache; Lisp of its own in
;;; such a thread goes on.

(defun run-in-threads (count thunk)
  "Runs thunk in count Lisp threads at once; their results, an error the
thunk signalled standing for its result."
  (mapcar #'mp:process-join
          (loop repeat count
                collect (mp:process-run-function "xml-caller" (lambda () (handler-case (funcall thunk) (error (c) c)))))))

(deftest calls-from-other-threads-are-refused ()
  (check (member :threads *features*))
  (with-clean-cache
    (with-xml-files (dir (file "a.xml" "<r a='1'><c>t</c></r>"))
      (let* ((d (xml:read-xml file))
             (root (xml:document-get-root d))
             (before (baseline-counts)))
        ;; Every kind of call, from two threads at a time, many times over;
        ;; the message names the function refused.
        (loop for (name . call) in (list (cons "READ-XML" (lambda () (xml:read-xml file)))
                                         (cons "ELEMENT-GET-TAG" (lambda () (xml:element-get-tag root)))
                                         (cons "DOCUMENT-DISPOSE" (lambda () (xml:document-dispose d)))
                                         (cons "CLEAR-XML-CACHE" (lambda () (xml:clear-xml-cache)))
                                         (cons "DOCUMENT-GET-ROOT" (lambda () (xml:document-get-root 42 43 44)))
                                         (cons "STACK-BASE" (lambda () (xmltest:stack-base))))
              do (dolist (result (run-in-threads 2 (lambda () (loop repeat 50 do (funcall call)))))
                   (check-equal (list name t t)
                                (list name (and (typep result 'error) t)
                                      (let ((text (princ-to-string result)))
                                        (and (search "only be called from the host's main thread" text) (search name text) t))))))
        (check-equal '((:refused 6) (:refused 6))
                     (run-in-threads 2 (lambda () (list (handler-case (xml:clear-xml-cache) (error () :refused)) (+ 1 2 3)))))
        ;; Nothing the host's thread holds was touched.
        (check (same-counts-p before))
        (check-equal '("r" "1" t "3" t)
                     (list (xml:element-get-tag root) (xml:element-get-attribute root "a")
                           (xml:element-set-attribute root "a" "3")
                           (xml:element-get-attribute (xml:document-get-root d) "a") (xml:document-dispose d)))))))
