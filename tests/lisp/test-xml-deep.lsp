;;;; Deep trees: documents 200 000 elements deep, made in every way the
;;;; module offers, go through every function without exhausting the usual
;;;; 8 MB C stack (the depth limit itself is the engine's tests' concern).
;;;; The deep work runs in a child quill-lisp, so that a regression that
;;;; overflows the stack fails the test instead of ending the run; the child
;;;; prints one line (:name result) per step, checked here.

(defparameter *levels* 200000)

(defparameter *child-helpers*
  '(progn
    (defun report (name value) (format t "~&~S~%" (list name value)) (finish-output))
    (defun chain-text (n) (format nil "~{~A~}x~{~A~}" (make-list n :initial-element "<a>") (make-list n :initial-element "</a>")))
    (defun top-down (n)
      "A document n deep built from the root down; the deepest element second."
      (let* ((doc (xml:document-create))
             (e (xml:document-set-root doc (xml:element-create doc "a"))))
        (dotimes (i (1- n)) (let ((c (xml:element-create doc "a"))) (xml:element-add-child e c) (setf e c)))
        (xml:element-set-text e "x")
        (values doc e)))
    (defun bottom-up (n)
      (let* ((doc (xml:document-create))
             (e (xml:element-create doc "a")))
        (xml:element-set-text e "x")
        (dotimes (i (1- n)) (let ((p (xml:element-create doc "a"))) (xml:element-add-child p e) (setf e p)))
        (xml:document-set-root doc e)
        doc))
    (defun depth-of (doc)
      (loop for e = (xml:document-get-root doc) then (xml:element-get-child e "a") while e count t))
    (defun nested-list (n wrap)
      (let ((list '("a" nil "x")))
        (dotimes (i n list) (setf list (funcall wrap list)))))))

(defun run-deep (dir &rest forms)
  "Runs forms in a child quill-lisp under an 8 MB stack (dir is its folder);
returns the exit code and the reported (name . result) lines."
  (multiple-value-bind (code out)
      (run-quill-lisp (list "--eval" (let ((*package* (find-package "CL-USER")))
                                       (prin1-to-string `(progn ,*child-helpers*
                                                                (let ((dir ,dir)) (declare (ignorable dir)) ,@forms)
                                                                (report :end t)))))
                      :environment '("/bin/sh" "-c" "ulimit -s 8192 && exec \"$0\" \"$@\""))
    (values code
            (with-input-from-string (s out)
              (loop for line = (read s nil :eof) until (eq line :eof)
                    when (consp line) collect (cons (first line) (second line)))))))

(defun check-reports (code reports expected)
  (check-equal 0 code)
  (loop for (name value) in expected
        do (check-equal (list name value) (list name (cdr (assoc name reports))))))

(deftest deep-documents-go-through-every-function ()
  (with-temp-directory (dir)
    (multiple-value-call #'check-reports
      (run-deep dir
        `(let* ((n ,*levels*)
                (pretty (concatenate 'string dir "pretty.xml"))
                (flat (concatenate 'string dir "flat.xml"))
                (sheet (concatenate 'string dir "copy.xsl")))
           (multiple-value-bind (api leaf) (top-down n)
             (let ((up (bottom-up n)))
               (report :built (list (depth-of api) (depth-of up)))
               (report :compare-built (xml:compare-xml api up))
               (report :written (list (xml:write-xml api pretty) (xml:write-xml up flat :pretty-print nil)))
               (let ((read (mapcar #'xml:read-xml (list pretty flat)))
                     (text (xml:serialize-xml up)))
                 (report :read (mapcar #'depth-of read))
                 (report :compare-read (mapcar (lambda (d) (xml:compare-xml api d)) read))
                 (report :serialized (and text (xml:compare-xml up (xml:deserialize-xml text))))
                 ;; The verdict looks at the deepest text too.
                 (xml:element-set-text leaf "y")
                 (report :compare-changed (list (xml:compare-xml api up) (xml:compare-xml (first read) up)))
                 (let ((starts 0) (ends 0) (texts '()))
                   (report :sax (list (xml:parse-xml pretty
                                                     :on-start-element (lambda (tag a) (declare (ignore tag a)) (incf starts))
                                                     :on-end-element (lambda (tag) (declare (ignore tag)) (incf ends))
                                                     :on-characters (lambda (s) (push s texts)))
                                      starts ends texts)))
                 (report :select (xml:element-get-text (xml:document-select-node (second read) "//a[not(a)]")))
                 (report :unmarshal (xml:unmarshal-xml (first read)))
                 ;; Transformations take up to 1000 levels and refuse more, cleanly.
                 (with-open-file (s sheet :direction :output)
                   (write-string "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template></xsl:stylesheet>" s))
                 (report :transform (list (xml:transform-xml (first read) sheet pretty)
                                          (xml:transform-xml (xml:deserialize-xml (chain-text 1000)) sheet pretty)))
                 ;; The element-list builder stops below 1024 levels under the root, by design.
                 (let ((listed (xml:xml-list-to-document (nested-list (1- n) (lambda (l) (list "a" nil (list l)))))))
                   (report :from-list (and listed (depth-of listed))))
                 (xml:document-dispose api)
                 (xml:clear-xml-cache)
                 (report :disposed t))))))
      '((:built (200000 200000)) (:compare-built t) (:written (t t)) (:read (200000 200000))
        (:compare-read (t t)) (:serialized t) (:compare-changed (nil t)) (:sax (t 200000 200000 ("x")))
        (:select "x") (:unmarshal nil) (:transform (nil t)) (:from-list 1025)
        (:disposed t) (:end t)))))

(deftest deep-tree-lists ()
  ;; Lists to a document, back to lists in both forms, and a file read
  ;; straight into lists, with text beside every level. Only walks here: the
  ;; host's EQUAL itself recurses on such lists.
  (with-temp-directory (dir)
    (multiple-value-call #'check-reports
      (run-deep dir
        `(let ((list '("leaf" nil "end"))
               (file (concatenate 'string dir "lists.xml")))
           (dotimes (i ,*levels*) (setf list (list "n" (list (cons "i" "1")) (list "t" list))))
           (flet ((leaf (e) (loop for x = e then (first (third x)) while (consp (third x)) finally (return x))))
             (let ((d (xml:list-to-document list)))
               (report :mixed (loop for e = (xml:document-to-list d :mixed t) then (second (third e))
                                    while (equal (first e) "n") count t))
               (report :plain (leaf (xml:element-to-list (xml:document-get-root d))))
               (report :read (and (xml:write-xml d file :pretty-print nil) (leaf (xml:read-xml-list file))))))))
      '((:mixed 200000) (:plain ("leaf" nil "end")) (:read ("leaf" nil "end")) (:end t)))))
