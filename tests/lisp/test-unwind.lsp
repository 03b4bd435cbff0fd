;;;; Lisp exits out of calls that handlers make back into Lisp: the
;;;; handler's C++ frames unwind (destructors run), then the exit goes on.

(defmacro with-no-leftovers (&body body)
  "Runs body, then checks that no handler's C++ object or stack slot is left."
  (let ((base (gensym)))
    `(let ((,base (xmltest:stack-base)))
       (multiple-value-prog1 (progn ,@body)
         (check-equal 0 (xmltest:live-trackers))
         (check-equal ,base (xmltest:stack-base))))))

(deftest every-kind-of-exit-through-a-handler ()
  ;; Besides the usual exits: the engine's own errors two handlers deep.
  (loop for (expected . run)
          in (list* (cons :type-error (lambda () (handler-case (xmltest:call (lambda () (xmltest:call (lambda () (car 42)))))
                                                   (type-error () :type-error))))
                    (cons :undefined (lambda () (handler-case (xmltest:call nil) (undefined-function () :undefined))))
                    (cons 6 (lambda () (xmltest:call #'+ 1 2 3)))
                    (exits #'xmltest:call))
        do (with-no-leftovers (check-equal expected (funcall run)))))

(deftest lisp-cleanups-run-in-order ()
  (let ((log '()))
    (with-no-leftovers
      (catch 'tag
        (unwind-protect (xmltest:call (lambda () (unwind-protect (throw 'tag nil) (push :inner log))))
          (push :outer log))))
    (check-equal '(:outer :inner) log)))

(deftest destructors-may-call-lisp-while-unwinding ()
  ;; The handler's guard calls Lisp (which collects) from its destructor
  ;; while a throw passes; the thrown values survive.
  (let ((cleanups 0))
    (with-no-leftovers
      (check-equal '(:a :b)
                   (multiple-value-list
                    (catch 'tag
                      (xmltest:call-with-cleanup (lambda () (throw 'tag (values :a :b)))
                                                 (lambda () (full-gc) (incf cleanups)))))))
    (check-equal 1 cleanups))
  ;; A Lisp exit out of such a destructor cannot travel; the first one wins.
  (with-no-leftovers
    (check-equal :first (catch 'tag (xmltest:call-with-cleanup (lambda () (throw 'tag :first))
                                                               (lambda () (throw 'tag :second)))))
    (check-equal :done (xmltest:call-with-cleanup (lambda () :done) (lambda () nil)))))

(deftest quit-through-a-handler ()
  (check-equal '(9 "CLEANED")
               (butlast (multiple-value-list
                (run-quill-lisp (list "--module" (test-module) "--eval"
                                      "(unwind-protect (xmltest:call (lambda () (ext:quit 9))) (princ :cleaned))"))))))
