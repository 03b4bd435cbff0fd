;;;; Helpers of the XML tests (test-xml-*.lsp), loaded after the harness.

(in-package "QUILL-TEST")

(export '(write-text read-bytes bytes-text with-xml-files
          unicode-text baseline-counts same-counts-p with-clean-cache exits
          entity-bomb external-entity))

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

(defun exits (call)
  "(expected . thunk) for each kind of Lisp exit out of call's callback."
  (list (cons '(1 2 3) (lambda () (multiple-value-list
                                   (catch 'out (funcall call (lambda () (throw 'out (values 1 2 3))))
                                     :not-thrown))))
        (cons :returned (lambda () (block outer (funcall call (lambda () (return-from outer :returned)))
                                     :fell-through)))
        (cons 3 (lambda () (let ((n 0))
                             (tagbody again
                                (incf n)
                                (when (< n 3) (funcall call (lambda () (go again)))))
                             n)))
        (cons "boom" (lambda () (handler-case (funcall call (lambda () (error "boom")))
                                  (simple-error (c) (princ-to-string c)))))
        (cons :restarted (lambda () (restart-case (funcall call (lambda () (invoke-restart 'skip)))
                                      (skip () (values :restarted)))))))

(defun entity-bomb ()
  "Ten levels of entities, each ten times the one before: 10^10 characters."
  (format nil "<!DOCTYPE r [<!ENTITY e0 \"lol\">~{<!ENTITY e~D \"~{&e~D;~}\">~}]><r>&e10;</r>"
          (loop for i from 1 to 10 collect i collect (make-list 10 :initial-element (1- i)))))

(defun external-entity (file)
  "A document whose text is an external entity naming file."
  (format nil "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://~A\">]><r>&x;</r>" file))
