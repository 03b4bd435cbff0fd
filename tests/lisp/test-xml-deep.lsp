;;;; Deep trees: documents 200 000 elements deep, made in every way the
;;;; module offers, go through every function without exhausting the stack;
;;;; a tree deeper than the reader accepts is neither read nor written.
;;;;
;;;; The deep work runs in a child quill-lisp: a regression that overflows
;;;; the stack then fails these tests instead of ending the run. The child
;;;; prints one line (:name result) per step; the checks are made here.

(defparameter *levels* 200000)
;; One level more than the reader accepts.
(defparameter *too-deep* 250001)

(defparameter *child-helpers*
  '(progn
    (defun report (name value) (format t "~&~S~%" (list name value)) (finish-output))
    (defun chain-text (tag n)
      "n elements nested in one another; the innermost holds the text x."
      (with-output-to-string (s)
        (dotimes (i n) (format s "<~A>" tag))
        (write-string "x" s)
        (dotimes (i n) (format s "</~A>" tag))))
    (defun write-text (path text)
      (with-open-file (s path :direction :output :if-exists :supersede) (write-string text s))
      path)
    (defun file-text (path)
      (with-open-file (s path)
        (let ((text (make-string (file-length s))))
          (subseq text 0 (read-sequence text s)))))
    (defun top-down (n)
      "A document n deep built from the root down; the deepest element second."
      (let* ((doc (xml:document-create))
             (e (xml:document-set-root doc (xml:element-create doc "a"))))
        (dotimes (i (1- n)) (let ((c (xml:element-create doc "a"))) (xml:element-add-child e c) (setf e c)))
        (xml:element-set-text e "x")
        (values doc e)))
    (defun bottom-up (n)
      "The same document built from the deepest element up."
      (let* ((doc (xml:document-create))
             (e (xml:element-create doc "a")))
        (xml:element-set-text e "x")
        (dotimes (i (1- n)) (let ((p (xml:element-create doc "a"))) (xml:element-add-child p e) (setf e p)))
        (xml:document-set-root doc e)
        doc))
    (defun depth-of (doc)
      (loop for e = (xml:document-get-root doc) then (xml:element-get-child e "a")
            while e count t))
    (defun nested-list (n)
      (let ((list '("a" nil "x")))
        (dotimes (i (1- n) list) (setf list (list "a" nil (list list))))))))

(defun run-deep (dir &rest forms)
  "Runs forms in a child quill-lisp (dir is its temporary folder); returns
the exit code and the reported (name result) lines as an alist."
  (multiple-value-bind (code out)
      (run-quill-lisp (list "--eval" (let ((*package* (find-package "CL-USER")))
                                       (prin1-to-string `(progn ,*child-helpers*
                                                                (let ((dir ,dir)) (declare (ignorable dir)) ,@forms)
                                                                (report :end t))))))
    (values code
            (with-input-from-string (s out)
              (loop for line = (read s nil :eof) until (eq line :eof)
                    when (consp line) collect (cons (first line) (second line)))))))

(defmacro check-reports (reports &rest expected)
  "Each (name value) of expected was reported with that value."
  `(progn ,@(loop for (name value) in expected
                  collect `(check-equal '(,name ,value)
                                        (list ',name (cdr (assoc ',name ,reports)))))))

(deftest deep-documents-go-through-every-function ()
  (with-temp-directory (dir)
    (multiple-value-bind (code reports)
        (run-deep dir
          `(let* ((n ,*levels*)
                  (pretty (concatenate 'string dir "pretty.xml"))
                  (flat (concatenate 'string dir "flat.xml"))
                  (utf16 (concatenate 'string dir "utf16.xml"))
                  (given (write-text (concatenate 'string dir "given.xml") (chain-text "a" n))))
             (multiple-value-bind (api leaf) (top-down n)
               (let ((up (bottom-up n)))
                 (report :built (list (depth-of api) (depth-of up)))
                 (report :compare-built (xml:compare-xml api up))
                 (report :written (list (xml:write-xml api pretty) (xml:write-xml up flat :pretty-print nil)
                                        (xml:write-xml api utf16 :encoding :utf-16)))
                 (let ((read (mapcar #'xml:read-xml (list pretty flat utf16 given)))
                       (text (xml:serialize-xml up)))
                   (report :read (mapcar #'depth-of read))
                   (report :compare-read (mapcar (lambda (d) (xml:compare-xml api d)) read))
                   (report :serialized (and text (xml:compare-xml up (xml:deserialize-xml text))))
                   ;; The verdict looks at the deepest text too.
                   (xml:element-set-text leaf "y")
                   (report :compare-changed (list (xml:compare-xml api up) (xml:compare-xml (first read) up)))
                   (let ((starts 0) (ends 0) (texts '()))
                     (report :sax (list (xml:parse-xml pretty
                                                       :on-start-element (lambda (tag attributes)
                                                                           (declare (ignore tag attributes))
                                                                           (incf starts))
                                                       :on-end-element (lambda (tag) (declare (ignore tag)) (incf ends))
                                                       :on-characters (lambda (s) (push s texts)))
                                        starts ends texts)))
                   (report :select (xml:element-get-text
                                    (xml:document-select-node (second read) "//a[not(a)]")))
                   (report :unmarshal (xml:unmarshal-xml (first read)))
                   ;; Transformations take up to 1000 levels and refuse more, cleanly.
                   (let ((sheet (write-text (concatenate 'string dir "copy.xsl")
                                            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template></xsl:stylesheet>")))
                     (report :transform (list (xml:transform-xml (first read) sheet (concatenate 'string dir "out.xml"))
                                              (xml:transform-xml (xml:deserialize-xml (chain-text "a" 1000)) sheet
                                                                 (concatenate 'string dir "out.xml")))))
                   (let ((listed (xml:xml-list-to-document (nested-list n))))
                     ;; The list builder stops below 1024 levels under the root, by design.
                     (report :from-list (and listed (depth-of listed))))
                   (xml:document-dispose api)
                   (xml:clear-xml-cache)
                   (report :disposed t))))))
      (check-equal 0 code)
      (check-reports reports
        (:built (200000 200000))
        (:compare-built t)
        (:written (t t t))
        (:read (200000 200000 200000 200000))
        (:compare-read (t t t t))
        (:serialized t)
        (:compare-changed (nil t))
        (:sax (t 200000 200000 ("x")))
        (:select "x")
        (:unmarshal nil)
        (:transform (nil t))
        (:from-list 1025)
        (:disposed t)
        (:end t)))))

(deftest deeper-than-the-reader-accepts-is-neither-read-nor-written ()
  (with-temp-directory (dir)
    (multiple-value-bind (code reports)
        (run-deep dir
          `(let* ((n ,*too-deep*)
                  (old (write-text (concatenate 'string dir "old.xml") "<old/>"))
                  (deep (write-text (concatenate 'string dir "deep.xml") (chain-text "a" n)))
                  (doc (top-down n)))
             (report :read (list (xml:read-xml deep) (xml:deserialize-xml (chain-text "a" n))))
             (report :sax (let ((errors 0))
                            (list (xml:parse-xml deep :on-error (lambda (line column message)
                                                                  (declare (ignore line column message))
                                                                  (incf errors)))
                                  errors)))
             (report :write (list (xml:write-xml doc old) (xml:write-xml doc old :pretty-print nil)
                                  (xml:serialize-xml doc)))
             (report :old (file-text old))
             ;; One level less reads back.
             (report :limit (let ((doc (xml:read-xml (write-text deep (chain-text "a" (1- n))))))
                              (and doc (depth-of doc))))))
      (check-equal 0 code)
      (check-reports reports
        (:read (nil nil))
        (:sax (nil 1))
        (:write (nil nil nil))
        (:old "<old/>")
        (:limit 250000)
        (:end t)))))
