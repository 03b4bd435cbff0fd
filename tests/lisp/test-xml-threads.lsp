;;;; Calls from Lisp threads other than the host's are refused with a clear
;;;; error before they touch the value stack or any cache; the host's own
;;;; documents and calls go on as before.

(defun refusal-p (result)
  "True when result is the error of a call refused for its thread."
  (and (typep result 'error)
       (search "only be called from the host's main thread" (princ-to-string result))))

(defun run-in-threads (count thunk)
  "Runs thunk in count Lisp threads at once; the list of their results, an
error the thunk signalled standing for its result."
  (let ((threads (loop repeat count
                       collect (mp:process-run-function
                                "xml-caller"
                                (lambda () (handler-case (funcall thunk) (error (c) c)))))))
    (mapcar #'mp:process-join threads)))

(deftest calls-from-other-threads-are-refused ()
  (check (member :threads *features*))
  (with-clean-cache
    (with-xml-files (dir (file "a.xml" "<r a='1'><c>t</c></r>"))
      (let* ((d (xml:read-xml file))
             (root (xml:document-get-root d))
             (before (baseline-counts))
             (calls (list (lambda () (xml:read-xml file))
                          (lambda () (xml:element-get-tag root))
                          (lambda () (xml:document-dispose d))
                          (lambda () (xml:clear-xml-cache))
                          (lambda () (xml:document-get-root 42 43 44))
                          (lambda () (xmltest:stack-base)))))
        ;; Every kind of call, from two threads at a time, many times over.
        (dolist (call calls)
          (dolist (result (run-in-threads 2 (lambda () (loop repeat 50 do (funcall call)))))
            (check (refusal-p result))))
        ;; The function is named, so the message says which call was refused.
        (check (search "READ-XML" (princ-to-string (first (run-in-threads 1 (first calls))))))
        ;; Nothing the host's thread holds was touched.
        (check (same-counts-p before))
        (check-equal '("r" "1" t "3" t)
                     (list (xml:element-get-tag root) (xml:element-get-attribute root "a")
                           (xml:element-set-attribute root "a" "3")
                           (xml:element-get-attribute (xml:document-get-root d) "a") (xml:document-dispose d)))))))

(deftest other-threads-keep-their-plain-lisp ()
  ;; Lisp of its own in another thread is untouched by the refusal, and a
  ;; refused call can be handled there and followed by more work.
  (check-equal '((:refused 6) (:refused 6))
               (run-in-threads 2 (lambda ()
                                   (list (handler-case (xml:clear-xml-cache)
                                           (error () :refused))
                                         (+ 1 2 3))))))
