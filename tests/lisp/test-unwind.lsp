;;;; Lisp exits out of calls that handlers make back into Lisp: the
;;;; handler's C++ frames unwind (destructors run), then the exit goes on.

(defmacro with-no-leftovers (&body body)
  "Runs body, then checks that no handler's C++ object or stack slot is left."
  (let ((base (gensym)))
    `(let ((,base (xmltest:stack-base)))
       (multiple-value-prog1 (progn ,@body)
         (check-equal 0 (xmltest:live-trackers))
         (check-equal ,base (xmltest:stack-base))))))

(deftest throw-through-a-handler ()
  (with-no-leftovers
    (check-equal 5 (catch 'tag (xmltest:call (lambda () (throw 'tag 5))) :not-thrown))
    ;; All values arrive.
    (check-equal '(1 2 3)
                 (multiple-value-list
                  (catch 'tag (xmltest:call (lambda () (throw 'tag (values 1 2 3)))))))))

(deftest return-from-and-go-through-a-handler ()
  (with-no-leftovers
    (check-equal :returned
                 (block outer (xmltest:call (lambda () (return-from outer :returned))) :fell-through))
    (check-equal 3
                 (let ((n 0))
                   (tagbody
                    again
                      (incf n)
                      (when (< n 3) (xmltest:call (lambda () (go again)))))
                   n))))

(deftest errors-through-a-handler ()
  (with-no-leftovers
    (check-equal :handled
                 (handler-case (xmltest:call (lambda () (error "from Lisp")))
                   (simple-error () :handled)))
    ;; The engine's own errors, two handlers deep.
    (check-equal :type-error
                 (handler-case (xmltest:call (lambda () (xmltest:call (lambda () (car 42)))))
                   (type-error () :type-error)))
    ;; A restart chosen outside the handler.
    (check-equal :restarted
                 (restart-case (xmltest:call (lambda () (invoke-restart 'go-on)))
                   (go-on () (values :restarted))))))

(deftest lisp-cleanups-run-in-order ()
  (let ((log '()))
    (with-no-leftovers
      (catch 'tag
        (unwind-protect
             (xmltest:call (lambda ()
                             (unwind-protect (throw 'tag nil)
                               (push :inner log))))
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
    (check-equal :first
                 (catch 'tag
                   (xmltest:call-with-cleanup (lambda () (throw 'tag :first))
                                              (lambda () (throw 'tag :second)))))))

(deftest normal-returns-leave-nothing-behind ()
  (with-no-leftovers
    (check-equal 6 (xmltest:call #'+ 1 2 3))
    (check-equal '(1 2 3 4) (xmltest:call #'list 1 2 3 4))
    (check-equal :done (xmltest:call-with-cleanup (lambda () :done) (lambda () nil)))))

(deftest calling-nil-is-the-usual-error ()
  (with-no-leftovers
    (check-error undefined-function (xmltest:call nil))))

(deftest quit-through-a-handler ()
  (multiple-value-bind (code out)
      (run-quill-lisp (list "--module" (test-module)
                            "--eval" "(unwind-protect (xmltest:call (lambda () (ext:quit 9))) (princ :cleaned))"))
    (check-equal 9 code)
    (check-equal "CLEANED" out)))
