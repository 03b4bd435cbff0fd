;;;; quill-lisp as a program (order of work, exit status, output order) and
;;;; the module's start-up: package, aliases, printed handles, missing Lisp
;;;; files, and that a second start-up does nothing.

(deftest forms-and-files-run-in-order ()
  (with-temp-directory (dir)
    (let ((file (format nil "~Aa.lisp" dir)))
      (with-open-file (s file :direction :output)
        (write-string "(princ 2) (princ (package-name *package*))" s))
      (multiple-value-bind (code out)
          (run-quill-lisp (list "--eval" "(princ 1)" file "--eval" "(princ 3) (princ 4)"))
        (check-equal '(0 "12COMMON-LISP-USER34") (list code out))))))

(deftest exit-status ()
  ;; Errors the program handles itself are no concern of the exit status.
  (loop for (code . args) in '((0 "--eval" "(+ 1 2)") (7 "--eval" "(ext:quit 7)" "--eval" "(princ :not-reached)")
                               (0 "--eval" "(ext:quit)") (0 "--eval" "(ignore-errors (car 42))")
                               (1 "/no/such/file.lisp") (1 "--eval" "(") (2 "--no-such-option"))
        do (check-equal (cons code args) (cons (run-quill-lisp args) args)))
  (multiple-value-bind (code out err) (run-quill-lisp '("--eval" "(car 42)" "--eval" "(princ :not-reached)"))
    (check-equal '(1 "" t t) (list code out (contains err "Unhandled") (contains err "42"))))
  (multiple-value-bind (code out) (run-quill-lisp '("--help"))
    (check-equal '(0 t t) (list code (contains out "--eval FORM") (contains out "Exit status")))))

(deftest repl-reads-standard-input ()
  (multiple-value-bind (code out) (run-quill-lisp '() :input (format nil "(+ 40 2)~%(find-package \"XML\")~%"))
    (check-equal '(0 t t) (list code (contains out "42") (contains out "XML"))))
  (check-equal 5 (run-quill-lisp '() :input (format nil "(ext:quit 5)~%"))))

(deftest c-and-lisp-output-keep-their-order ()
  (multiple-value-bind (code out)
      (run-quill-lisp (list "--module" (test-module)
                            "--eval" "(princ \"a\") (xmltest:c-print \"b\") (princ \"c\") (xmltest:c-print \"d\")"))
    (check-equal '(0 "abcd") (list code out))))

(deftest package-xml-stands-alone ()
  (let ((xml (find-package "XML")))
    (check (and xml (null (package-use-list xml))))
    ;; Names that CL owns are the module's own in XML, so no package lock
    ;; stands in the way of registering them.
    (check (not (eq (intern "FIRST" xml) 'first)))))

(deftest second-start-up-does-nothing ()
  ;; Were the Lisp files loaded again, the constructor would be restored.
  (let ((constructor (fdefinition 'xml::make-xml-document-struct)))
    (unwind-protect
         (progn
           (setf (fdefinition 'xml::make-xml-document-struct) (lambda (&rest r) (declare (ignore r)) :replaced))
           (check (xmltest:init-xml-again))
           (check-equal :replaced (xml::make-xml-document-struct)))
      (setf (fdefinition 'xml::make-xml-document-struct) constructor))))

(defun alias-state (name)
  "How the XML symbol of name stands: (function status)."
  (multiple-value-bind (symbol status) (find-symbol (symbol-name name) "XML")
    (list (and symbol (fboundp symbol) (fdefinition symbol)) status)))

(deftest aliases-are-their-functions-when-those-exist ()
  ;; Some short names of lsp/bix_xml.lsp, each the very function it stands for.
  (loop for (alias . target) in '((read-document . read-xml) (document-equal . compare-xml)
                                  (select-node . document-select-node) (set-attribute-value . attribute-set-value))
        do (check-equal (list alias (fdefinition (find-symbol (symbol-name target) "XML")) :external)
                        (cons alias (alias-state alias))))
  ;; An alias is made, and exported, only when its function exists.
  (let* ((alias 'xml::element-document) (target 'xml::element-get-document) (function (fdefinition target)))
    (unwind-protect
         (progn
           (fmakunbound target)
           (fmakunbound alias)
           (unexport alias "XML")
           (check (xmltest:load-lisp "xml/lsp/bix_xml"))
           (check-equal '(nil :internal) (alias-state alias))
           (setf (fdefinition target) function)
           (check (xmltest:load-lisp "xml/lsp/bix_xml"))
           (check-equal (list function :external) (alias-state alias)))
      (setf (fdefinition target) function (fdefinition alias) function)
      (export alias "XML"))))

(deftest handles-print-their-kind ()
  (let ((*package* (find-package "CL-USER")))
    (check-equal "#<XML-ELEMENT-STRUCT 0x55d0c0a1b2c0>"
                 (prin1-to-string (xmltest:make-ptr 'xml:xml-element-struct #x55d0c0a1b2c0)))
    (check-equal "#<XML-DOCUMENT-STRUCT 0x0>" (princ-to-string (xml::make-xml-document-struct))))
  (check-error print-not-readable
               (let ((*print-readably* t)) (prin1-to-string (xml::make-xml-attribute-struct)))))

(deftest missing-or-broken-lisp-files-are-reported-not-fatal ()
  (with-temp-directory (dir)
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ (find-class 'xml::xml-document-struct nil))")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)
                                           (format nil "QUILL_AUTOMATION_LOG=~Alog" dir)))
      (check-equal '(0 "NIL") (list code out))
      (check (and (search "XmlLispFnc.lsp" err) (search "bix_xml.lsp" err)))
      (check (search "XmlLispFnc.lsp" (read-file (format nil "~Alog" dir)))))
    (ensure-directories-exist (format nil "~Axml/lsp/" dir))
    (with-open-file (s (format nil "~Axml/lsp/XmlLispFnc.lsp" dir) :direction :output)
      (write-string "(cl:error \"broken on purpose\")" s))
    (multiple-value-bind (code out err)
        (run-quill-lisp '("--eval" "(princ :alive)")
                        :environment (list (format nil "QUILL_DATA_DIR=~A" dir)))
      (check-equal '(0 "ALIVE") (list code out))
      (check (search "broken on purpose" err)))))
