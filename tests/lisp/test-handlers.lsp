;;;; Registered functions: argument passing, argument and keyword errors,
;;;; C++ exceptions, and the value stack across all of them.

(deftest arguments-arrive-in-order ()
  ;; 70 is past the engine's limit for arguments passed in C registers.
  (dolist (args (list '() '(1 "two" :three) (loop for i below 70 collect i)))
    (check-equal args (apply #'xmltest:echo args))))

(deftest calls-nest-to-any-depth ()
  ;; Lisp -> handler -> Lisp -> handler ..., each level with its own window
  ;; of the value stack.
  (labels ((down (n) (if (zerop n)
                         (xmltest:echo :bottom)
                         (cons n (xmltest:call #'down (1- n))))))
    (let ((r (down 2000)))
      (check-equal '(2000 2001 (:bottom)) (list (car r) (length r) (last r))))
    ;; As deep as the Lisp allows: its stack overflow is an ordinary
    ;; condition, and every level unwinds cleanly.
    (let ((base (xmltest:stack-base)))
      (check-equal :overflow (handler-case (down most-positive-fixnum)
                               (storage-condition () :overflow)))
      (check-equal (list base 0 11) (list (xmltest:stack-base) (xmltest:live-trackers) (length (down 10)))))))

(defun message-names-p (condition &rest parts)
  (and condition (every (lambda (part) (search part (princ-to-string condition))) parts)))

(deftest wrong-argument-count-is-a-program-error ()
  (check (message-names-p (check-error program-error (xmltest:exactly-two 1)) "EXACTLY-TWO" "expected 2" "got 1"))
  (check-error program-error (xmltest:exactly-two 1 2 3))
  (check-equal '(1 . 2) (xmltest:exactly-two 1 2))
  (check (message-names-p (check-error program-error (xmltest:at-least-one)) "AT-LEAST-ONE")))

(deftest keywords-are-parsed ()
  ;; An explicit nil is supplied; the first of two occurrences counts.
  (loop for (expected . args) in '(((r nil nil nil nil) r) ((r 1 t nil nil) r :alpha 1)
                                   ((r 1 t 2 t) r :beta 2 :alpha 1) ((r nil t nil nil) r :alpha nil)
                                   ((r 1 t nil nil) r :alpha 1 :alpha 2))
        do (check-equal expected (apply #'xmltest:keys args)))
  (check-equal '(1 t (:gamma 3 :alpha 1)) (xmltest:keys-loose :gamma 3 :alpha 1))
  (check-equal '(nil nil nil) (xmltest:keys-loose))
  ;; The parsed value survives a nested call that calls handlers.
  (check-equal :value
               (xmltest:keys-then-call (lambda () (apply #'xmltest:echo (make-list 20)) (xmltest:keys 1 :beta 2))
                                       :alpha :value)))

(deftest bad-keywords-are-program-errors ()
  (check (message-names-p (check-error program-error (xmltest:keys 'r :gamma 1)) ":GAMMA" "KEYS" ":ALPHA"))
  (check (message-names-p (check-error program-error (xmltest:keys 'r :alpha)) "Odd"))
  (dolist (args '(() (r "alpha" 1) (r 3 4)))
    (check-error program-error (apply #'xmltest:keys args)))
  (check-error program-error (xmltest:keys-loose :alpha)))

(deftest errors-unwind-the-handler-first ()
  ;; C++ exceptions become Lisp errors. The handlers hold C++ objects owning
  ;; memory when they fail; all of them are destroyed (the sanitizer build
  ;; also finds no leak) and the value stack is as it was.
  (check (message-names-p (check-error error (xmltest:throw-cxx)) "boom from C++" "THROW-CXX"))
  (check-error error (xmltest:throw-cxx :int))
  (let ((c (check-error type-error (xmltest:type-error))))
    (check-equal '(5 string) (and c (list (type-error-datum c) (type-error-expected-type c)))))
  (let ((base (xmltest:stack-base)))
    (dotimes (i 50)
      (ignore-errors (xmltest:exactly-two))
      (ignore-errors (xmltest:at-least-one))
      (ignore-errors (xmltest:keys 'r :bad 1))
      (ignore-errors (xmltest:throw-cxx))
      (ignore-errors (xmltest:type-error)))
    (check-equal (list 0 base) (list (xmltest:live-trackers) (xmltest:stack-base)))))

(deftest handler-errors-reach-the-debugger-hook ()
  (multiple-value-bind (code out err)
      (run-quill-lisp (list "--module" (test-module) "--eval" "(xmltest:exactly-two 1)"))
    (declare (ignore out))
    (check-equal '(1 t) (list code (contains err "EXACTLY-TWO")))))
