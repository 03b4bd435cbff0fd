;;;; The XML module's higher services from Lisp: documents as text,
;;;; comparison, root tags and loaders.
;;;;   quill-lisp examples/tour-services.lsp

(defvar *services-dir* (format nil "/tmp/quill-tour-services-~D/" (si:getpid)))
(ensure-directories-exist *services-dir*)
(defun services-file (name) (concatenate 'string *services-dir* name))

(format t "~&== Documents as text~%")
(let* ((text (format nil "<gearbox ratio='3.5'><shaft>Main ~C~C</shaft><note>check</note></gearbox>"
                     (code-char #x2699) (code-char #x1F527)))
       (doc (xml:deserialize-xml text))
       (again (xml:deserialize-xml (xml:serialize-xml doc))))
  (format t "deserialize-xml made ~A~%" doc)
  (format t "serialize-xml gives back: ~A" (xml:serialize-xml doc))
  (format t "and the text read again is the same document: ~A~%" (xml:compare-xml doc again))
  (format t "text that is not XML gives ~S~%" (xml:deserialize-xml "<gearbox><shaft></gearbox>"))
  (format t "the short names are the same functions: ~A~%"
          (eq #'xml:document-to-string #'xml:serialize-xml)))

(format t "~&== Comparing~%")
(let ((a (xml:deserialize-xml "<part id='7' kind='bolt'><size>M8</size><finish/></part>"))
      (b (xml:deserialize-xml "<part kind='bolt' id='7'><finish/><size>M8</size></part>"))
      (c (xml:deserialize-xml "<part kind='bolt' id='7'><finish/><size>M10</size></part>")))
  (format t "same content, other order: ~A~%" (xml:compare-xml a b))
  (format t "another size: ~S~%" (xml:compare-xml a c)))

(format t "~&== Root tags~%")
(with-open-file (s (services-file "assembly.xml") :direction :output :if-exists :supersede)
  (write-string "<?xml version='1.0'?><q:assembly xmlns:q='urn:quill'><part/></q:assembly>" s))
(with-open-file (s (services-file "drawing.xml") :direction :output :if-exists :supersede)
  (write-string "<drawing sheets='2'/>" s))
(format t "assembly.xml has the root ~S; a missing file gives ~S~%"
        (xml:get-root-tag (services-file "assembly.xml"))
        (xml:get-root-tag (services-file "missing.xml")))

(format t "~&== Loaders~%")
(xml:register-xml-loader "assembly"
                         :file-handler (lambda (file)
                                         (format t "  (the assembly loader got ~A)~%"
                                                 (subseq file (length *services-dir*)))
                                         t))
(format t "load-xml of assembly.xml: ~S~%" (xml:load-xml (services-file "assembly.xml") :source :database))
(format t "load-xml of drawing.xml, which no loader takes:~%  ~S~%"
        (xml:load-xml (services-file "drawing.xml")))
(format t "load-xml of a missing file:~%  ~S~%"
        (let ((result (xml:load-xml (services-file "missing.xml"))))
          (list (first result) :loaded (getf result :loaded))))
(xml:register-xml-loader "drawing" :file-handler (lambda (file) file (error "drawing loader is broken")))
(format t "a loader that signals an error: ~A~%"
        (handler-case (xml:load-xml (services-file "drawing.xml"))
          (error (e) (format nil "caught \"~A\"" e))))
(format t "and loading goes on: ~S~%" (xml:load-xml (services-file "assembly.xml")))

(xml:clear-xml-cache)
(ext:run-program "/bin/rm" (list "-rf" *services-dir*))
(format t "~&Done.~%")
