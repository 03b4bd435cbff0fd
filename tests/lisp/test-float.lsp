;;;; Floating point: C++ handler code runs without traps (infinities and
;;;; NaNs are values), Lisp keeps its traps, on either side of every call.

(defun zerop-float () 0d0)
(defun lisp-divides-by-zero ()
  (handler-case (/ 1d0 (zerop-float)) (division-by-zero () :trapped)))
(defun long-divides-by-zero ()
  (handler-case (/ 1l0 (coerce (zerop-float) 'long-float)) (division-by-zero () :trapped)))

(deftest traps-switch-at-every-crossing ()
  (check-equal 0 (xmltest:fp-traps))
  (check (ext:float-infinity-p (xmltest:fp-divide 1d0 0d0)))
  (check (ext:float-nan-p (xmltest:fp-divide 0d0 0d0)))
  ;; The infinity computed in C++ leaves no pending trap behind.
  (check-equal :trapped (lisp-divides-by-zero))
  ;; Lisp called back from C++ traps; C++ after that callback does not.
  (destructuring-bind (inner traps inf) (xmltest:fp-call #'lisp-divides-by-zero)
    (check-equal '(:trapped 0 t) (list inner traps (ext:float-infinity-p inf))))
  ;; Two handlers deep, and after an error left through them.
  (check-equal :trapped (first (xmltest:fp-call (lambda () (first (xmltest:fp-call #'lisp-divides-by-zero))))))
  (check-equal :caught (handler-case (xmltest:fp-call (lambda () (/ 1d0 (zerop-float))))
                         (division-by-zero () :caught)))
  (check-equal :trapped (lisp-divides-by-zero)))

(deftest lisp-may-turn-its-traps-off ()
  (unwind-protect
       (progn
         (si:trap-fpe 'division-by-zero nil)
         (check (ext:float-infinity-p (/ 1d0 (zerop-float))))
         ;; Still off after a trip through C++.
         (xmltest:fp-call (lambda () nil))
         (check (ext:float-infinity-p (/ 1d0 (zerop-float)))))
    (si:trap-fpe 'division-by-zero t))
  (check-equal :trapped (lisp-divides-by-zero)))

(deftest long-floats-keep-their-traps ()
  ;; Long floats live in the x87 unit, which crossings leave as Lisp set it.
  (check-equal :trapped (long-divides-by-zero))
  (check-equal :trapped (first (xmltest:fp-call #'long-divides-by-zero)))
  (xmltest:fp-divide 1d0 0d0)
  (check-equal :trapped (long-divides-by-zero)))
