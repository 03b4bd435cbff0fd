;;;; Registered C++ functions: arguments, keywords and errors, Lisp exits out
;;;; of calls they make back into Lisp, the collector, floating point.

(defun message-names-p (condition &rest parts)
  (and condition (every (lambda (part) (search part (princ-to-string condition))) parts)))

(deftest arguments-arrive-in-order-at-any-depth ()
  ;; 70 is past the engine's limit for arguments passed in C registers.
  (dolist (args (list '() '(1 "two" :three) (loop for i below 70 collect i)))
    (check-equal args (apply #'xmltest:echo args)))
  ;; Lisp -> handler -> Lisp ..., each level with its own window of the value
  ;; stack; the Lisp's stack overflow is an ordinary condition that unwinds
  ;; every level.
  (labels ((down (n) (if (zerop n) (xmltest:echo :bottom) (cons n (xmltest:call #'down (1- n))))))
    (let ((r (down 2000)))
      (check-equal '(2000 2001 (:bottom)) (list (car r) (length r) (last r))))
    (with-no-leftovers
      (check-equal :overflow (handler-case (down most-positive-fixnum) (storage-condition () :overflow))))))

(deftest keywords-are-parsed ()
  ;; An explicit nil is supplied; the first of two occurrences counts.
  (loop for (expected . args) in '(((r nil nil nil nil) r) ((r 1 t 2 t) r :beta 2 :alpha 1)
                                   ((r nil t nil nil) r :alpha nil) ((r 1 t nil nil) r :alpha 1 :alpha 2))
        do (check-equal expected (apply #'xmltest:keys args)))
  (check-equal '((1 t (:gamma 3 :alpha 1)) (nil nil nil)) (list (xmltest:keys-loose :gamma 3 :alpha 1) (xmltest:keys-loose)))
  ;; The parsed value survives a nested call that calls handlers.
  (check-equal :value (xmltest:keys-then-call (lambda () (apply #'xmltest:echo (make-list 20)) (xmltest:keys 1 :beta 2))
                                              :alpha :value)))

(deftest handler-errors-are-lisp-errors-after-the-handler-unwound ()
  ;; The handlers hold C++ objects owning memory when they fail: all are
  ;; destroyed (the sanitizer build finds no leak), the value stack as it was.
  (with-no-leftovers
    (loop for (type thunk . parts)
            in (list (list 'program-error (lambda () (xmltest:exactly-two 1)) "EXACTLY-TWO" "expected 2" "got 1")
                     (list 'program-error (lambda () (xmltest:exactly-two 1 2 3)))
                     (list 'program-error (lambda () (xmltest:at-least-one)) "AT-LEAST-ONE")
                     (list 'program-error (lambda () (xmltest:keys 'r :gamma 1)) ":GAMMA" "KEYS" ":ALPHA")
                     (list 'program-error (lambda () (xmltest:keys 'r :alpha)) "Odd")
                     (list 'program-error (lambda () (xmltest:keys)))
                     (list 'program-error (lambda () (xmltest:keys 'r "alpha" 1)))
                     (list 'program-error (lambda () (xmltest:keys 'r 3 4)))
                     (list 'program-error (lambda () (xmltest:keys-loose :alpha)))
                     (list 'error (lambda () (xmltest:throw-cxx)) "boom from C++" "THROW-CXX")
                     (list 'error (lambda () (xmltest:throw-cxx :int))))
          do (dotimes (i 20) (ignore-errors (funcall thunk)))
             (check (apply #'message-names-p (handler-case (progn (funcall thunk) nil) (error (c) (and (typep c type) c)))
                           parts)))
    (let ((c (check-error type-error (xmltest:type-error))))
      (check-equal '(5 string) (and c (list (type-error-datum c) (type-error-expected-type c))))))
  (check-equal '(1 . 2) (xmltest:exactly-two 1 2))
  (multiple-value-bind (code out err) (run-quill-lisp (list "--module" (test-module) "--eval" "(xmltest:exactly-two 1)"))
    (declare (ignore out))
    (check-equal '(1 t) (list code (contains err "EXACTLY-TWO")))))

(deftest every-kind-of-exit-through-a-handler ()
  ;; Besides the usual exits: the engine's own errors two handlers deep.
  (loop for (expected . run)
          in (list* (cons :type-error (lambda () (handler-case (xmltest:call (lambda () (xmltest:call (lambda () (car 42)))))
                                                   (type-error () :type-error))))
                    (cons :undefined (lambda () (handler-case (xmltest:call nil) (undefined-function () :undefined))))
                    (cons 6 (lambda () (xmltest:call #'+ 1 2 3)))
                    (exits #'xmltest:call))
        do (with-no-leftovers (check-equal expected (funcall run))))
  (let ((log '()))
    (with-no-leftovers
      (catch 'tag
        (unwind-protect (xmltest:call (lambda () (unwind-protect (throw 'tag nil) (push :inner log))))
          (push :outer log))))
    (check-equal '(:outer :inner) log))
  (check-equal '(9 "CLEANED")
               (butlast (multiple-value-list
                         (run-quill-lisp (list "--module" (test-module) "--eval"
                                               "(unwind-protect (xmltest:call (lambda () (ext:quit 9))) (princ :cleaned))"))))))

(deftest destructors-may-call-lisp-while-unwinding ()
  ;; The handler's guard calls Lisp (which collects) from its destructor
  ;; while a throw passes; the thrown values survive. A Lisp exit out of
  ;; such a destructor cannot travel: the first one wins.
  (let ((cleanups 0))
    (with-no-leftovers
      (check-equal '(:a :b) (multiple-value-list
                             (catch 'tag (xmltest:call-with-cleanup (lambda () (throw 'tag (values :a :b)))
                                                                    (lambda () (full-gc) (incf cleanups))))))
      (check-equal :first (catch 'tag (xmltest:call-with-cleanup (lambda () (throw 'tag :first))
                                                                 (lambda () (throw 'tag :second)))))
      (check-equal :done (xmltest:call-with-cleanup (lambda () :done) (lambda () nil))))
    (check-equal 1 cleanups)))

(deftest the-collector-spares-stack-and-rooted-objects ()
  (xmltest:reset-collected)
  (check-equal 0 (xmltest:stack-objects 200 #'full-gc))
  (full-gc)
  (check (>= (xmltest:collected) 100))
  (xmltest:reset-collected)
  (let ((before (xmltest:root-count)))
    (check-equal 200 (xmltest:root-objects 200))
    (full-gc)
    (check-equal (list (+ before 200) 0) (list (xmltest:root-count) (xmltest:collected)))
    (xmltest:release-roots)
    (full-gc)
    (check (>= (xmltest:collected) 100))
    (dotimes (i 20) (xmltest:root-objects 100) (xmltest:release-roots))
    (check-equal before (xmltest:root-count)))
  (check (xmltest:root-semantics))
  ;; The handler's arguments live only on the value stack while the callback
  ;; collects and allocates.
  (check-equal '("fresh 1" ("fresh 2"))
               (xmltest:call (lambda (a b) (full-gc) (make-list 10000) (list a b))
                             (format nil "fresh ~D" 1) (list (format nil "fresh ~D" 2)))))

;;; Floating point: C++ handler code runs without traps (infinities and NaNs
;;; are values), Lisp keeps its traps, on either side of every call.

(defun zerop-float () 0d0)
(defun lisp-divides-by-zero () (handler-case (/ 1d0 (zerop-float)) (division-by-zero () :trapped)))
(defun long-divides-by-zero ()
  (handler-case (/ 1l0 (coerce (zerop-float) 'long-float)) (division-by-zero () :trapped)))

(deftest float-traps-switch-at-every-crossing ()
  (check-equal '(0 t t) (list (xmltest:fp-traps) (ext:float-infinity-p (xmltest:fp-divide 1d0 0d0))
                              (ext:float-nan-p (xmltest:fp-divide 0d0 0d0))))
  ;; No pending trap left; Lisp called back from C++ traps, C++ after it not,
  ;; two handlers deep and after an error left through them too.
  (check-equal :trapped (lisp-divides-by-zero))
  (destructuring-bind (inner traps inf) (xmltest:fp-call #'lisp-divides-by-zero)
    (check-equal '(:trapped 0 t) (list inner traps (ext:float-infinity-p inf))))
  (check-equal :trapped (first (xmltest:fp-call (lambda () (first (xmltest:fp-call #'lisp-divides-by-zero))))))
  (check-equal :caught (handler-case (xmltest:fp-call (lambda () (/ 1d0 (zerop-float)))) (division-by-zero () :caught)))
  (check-equal :trapped (lisp-divides-by-zero))
  ;; Long floats live in the x87 unit, which crossings leave as Lisp set it.
  (check-equal '(:trapped :trapped) (list (first (xmltest:fp-call #'long-divides-by-zero)) (long-divides-by-zero)))
  ;; Traps Lisp turned off stay off after a trip through C++.
  (unwind-protect
       (progn (si:trap-fpe 'division-by-zero nil)
              (xmltest:fp-call (lambda () nil))
              (check (ext:float-infinity-p (/ 1d0 (zerop-float)))))
    (si:trap-fpe 'division-by-zero t))
  (check-equal :trapped (lisp-divides-by-zero)))
