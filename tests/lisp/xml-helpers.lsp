;;;; Helpers of the XML tests (test-xml-*.lsp), loaded after the harness.

(in-package "QUILL-TEST")

(export '(write-text read-bytes with-xml-files unicode-text baseline-counts
          same-counts-p with-clean-cache entity-bomb external-entity element-list-of))

(defun write-text (path text)
  "Writes text to path in UTF-8, replacing the file; returns path."
  (with-open-file (s path :direction :output :if-exists :supersede :external-format :utf-8)
    (write-string text s))
  path)

(defun read-bytes (path)
  "The file's bytes as a list of integers; nil when it does not exist."
  (with-open-file (s path :element-type '(unsigned-byte 8) :if-does-not-exist nil)
    (when s
      (let ((v (make-array (file-length s) :element-type '(unsigned-byte 8))))
        (read-sequence v s)
        (coerce v 'list)))))

(defmacro with-xml-files ((dir &rest files) &body body)
  "Binds dir to a fresh temporary directory and each (var name text) to the
path of a file written there."
  `(with-temp-directory (,dir)
     (let* ,(loop for (var name text) in files
                  collect `(,var (write-text (concatenate 'string ,dir ,name) ,text)))
       ,@body)))

(defun unicode-text ()
  "Latin-1, Greek, CJK and a character beyond the BMP (U+1F600)."
  (map 'string #'code-char '(97 #xE9 #x3A9 #x6F22 #x1F600 122)))

(defun baseline-counts ()
  (list (xmlprobe:live-documents) (xmlprobe:live-nodes) (xmlprobe:cache-entries)))

(defun same-counts-p (before) (equal before (baseline-counts)))

(defmacro with-clean-cache (&body body)
  "Runs body on an empty handle cache and empties it again afterwards."
  `(progn (xml:clear-xml-cache)
          (unwind-protect (progn ,@body) (xml:clear-xml-cache))))

(defun entity-bomb ()
  "Ten levels of entities, each ten times the one before: 10^10 characters."
  (format nil "<!DOCTYPE r [<!ENTITY e0 \"lol\">~{<!ENTITY e~D \"~{&e~D;~}\">~}]><r>&e10;</r>"
          (loop for i from 1 to 10 collect i collect (make-list 10 :initial-element (1- i)))))

(defun external-entity (file)
  "A document whose text is an external entity naming file."
  (format nil "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://~A\">]><r>&x;</r>" file))

(defun element-list-of (element)
  "The element list of an element, read through handles element by element."
  (let ((children (xml:element-get-children element)))
    (list (xml:element-get-tag element)
          (mapcar (lambda (name) (cons name (xml:element-get-attribute element name)))
                  (xml:element-get-attributes element))
          (if children (mapcar #'element-list-of children) (xml:element-get-text element)))))
