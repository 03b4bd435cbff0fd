;;;; PARSE-XML: events in document order, what each callback receives, and
;;;; how a callback's result steers the parse.

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

(deftest a-nil-result-stops-the-parse ()
  (with-xml-files (dir (f "orders.xml" *orders*))
    (check-equal '(nil ((:start-document))) (parse-log f nil))
    ;; Every callback can stop it, and nothing after that is delivered.
    (dolist (key '(:on-end-document :on-start-element :on-end-element :on-characters))
      (let ((calls 0))
        (check-equal (list key nil 1)
                     (list key (xml:parse-xml f key (lambda (&rest args) (declare (ignore args))
                                                      (incf calls) nil))
                           calls))))
    ;; Any value but nil goes on.
    (check-equal t (xml:parse-xml f :on-characters #'length))))

(deftest failures-and-errors ()
  (with-xml-files (dir (bad "bad.xml" (format nil "<r>~%  <a>text</b></r>")))
    (destructuring-bind (result events) (parse-log bad)
      (check-equal nil result)
      (let ((errors (remove :error events :key #'first :test-not #'eq)))
        (check-equal '((2 14 t)) (loop for (nil line column message) in errors
                                      collect (list line column (contains message "mismatch")))))))
  ;; A file that cannot be opened, or a name that is no string: nothing called.
  (check-equal '((nil nil) (nil nil) (nil nil) (nil nil))
               (mapcar #'parse-log (list "/nonexistent/quill.xml" nil 42 (list "a.xml")))))

(deftest handlers-keep-their-functions-from-the-collector ()
  ;; Objects that only the handlers refer to survive collections while the
  ;; handlers live, and are garbage once they are gone.
  (xmlprobe:collected)
  (let ((roots (xmltest:root-count)))
    (check-equal 100 (xmlprobe:hold-in-handlers 100))
    (full-gc)
    (check-equal 0 (xmlprobe:collected))
    (xmlprobe:release-handlers)
    (check-equal roots (xmltest:root-count))
    (full-gc)
    (check (>= (xmlprobe:collected) 300)))
  ;; And a parse that collects in its callbacks goes on.
  (with-xml-files (dir (f "orders.xml" *orders*))
    (let ((count 0))
      (check-equal t (xml:parse-xml f :on-start-element (lambda (tag a) (declare (ignore tag a))
                                                          (full-gc) (incf count))
                                      :on-end-element (lambda (tag) (full-gc) (stringp tag))))
      (check-equal 4 count))))
