;;;; Lisp side of the services benchmark: one step per process.
;;;;   quill-lisp services.lsp --eval '(services-bench:run :serialize "model.xml" "twin.xml")'
;;;; prints "<step> <cpu seconds> <wall seconds> <detail>". Only the call
;;;; itself is timed; reading inputs is not.

(defpackage "SERVICES-BENCH" (:use "COMMON-LISP") (:export "RUN"))
(in-package "SERVICES-BENCH")

(defun seconds (ticks) (/ ticks (float internal-time-units-per-second 1d0)))

(defmacro timed (&body body)
  "Values: cpu seconds, wall seconds, body's value."
  `(let ((cpu (get-internal-run-time))
         (wall (get-internal-real-time)))
     (let ((value (progn ,@body)))
       (values (seconds (- (get-internal-run-time) cpu))
               (seconds (- (get-internal-real-time) wall))
               value))))

(defun file-text (path)
  (with-open-file (s path :external-format :utf-8)
    (let ((text (make-string (file-length s))))
      (subseq text 0 (read-sequence text s)))))

(defun report (step cpu wall detail)
  (format t "~&~(~A~) ~,6F ~,6F ~A~%" step cpu wall detail)
  (finish-output))

(defun run (step model twin)
  (ecase step
    (:serialize
     (let ((d (xml:read-xml model)))
       (multiple-value-bind (cpu wall text) (timed (xml:serialize-xml d))
         (report step cpu wall (length text)))))
    (:deserialize
     (let ((text (file-text model)))
       (multiple-value-bind (cpu wall d) (timed (xml:deserialize-xml text))
         (report step cpu wall (if d "ok" "failed")))))
    (:read
     (multiple-value-bind (cpu wall d) (timed (xml:read-xml model))
       (report step cpu wall (if d "ok" "failed"))))
    (:compare
     (let ((a (xml:read-xml model))
           (b (xml:read-xml twin)))
       (multiple-value-bind (cpu wall same) (timed (xml:compare-xml a b))
         (report step cpu wall same))))
    (:root-tag
     ;; Averaged over many calls: a single one is below the clock's grain.
     (let ((n 1000))
       (multiple-value-bind (cpu wall tag)
           (timed (let (tag) (dotimes (i n tag) (setf tag (xml:get-root-tag model)))))
         (report step (/ cpu n) (/ wall n) tag)))))
  (ext:quit 0))
