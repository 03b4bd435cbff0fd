;;;; PARSE-XML: events in document order, what each callback receives, how
;;;; a callback's result steers the parse, and Lisp exits out of callbacks:
;;;; the parse is abandoned, every C++ object of the call is released, and
;;;; the exit reaches its Lisp target with all its values.

(defparameter *orders*
  (format nil "<?xml version='1.0'?>~%<orders n='2' xmlns:p='urn:p' p:by='me'>~%  <order id='1'>  tea &amp; ~C for two  </order>~%  <order id='2'/>~%  <note>~A<![CDATA[<c>]]></note>~%</orders>~%"
          #\Tab (unicode-text)))

(defun parse-log (file &optional (result t))
  "(parse result, events) with every callback recording and returning result."
  (let ((log '()))
    (flet ((note (&rest event) (push event log) result))
      (list (xml:parse-xml file
                           :on-start-document (lambda () (note :start-document))
                           :on-end-document (lambda () (note :end-document))
                           :on-start-element (lambda (tag attributes) (note :start tag attributes))
                           :on-end-element (lambda (tag) (note :end tag))
                           :on-characters (lambda (text) (note :text text))
                           :on-error (lambda (line column message) (note :error line column message)))
            (reverse log)))))

(deftest events-in-document-order ()
  (with-xml-files (dir (f "orders.xml" *orders*))
    ;; Local names, attributes in file order without namespace declarations,
    ;; text trimmed and in one piece, white space alone not reported.
    (check-equal `(t ((:start-document)
                      (:start "orders" (("n" . "2") ("by" . "me")))
                      (:start "order" (("id" . "1")))
                      (:text ,(format nil "tea & ~C for two" #\Tab))
                      (:end "order")
                      (:start "order" (("id" . "2")))
                      (:end "order")
                      (:start "note" nil)
                      (:text ,(unicode-text))
                      (:text "<c>")
                      (:end "note")
                      (:end "orders")
                      (:end-document)))
                 (parse-log f))
    (check-equal t (xml:parse-xml f))))

;; The reference in the attribute makes the parser allocate the value for
;; the start-tag callback and free it afterwards: an exit that skipped the
;; parser's own frames would leak it, which the sanitizer build reports.
(defparameter *doc* "<r a='1&amp;2'><c>text</c><c/></r>")

(defun parse-with (file key action)
  "Parses file with a callback for key that calls action."
  (xml:parse-xml file key (lambda (&rest args) (declare (ignore args)) (funcall action))))

(deftest results-and-errors-steer-the-parse ()
  (with-xml-files (dir (f "orders.xml" *orders*) (bad "bad.xml" (format nil "<r>~%  <a>text</b></r>")))
    ;; Every callback can stop it with nil, and nothing after that is
    ;; delivered; any value but nil goes on.
    (check-equal '(nil ((:start-document))) (parse-log f nil))
    (dolist (key '(:on-end-document :on-start-element :on-end-element :on-characters))
      (let ((calls 0))
        (check-equal (list key nil 1) (list key (parse-with f key (lambda () (incf calls) nil)) calls))))
    (check-equal t (xml:parse-xml f :on-characters #'length))
    (destructuring-bind (result events) (parse-log bad)
      (check-equal '(nil ((2 14 t)))
                   (list result (loop for (kind line column message) in events
                                      when (eq kind :error) collect (list line column (contains message "mismatch")))))))
  ;; A file that cannot be opened, or a name that is no string: nothing called.
  (check-equal (make-list 4 :initial-element '(nil nil))
               (mapcar #'parse-log (list "/nonexistent/quill.xml" nil 42 (list "a.xml")))))

(deftest handlers-keep-their-functions-from-the-collector ()
  ;; Objects that only the handlers refer to survive collections while the
  ;; handlers live, and are garbage once they are gone.
  (xmltest:reset-collected)
  (let ((roots (xmltest:root-count)))
    (check-equal 100 (xmlprobe:hold-in-handlers 100 #'xmltest:watched))
    (full-gc)
    (check-equal 0 (xmltest:collected))
    (xmlprobe:release-handlers)
    (check-equal roots (xmltest:root-count))
    (full-gc)
    (check (>= (xmltest:collected) 300)))
  ;; And a parse that collects in its callbacks goes on.
  (with-xml-files (dir (f "orders.xml" *orders*))
    (let ((count 0))
      (check-equal '(t 4) (list (xml:parse-xml f :on-start-element (lambda (tag a) (declare (ignore tag a)) (full-gc) (incf count))
                                                 :on-end-element (lambda (tag) (full-gc) (stringp tag)))
                                count)))))

(deftest every-kind-of-exit-out-of-every-callback ()
  (with-xml-files (dir (good "good.xml" *doc*) (bad "bad.xml" "<r><c>text</d></r>"))
    (dolist (key '(:on-start-document :on-start-element :on-characters :on-end-element :on-end-document :on-error))
      (let ((file (if (eq key :on-error) bad good)))
        (loop for (expected . run) in (exits (lambda (action) (parse-with file key action)))
              do (with-no-leftovers (check-equal (list key expected) (list key (funcall run)))))))
    ;; Unhandled: quill-lisp reports the error and exits 1.
    (multiple-value-bind (code out err)
        (run-quill-lisp (list "--eval" (format nil "(xml:parse-xml ~S :on-characters (lambda (s) (error \"no handler for ~~A\" s)))" good)
                              "--eval" "(print :not-reached)"))
      (check-equal '(1 t nil) (list code (contains err "no handler for text") (contains out "NOT-REACHED"))))))

(deftest exits-run-cleanups-and-cross-nested-parses ()
  (with-xml-files (dir (good "good.xml" *doc*))
    (let ((log '()))
      (with-no-leftovers
        (catch 'out
          (unwind-protect
               (xml:parse-xml good :on-start-element (lambda (tag a) (declare (ignore a))
                                                       (push tag log)
                                                       (unwind-protect (when (equal tag "c") (throw 'out nil))
                                                         (push :inner log))
                                                       t)
                                   :on-end-document (lambda () (push :end-document log) t))
            (push :outer log))))
      (check-equal '("r" :inner "c" :inner :outer) (reverse log)))
    (with-no-leftovers
      (check-equal '(:inner "c")
                   (catch 'out (parse-with good :on-start-element
                                           (lambda () (xml:parse-xml good :on-end-element
                                                                     (lambda (tag) (throw 'out (list :inner tag)))))))))
    ;; Out of the inner parse only: the outer one carries on.
    (with-no-leftovers
      (let ((seen '()))
        (check-equal t (parse-with good :on-start-element
                                   (lambda () (push (catch 'inner (parse-with good :on-characters (lambda () (throw 'inner :x))))
                                                    seen))))
        (check-equal '(:x :x :x) seen)))))
