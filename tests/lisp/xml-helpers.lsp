;;;; Helpers of the XML tests (test-xml-*.lsp), loaded after the harness.

(in-package "QUILL-TEST")

(export '(write-text read-bytes bytes-text with-xml-files
          unicode-text baseline-counts same-counts-p with-clean-cache))

(defun write-text (path text)
  "Writes text to path in UTF-8, replacing the file."
  (with-open-file (s path :direction :output :if-exists :supersede
                          :external-format :utf-8)
    (write-string text s))
  path)

(defun read-bytes (path)
  "The file's bytes as a list of integers; nil when it does not exist."
  (with-open-file (s path :element-type '(unsigned-byte 8) :if-does-not-exist nil)
    (when s
      (let ((v (make-array (file-length s) :element-type '(unsigned-byte 8))))
        (read-sequence v s)
        (coerce v 'list)))))

(defun bytes-text (path)
  "The file decoded as UTF-8."
  (with-open-file (s path :external-format :utf-8)
    (let ((text (make-string (file-length s))))
      (subseq text 0 (read-sequence text s)))))

(defmacro with-xml-files ((dir &rest files) &body body)
  "Binds dir to a fresh temporary directory and each (var name text) to the
path of a file written there."
  `(with-temp-directory (,dir)
     (let* ,(loop for (var name text) in files
                  collect `(,var (write-text (concatenate 'string ,dir ,name) ,text)))
       ,@body)))

(defun unicode-text ()
  "Latin-1, Greek, CJK and a character beyond the BMP (U+1F600)."
  (coerce (list #\a (code-char #xE9) (code-char #x3A9) (code-char #x6F22)
                (code-char #x1F600) #\z)
          'string))

(defun baseline-counts ()
  (list (xmlprobe:live-documents) (xmlprobe:live-nodes) (xmlprobe:cache-entries)))

(defun same-counts-p (before)
  (equal before (baseline-counts)))

(defmacro with-clean-cache (&body body)
  "Runs body on an empty handle cache and empties it again afterwards."
  `(progn (xml:clear-xml-cache)
          (unwind-protect (progn ,@body) (xml:clear-xml-cache))))
