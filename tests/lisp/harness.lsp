;;;; Test harness for quill-lisp: (deftest name () body...) defines a test,
;;;; run in definition order by (run-tests), which prints failures and
;;;; "N passed, N failed" and exits 0 only when none failed. Counts are of
;;;; checks; an error escaping a test counts as one failed check.

(defpackage "QUILL-TEST"
  (:use "COMMON-LISP")
  (:export "DEFTEST" "CHECK" "CHECK-EQUAL" "CHECK-ERROR" "RUN-TESTS" "WITH-TEMP-DIRECTORY"
           "RUN-QUILL-LISP" "TEST-MODULE" "READ-FILE" "FULL-GC" "EXITS" "CONTAINS"
           "WITH-NO-LEFTOVERS"))

(in-package "QUILL-TEST")

(defvar *tests* '())
(defvar *passed* 0)
(defvar *failed* 0)
(defvar *current* nil)

(defun note-failure (format-control &rest args)
  (incf *failed*)
  (format t "~&FAIL ~(~A~): ~?~%" *current* format-control args))

(defmacro deftest (name lambda-list &body body)
  (declare (ignore lambda-list))
  `(progn (setf *tests* (cons (cons ',name (lambda () ,@body)) (remove ',name *tests* :key #'car)))
          ',name))

(defmacro check (form)
  `(if ,form (progn (incf *passed*) t) (progn (note-failure "~S" ',form) nil)))

(defmacro check-equal (expected form)
  (let ((e (gensym)) (v (gensym)))
    `(let ((,e ,expected) (,v ,form))
       (if (equal ,e ,v)
           (progn (incf *passed*) t)
           (progn (note-failure "~S~%  expected ~S~%  got      ~S" ',form ,e ,v) nil)))))

(defmacro check-error (type form)
  "Checks that form signals type; returns the condition or nil."
  (let ((c (gensym)))
    `(let ((,c (handler-case (progn ,form nil) (,type (condition) condition))))
       (if ,c (incf *passed*) (note-failure "~S did not signal ~S" ',form ',type))
       ,c)))

(defun full-gc () (dotimes (i 3) (si:gc t)))
(defun contains (text part) (and (stringp text) (search part text) t))

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

(defun leftovers ()
  "What a call may not leave behind: collector roots, the value stack's base,
handlers' C++ objects and, with the probe module, model objects and entries."
  (list* (xmltest:root-count) (xmltest:stack-base) (xmltest:live-trackers)
         (loop for name in '("LIVE-DOCUMENTS" "LIVE-NODES" "CACHE-ENTRIES")
               for probe = (and (find-package "XMLPROBE") (find-symbol name "XMLPROBE"))
               when probe collect (funcall probe))))

(defmacro with-no-leftovers (&body body)
  "Runs body, then checks that it left nothing behind (see LEFTOVERS)."
  (let ((before (gensym)))
    `(let ((,before (leftovers)))
       (multiple-value-prog1 (progn ,@body) (check-equal ,before (leftovers))))))

(defun make-temp-directory ()
  (loop for i from 0
        for dir = (format nil "/tmp/quill-test-~D-~D/" (si:getpid) i)
        unless (probe-file dir) do (ensure-directories-exist dir) (return dir)))

(defmacro with-temp-directory ((var) &body body)
  "Runs body with var bound to a fresh directory (ending in /), removed afterwards."
  `(let ((,var (make-temp-directory)))
     (unwind-protect (progn ,@body)
       (ext:run-program "/bin/rm" (list "-rf" ,var) :output nil :error nil))))

(defun quill-lisp-path () (or (ext:getenv "QUILL_LISP") (first (ext:command-args))))
(defun test-module () (ext:getenv "QUILLTEST_LIBRARY"))

(defun run-quill-lisp (args &key input environment)
  "Runs quill-lisp with args; returns exit code, stdout text, stderr text."
  (with-temp-directory (dir)
    (let ((out (concatenate 'string dir "out"))
          (err (concatenate 'string dir "err"))
          (in (concatenate 'string dir "in")))
      (with-open-file (s in :direction :output) (when input (write-string input s)))
      (let ((code (nth-value 1 (ext:run-program "/usr/bin/env" (append environment (list (quill-lisp-path)) args)
                                                :input in :output out :error err :wait t
                                                :if-output-exists :supersede :if-error-exists :supersede))))
        (values code (read-file out) (read-file err))))))

(defun read-file (path)
  "The file's text (UTF-8); empty when it does not exist."
  (with-open-file (s path :if-does-not-exist nil :external-format :utf-8)
    (if s
        (let ((text (make-string (file-length s)))) (subseq text 0 (read-sequence text s)))
        "")))

(defun run-tests ()
  (dolist (test (reverse *tests*))
    (let ((*current* (car test)))
      (handler-case (funcall (cdr test))
        (error (c) (note-failure "unexpected ~S: ~A" (type-of c) c)))))
  (format t "~&~D passed, ~D failed~%" *passed* *failed*)
  (finish-output)
  (ext:quit (if (zerop *failed*) 0 1)))

(use-package "QUILL-TEST" "COMMON-LISP-USER")
