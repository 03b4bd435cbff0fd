;;;; Lisp exits out of PARSE-XML callbacks: the parse is abandoned, every
;;;; C++ object of the call is released, and the exit reaches its Lisp target
;;;; with all its values; the module stays usable.

;; The reference in the attribute makes the parser allocate the value for
;; the start-tag callback and free it afterwards: an exit that skipped the
;; parser's own frames would leak it, which the sanitizer build reports.
(defparameter *doc* "<r a='1&amp;2'><c>text</c><c/></r>")
(defparameter *broken* "<r><c>text</d></r>")

(defmacro with-no-leftovers (&body body)
  "Runs body; no collector root, value-stack slot or model object may stay."
  (let ((roots (gensym)) (base (gensym)) (counts (gensym)))
    `(let ((,roots (xmltest:root-count)) (,base (xmltest:stack-base)) (,counts (baseline-counts)))
       (multiple-value-prog1 (progn ,@body)
         (check-equal ,roots (xmltest:root-count))
         (check-equal ,base (xmltest:stack-base))
         (check (same-counts-p ,counts))))))

(defun parse-with (file key action)
  "Parses file with a callback for key that calls action."
  (xml:parse-xml file key (lambda (&rest args) (declare (ignore args)) (funcall action))))

(deftest every-kind-of-exit-out-of-every-callback ()
  (with-xml-files (dir (good "good.xml" *doc*) (bad "bad.xml" *broken*))
    (dolist (key '(:on-start-document :on-start-element :on-characters :on-end-element :on-end-document :on-error))
      (let ((file (if (eq key :on-error) bad good)))
        (loop for (expected . run) in (exits (lambda (action) (parse-with file key action)))
              do (with-no-leftovers (check-equal (list key expected) (list key (funcall run)))))))))

(deftest cleanups-run-and-the-parse-stops ()
  (with-xml-files (dir (good "good.xml" *doc*))
    (let ((log '()))
      (with-no-leftovers
        (catch 'out
          (unwind-protect
               (xml:parse-xml good
                              :on-start-element (lambda (tag a) (declare (ignore a))
                                                  (push tag log)
                                                  (unwind-protect (when (equal tag "c") (throw 'out nil))
                                                    (push :inner log))
                                                  t)
                              :on-end-document (lambda () (push :end-document log) t))
            (push :outer log))))
      (check-equal '("r" :inner "c" :inner :outer) (reverse log)))))

(deftest exits-cross-nested-parses ()
  (with-xml-files (dir (good "good.xml" *doc*))
    (with-no-leftovers
      (check-equal '(:inner "c")
                   (catch 'out
                     (parse-with good :on-start-element
                                 (lambda () (xml:parse-xml good :on-end-element
                                                           (lambda (tag) (throw 'out (list :inner tag)))))))))
    ;; Out of the inner parse only: the outer one carries on.
    (with-no-leftovers
      (let ((seen '()))
        (check-equal t (parse-with good :on-start-element
                                   (lambda () (push (catch 'inner (parse-with good :on-characters
                                                                              (lambda () (throw 'inner :x))))
                                                    seen))))
        (check-equal '(:x :x :x) seen)))))

(deftest the-module-stays-usable ()
  (with-xml-files (dir (good "good.xml" *doc*))
    (with-no-leftovers
      (dotimes (i 50)
        (catch 'out (parse-with good :on-characters (lambda () (throw 'out i))))
        (ignore-errors (parse-with good :on-start-element (lambda () (error "x")))))
      (let ((count 0))
        (check-equal '(t 3) (list (parse-with good :on-start-element (lambda () (incf count))) count))))
    ;; Unhandled: quill-lisp reports the error and exits 1.
    (multiple-value-bind (code out err)
        (run-quill-lisp (list "--eval" (format nil "(xml:parse-xml ~S :on-characters (lambda (s) (error \"no handler for ~~A\" s)))" good)
                              "--eval" "(print :not-reached)"))
      (check-equal '(1 t nil) (list code (contains err "no handler for text") (contains out "NOT-REACHED"))))))
