;;;; Registered functions: argument passing, argument and keyword errors,
;;;; C++ exceptions, and the value stack across all of them.

(deftest arguments-arrive-in-order ()
  (check-equal '() (xmltest:echo))
  (check-equal '(1 "two" :three) (xmltest:echo 1 "two" :three))
  ;; Past the engine's limit for arguments passed in C registers.
  (let ((many (loop for i below 70 collect i)))
    (check-equal many (apply #'xmltest:echo many)))
  (check-equal '(a b) (funcall 'xmltest:echo 'a 'b)))

(deftest calls-nest-to-any-depth ()
  ;; Lisp -> handler -> Lisp -> handler ..., each level with its own window
  ;; of the value stack.
  (labels ((down (n) (if (zerop n)
                         (xmltest:echo :bottom)
                         (cons n (xmltest:call #'down (1- n))))))
    (let ((r (down 2000)))
      (check-equal 2000 (car r))
      (check-equal '(:bottom) (last r))
      (check-equal 2001 (length r)))
    ;; As deep as the Lisp allows: its stack overflow is an ordinary
    ;; condition, and every level unwinds cleanly.
    (let ((base (xmltest:stack-base)))
      (check-equal :overflow (handler-case (down most-positive-fixnum)
                               (storage-condition () :overflow)))
      (check-equal base (xmltest:stack-base))
      (check-equal 0 (xmltest:live-trackers))
      (check-equal 11 (length (down 10)))))
  (let ((base (xmltest:stack-base)))
    (check-equal '(1 (2 (3))) (xmltest:call (lambda (x) (list x (xmltest:call (lambda (y) (list y (xmltest:echo 3))) 2))) 1))
    (check-equal base (xmltest:stack-base))))

(deftest wrong-argument-count-is-a-program-error ()
  (let ((c (check-error program-error (xmltest:exactly-two 1))))
    (when c
      (let ((text (princ-to-string c)))
        (check (search "EXACTLY-TWO" text))
        (check (search "expected 2" text))
        (check (search "got 1" text)))))
  (check-error program-error (xmltest:exactly-two 1 2 3))
  (check-equal '(1 . 2) (xmltest:exactly-two 1 2))
  (let ((c (check-error program-error (xmltest:at-least-one))))
    (when c (check (search "AT-LEAST-ONE" (princ-to-string c))))))

(deftest keywords-are-parsed ()
  (check-equal '(r nil nil nil nil) (xmltest:keys 'r))
  (check-equal '(r 1 t nil nil) (xmltest:keys 'r :alpha 1))
  (check-equal '(r 1 t 2 t) (xmltest:keys 'r :beta 2 :alpha 1))
  ;; An explicit nil is supplied; the first of two occurrences counts.
  (check-equal '(r nil t nil nil) (xmltest:keys 'r :alpha nil))
  (check-equal '(r 1 t nil nil) (xmltest:keys 'r :alpha 1 :alpha 2))
  (check-error program-error (xmltest:keys)))

(deftest parsed-keywords-survive-nested-calls ()
  (check-equal :value
               (xmltest:keys-then-call (lambda () (apply #'xmltest:echo (make-list 20)) (xmltest:keys 1 :beta 2))
                                       :alpha :value)))

(deftest bad-keywords-are-program-errors ()
  (let ((c (check-error program-error (xmltest:keys 'r :gamma 1))))
    (when c
      (let ((text (princ-to-string c)))
        (check (search ":GAMMA" text))
        (check (search "KEYS" text))
        (check (search ":ALPHA" text)))))
  (let ((c (check-error program-error (xmltest:keys 'r :alpha))))
    (when c (check (search "Odd" (princ-to-string c)))))
  (check-error program-error (xmltest:keys 'r "alpha" 1))
  (check-error program-error (xmltest:keys 'r 3 4)))

(deftest other-keys-and-rest-when-allowed ()
  (check-equal '(1 t (:gamma 3 :alpha 1)) (xmltest:keys-loose :gamma 3 :alpha 1))
  (check-equal '(nil nil nil) (xmltest:keys-loose))
  (check-error program-error (xmltest:keys-loose :alpha)))

(deftest errors-unwind-the-handler-first ()
  ;; The handlers hold C++ objects owning memory when they fail; all of them
  ;; are destroyed (the sanitizer build also finds no leak).
  (let ((base (xmltest:stack-base)))
    (dotimes (i 50)
      (ignore-errors (xmltest:exactly-two))
      (ignore-errors (xmltest:at-least-one))
      (ignore-errors (xmltest:keys 'r :bad 1))
      (ignore-errors (xmltest:throw-cxx))
      (ignore-errors (xmltest:type-error)))
    (check-equal 0 (xmltest:live-trackers))
    (check-equal base (xmltest:stack-base))))

(deftest cxx-exceptions-become-lisp-errors ()
  (let ((c (check-error error (xmltest:throw-cxx))))
    (when c
      (check (search "boom from C++" (princ-to-string c)))
      (check (search "THROW-CXX" (princ-to-string c)))))
  (check-error error (xmltest:throw-int))
  (let ((c (check-error type-error (xmltest:type-error))))
    (when c
      (check-equal 5 (type-error-datum c))
      (check-equal 'string (type-error-expected-type c))))
  (check-equal 0 (xmltest:live-trackers)))

(deftest errors-inside-nested-handlers ()
  ;; An error two handlers deep, caught outside both.
  (check-equal :caught
               (handler-case (xmltest:call (lambda () (xmltest:call (lambda () (xmltest:exactly-two)))))
                 (program-error () :caught)))
  ;; Caught between them: the outer handler carries on normally.
  (check-equal '(:inner-failed)
               (xmltest:call (lambda ()
                               (list (handler-case (xmltest:throw-cxx)
                                       (error () :inner-failed))))))
  (check-equal 0 (xmltest:live-trackers)))

(deftest handler-errors-reach-the-debugger-hook ()
  (multiple-value-bind (code out err)
      (run-quill-lisp (list "--module" (test-module) "--eval" "(xmltest:exactly-two 1)"))
    (declare (ignore out))
    (check-equal 1 code)
    (check (search "EXACTLY-TWO" err))))
