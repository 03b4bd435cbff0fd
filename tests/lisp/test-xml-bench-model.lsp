;;;; The benchmarks' document generator (bench/gen_model.py): its figures are
;;;; only comparable when it writes the same bytes again, and the comparator
;;;; benchmark only measures something when the twin is equal and the changed
;;;; twin is not.

(defparameter *generator*
  (namestring (merge-pathnames "../../bench/gen_model.py" *load-truename*)))

(defun generate (&rest args)
  "Runs the generator; its exit code."
  (nth-value 1 (ext:run-program "/usr/bin/env" (list* "python3" *generator* args)
                                :input nil :output nil :error nil :wait t)))

(deftest generated-model-twins-and-style-sheet ()
  (with-clean-cache
    (with-temp-directory (dir)
      (flet ((file (name) (concatenate 'string dir name)))
        (check-equal '(0 0 0 0 0)
                     (list (generate "--mb" "0.2" "--seed" "5" "--out" (file "model.xml"))
                           (generate "--mb" "0.2" "--seed" "5" "--out" (file "again.xml"))
                           (generate "--twin-of" (file "model.xml") "--seed" "2" "--out" (file "twin.xml"))
                           (generate "--changed-of" (file "model.xml") "--seed" "2" "--out" (file "changed.xml"))
                           (generate "--xslt" (file "parts.xsl") "--xsd" (file "model.xsd"))))
        (let ((model (read-bytes (file "model.xml"))))
          (check-equal '(t t nil) (list (> (length model) 150000) (equal model (read-bytes (file "again.xml")))
                                        (equal model (read-bytes (file "twin.xml"))))))
        (let ((model (xml:read-xml (file "model.xml")))
              (twin (xml:read-xml (file "twin.xml"))))
          (check-equal '(t nil) (list (xml:compare-xml model twin) (xml:compare-xml model (xml:read-xml (file "changed.xml")))))
          ;; The parts list is sorted, so order in the source must not show.
          (check-equal '(t t) (list (xml:transform-xml model (file "parts.xsl") (file "a.xml"))
                                    (xml:transform-xml twin (file "parts.xsl") (file "b.xml"))))
          (let ((list (bytes-text (file "a.xml"))))
            (check-equal (list t list) (list (contains list "<parts-list model=\"M5\"") (bytes-text (file "b.xml"))))))
        ;; The module cannot validate from Lisp; libxml2's own tool can.
        (when (probe-file "/usr/bin/xmllint")
          (check-equal 0 (nth-value 1 (ext:run-program
                                       "/usr/bin/xmllint"
                                       (list "--noout" "--schema" (file "model.xsd") (file "model.xml")
                                             (file "twin.xml") (file "changed.xml"))
                                       :input nil :output nil :error nil :wait t))))))))
