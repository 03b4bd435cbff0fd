;;;; Lisp side of the Lisp benchmark: one step per process, on a cold heap.
;;;;   quill-lisp bench.lsp --eval '(bench:run :walk "model.xml" "out.xml")'
;;;; prints "<step> <cpu seconds> <wall seconds> <count>" and, for the walk,
;;;; the memory it took. Loaded as source, so every function here runs as
;;;; bytecode, as host Lisp code does.

(defpackage "BENCH" (:use "COMMON-LISP") (:export "RUN"))
(in-package "BENCH")

(defun seconds (ticks) (/ ticks (float internal-time-units-per-second 1d0)))

(defmacro timed (&body body)
  "Values: cpu seconds, wall seconds, body's value."
  `(let ((cpu (get-internal-run-time))
         (wall (get-internal-real-time)))
     (let ((value (progn ,@body)))
       (values (seconds (- (get-internal-run-time) cpu))
               (seconds (- (get-internal-real-time) wall))
               value))))

(defun status-kb (field)
  "A field of /proc/self/status, in kB (VmRSS, VmHWM)."
  (with-open-file (s "/proc/self/status")
    (loop for line = (read-line s nil)
          while line
          when (and (> (length line) (length field))
                    (string= field line :end2 (length field)))
            return (parse-integer line :start (1+ (length field)) :junk-allowed t))))

;;; The work, as Lisp code of the host would write it.

(defun walk (element)
  "Visits element and its descendants; the number of elements."
  (xml:element-get-tag element)
  (dolist (name (xml:element-get-attributes element))
    (xml:element-get-attribute element name))
  (xml:element-get-text element)
  (let ((count 1))
    (dolist (child (xml:element-get-children element) count)
      (incf count (walk child)))))

;;; The same walk over the same document turned into plain lists first
;;; (tag, (name . value) pairs, text, children): what the bytecode alone
;;; costs when every XML function is free. A walk can never be faster.
(defun to-lists (element)
  (list (xml:element-get-tag element)
        (mapcar (lambda (name) (cons name (xml:element-get-attribute element name)))
                (xml:element-get-attributes element))
        (xml:element-get-text element)
        (mapcar #'to-lists (xml:element-get-children element))))

(defun walk-lists (element)
  (first element)
  (dolist (pair (second element))
    (cdr (assoc (car pair) (second element) :test #'eq)))
  (third element)
  (let ((count 1))
    (dolist (child (fourth element) count)
      (incf count (walk-lists child)))))

;;; The lists of DOCUMENT-TO-LIST: their elements, counted.
(defun count-elements (element)
  (let ((content (third element)))
    (if (consp content)
        (1+ (reduce #'+ content :key #'count-elements))
        1)))

(defun parse-counting (file)
  (let ((events 0))
    (flet ((count-event (&rest args) (declare (ignore args)) (incf events)))
      (and (xml:parse-xml file
                          :on-start-document #'count-event
                          :on-end-document #'count-event
                          :on-start-element #'count-event
                          :on-end-element #'count-event
                          :on-characters #'count-event)
           events))))

(defun report (step cpu wall count)
  (format t "~(~A~) ~,4F ~,4F ~D~%" step cpu wall count))

(defun run (step file &optional out)
  (ecase step
    (:read
     (multiple-value-bind (cpu wall document) (timed (xml:read-xml file))
       (report step cpu wall (if document 1 0))))
    (:walk
     ;; The document stays referenced through the timed walk: freeing its
     ;; tree is the mirror of reading it, timed on its own afterwards.
     (let* ((document (xml:read-xml file))
            (before (status-kb "VmRSS:")))
       (multiple-value-bind (cpu wall count)
           (timed (walk (xml:document-get-root document)))
         (report step cpu wall count)
         (format t "walk-memory ~D ~D~%" before (status-kb "VmRSS:"))
         (multiple-value-bind (cpu wall) (timed (xml:clear-xml-cache))
           (format t "walk-clear ~,4F ~,4F~%" cpu wall)))))
    (:floor
     (let ((tree (to-lists (xml:document-get-root (xml:read-xml file)))))
       (xml:clear-xml-cache)
       (si:gc t)
       (multiple-value-bind (cpu wall count) (timed (walk-lists tree))
         (report step cpu wall count))))
    (:to-list
     (let ((document (xml:read-xml file))
           (before (status-kb "VmRSS:")))
       (multiple-value-bind (cpu wall lists) (timed (xml:document-to-list document))
         (report step cpu wall (if lists (count-elements lists) 0))
         (format t "lists-memory ~D ~D~%" before (status-kb "VmRSS:")))))
    (:read-list
     (multiple-value-bind (cpu wall lists) (timed (xml:read-xml-list file))
       (report step cpu wall (if lists (count-elements lists) 0))))
    (:parse
     (multiple-value-bind (cpu wall events) (timed (parse-counting file))
       (report step cpu wall (or events 0))))
    (:write
     (let ((document (xml:read-xml file)))
       (multiple-value-bind (cpu wall written) (timed (xml:write-xml document out))
         (report step cpu wall (if written 1 0)))))
    (:dispose
     ;; 2 000 documents made and given back while every element of the
     ;; model has a live handle: the cost must not grow with the handles.
     (let* ((document (xml:read-xml file))
            (handles (let ((all '()))
                       (labels ((collect (e)
                                  (push e all)
                                  (mapc #'collect (xml:element-get-children e))))
                         (collect (xml:document-get-root document)))
                       all)))
       (multiple-value-bind (cpu wall count)
           (timed (let ((n 0))
                    (dotimes (i 2000 n)
                      (when (xml:document-dispose (xml:document-create)) (incf n)))))
         (report step cpu wall count)
         (format t "dispose-handles ~D~%" (length handles)))))
    (:calls
     ;; The cost of crossing into a handler and back: a call that does
     ;; nothing, less a loop around a built-in function.
     (let ((n 1000000))
       (flet ((loop-time (function)
                (timed (dotimes (i n) (funcall function nil)))))
         (let ((empty (loop-time #'identity))
               (handler (loop-time #'xml:element-get-tag)))
           (report step (- handler empty) 0 n))))))
  (finish-output))
