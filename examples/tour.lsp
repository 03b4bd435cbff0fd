;;;; A tour of the XML module, run by `make demo`:
;;;;   quill-lisp examples/tour.lsp
;;;;
;;;; The module lives in package XML. Documents, elements and attributes
;;;; reach Lisp as handles: small structures that print their kind.

(format t "~&== The package~%")
(let ((xml (find-package "XML")))
  (format t "~A uses ~:[no other package~;~:*~{~A~^, ~}~].~%"
          (package-name xml) (mapcar #'package-name (package-use-list xml)))
  ;; Everything exported and callable, apart from the handle helpers that
  ;; the module's own Lisp file defines.
  (let ((helpers '(xml:handle-address xml:xml-document-struct-p
                   xml:xml-element-struct-p xml:xml-attribute-struct-p))
        (functions '()))
    (do-external-symbols (s xml)
      (when (and (fboundp s) (not (member s helpers))) (push s functions)))
    (format t "~D function~:P to call~@[: ~{~(~A~)~^ ~}~].~%"
            (length functions) (sort (mapcar #'symbol-name functions) #'string<))))

(format t "~&== Handles~%")
(dolist (type '(xml:xml-document-struct xml:xml-element-struct xml:xml-attribute-struct))
  (format t "~(~A~) is a structure type: ~A~%" type (subtypep type 'structure-object)))
(let ((empty (xml::make-xml-element-struct)))
  (format t "A handle that stands for nothing prints as ~A (address ~D).~%"
          empty (xml:handle-address empty)))

;;; A scratch folder for the files the tour writes, removed at the end.
(defvar *dir* (format nil "/tmp/quill-tour-~D/" (si:getpid)))
(ensure-directories-exist *dir*)
(defun scratch (name) (concatenate 'string *dir* name))
(defun show-file (name)
  (with-open-file (s (scratch name) :external-format :utf-8)
    (loop for line = (read-line s nil) while line do (format t "  | ~A~%" line))))

(defun show (element &optional (depth 0))
  "Prints an element tree, one element a line."
  (format t "  ~vA~A~{ ~A=~S~}~@[ ~S~]~%" (* 2 depth) "" (xml:element-get-tag element)
          (loop for name in (xml:element-get-attributes element)
                collect name collect (xml:element-get-attribute element name))
          (xml:element-get-text element))
  (dolist (child (xml:element-get-children element))
    (show child (1+ depth))))

(format t "~&== A document from nested lists~%")
;; (tag attributes content): content is text or a list of children.
(defvar *parts*
  (let ((shaft (xml:xml-list-create-element "part" :attributes '(("id" . "p2") ("name" . "Shaft Ø12")))))
    (xml:xml-list-add-child shaft (xml:xml-list-create-element "note" :text "hardened"))
    (xml:xml-list-create-element
     "assembly" :attribute '("name" . "Gearbox 日本")
     :children (list (xml:xml-list-create-element "part" :attributes '(("id" . "p1")) :text "Housing")
                     shaft))))
(format t "~S~%" *parts*)
(defvar *doc* (xml:xml-list-to-document *parts*))
(show (xml:document-get-root *doc*))

(format t "~&== Editing element by element~%")
(defvar *same-doc* nil)
(let* ((root (xml:document-get-root *doc*))
       (bolt (xml:element-create *doc* "part")))
  (xml:element-set-attribute bolt "id" "p3")
  (xml:element-set-text bolt "Bolt M8 ⚙")
  (xml:element-add-child root bolt)
  (let ((id (xml:document-select-node *doc* "/assembly/part[2]/@id")))
    (format t "Selected attribute ~A has value ~S; renamed to p2a: ~A~%"
            id (xml:attribute-get-value id) (xml:attribute-set-value id "p2a")))
  (format t "Parts: ~{~A~^, ~}~%"
          (mapcar (lambda (p) (xml:element-get-attribute p "id"))
                  (xml:element-get-named-children root "part")))
  (format t "The note's parent is ~A~%"
          (xml:element-get-tag (xml:element-get-parent
                                (xml:element-get-child (xml:document-select-node *doc* "//part[2]") "note"))))
  ;; Every handle returned holds the object once more, documents included.
  (setf *same-doc* (xml:element-get-document bolt))
  (format t "The bolt belongs to ~A, the same document as ~A~%" *same-doc* *doc*))

(format t "~&== Files~%")
(format t "write-xml (indented UTF-8): ~A~%" (xml:write-xml *doc* (scratch "parts.xml")))
(show-file "parts.xml")
(format t "write-xml :pretty-print nil: ~A~%"
        (xml:write-xml *doc* (scratch "flat.xml") :pretty-print nil))
(show-file "flat.xml")
(xml:write-xml *doc* (scratch "parts16.xml") :encoding :utf-16)
(with-open-file (s (scratch "parts16.xml") :element-type '(unsigned-byte 8))
  (format t "UTF-16: ~D bytes, starting ~{~2,'0X~^ ~}~%" (file-length s)
          (loop repeat 4 collect (read-byte s))))
(let ((again (xml:read-xml (scratch "parts16.xml"))))
  (format t "Read back from UTF-16, the root is named ~S~%"
          (xml:element-get-attribute (xml:document-get-root again) "name")))
(format t "A file that is not XML reads as ~A~%"
        (xml:read-xml (progn (with-open-file (s (scratch "broken.xml") :direction :output)
                               (write-string "<a><b></a>" s))
                             (scratch "broken.xml"))))
(destructuring-bind (&key message line column &allow-other-keys) (xml:last-error)
  (format t "and last-error says why: ~A (line ~D, column ~D)~%" message line column))
(xml:write-xml (xml:document-create) (scratch "parts.xml"))
(format t "Saving a document without a root fails (~A) and keeps parts.xml~%"
        (getf (xml:last-error) :message))
(with-open-file (s (scratch "ids.xsl") :direction :output)
  (write-string "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>
  <xsl:output method='text'/>
  <xsl:template match='/'><xsl:for-each select='//part'><xsl:value-of select='@id'/>;</xsl:for-each></xsl:template>
</xsl:stylesheet>" s))
(format t "transform-xml: ~A~%" (xml:transform-xml *doc* (scratch "ids.xsl") (scratch "ids.txt")))
(show-file "ids.txt")

(format t "~&== Whole trees as lists, in one call~%")
;; No handle for any element: the lists are ordinary Lisp data.
(let ((lists (xml:read-xml-list (scratch "parts.xml"))))
  (format t "read-xml-list: ~S~%" lists)
  (format t "document-to-list of the document read from it is the same: ~A~%"
          (equal lists (xml:document-to-list (xml:read-xml (scratch "parts.xml")))))
  (format t "list-to-document makes the document again: ~A~%"
          (xml:compare-xml *doc* (xml:list-to-document lists))))
(let ((note (xml:deserialize-xml "<note>Use <b>two</b> bolts<!-- M8 -->, not one.</note>")))
  (format t "Mixed content drops the text beside children: ~S~%  unless :mixed t keeps it: ~S~%"
          (xml:document-to-list note) (xml:document-to-list note :mixed t)))

(format t "~&== Parsing with callbacks~%")
;; A callback's nil would stop the parse: these return t.
(let ((depth 0))
  (xml:parse-xml (scratch "parts.xml")
                 :on-start-element (lambda (tag attributes)
                                     (format t "  ~vA<~A>~@[ ~S~]~%" (* 2 depth) "" tag attributes)
                                     (incf depth)
                                     t)
                 :on-end-element (lambda (tag) (declare (ignore tag)) (decf depth) t)
                 :on-characters (lambda (text) (format t "  ~vA~S~%" (* 2 depth) "" text) t)))
(let ((seen 0))
  (format t "Stopped at the second part: ~A after ~D start tags~%"
          (xml:parse-xml (scratch "parts.xml")
                         :on-start-element (lambda (tag attributes)
                                             (declare (ignore attributes))
                                             (incf seen)
                                             (not (and (string= tag "part") (> seen 2)))))
          seen))
(xml:parse-xml (scratch "broken.xml")
               :on-error (lambda (line column message)
                           (format t "Error at line ~D, column ~D: ~A~%" line column message)))
(format t "Thrown out of a callback: ~S~%"
        (catch 'found
          (xml:parse-xml (scratch "parts.xml")
                         :on-characters (lambda (text) (when (search "Bolt" text) (throw 'found text)) t))))

(format t "~&== Giving memory back~%")
(let ((root (xml:document-get-root *doc*)))
  (format t "document-dispose: ~A; the other handle still holds it: ~S~%"
          (xml:document-dispose *doc*) (xml:element-get-tag root))
  (format t "document-dispose of that one: ~A; now the root's handle is stale: ~S~%"
          (xml:document-dispose *same-doc*) (xml:element-get-tag root))
  (format t "and a third dispose has nothing to give back: ~S~%" (xml:document-dispose *doc*)))
(format t "clear-xml-cache: ~A~%" (xml:clear-xml-cache))
(ext:run-program "/bin/rm" (list "-rf" *dir*))

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
(format t "load-xml of a missing file: ~S, with the message~%  ~A~%"
        (getf (xml:load-xml (services-file "missing.xml")) :loaded)
        (getf (xml:load-xml "missing.xml") :error-message))
(xml:register-xml-loader "drawing" :file-handler (lambda (file) file (error "drawing loader is broken")))
(format t "a loader that signals an error: ~A~%"
        (handler-case (xml:load-xml (services-file "drawing.xml"))
          (error (e) (format nil "caught \"~A\"" e))))
(format t "and loading goes on: ~S~%" (xml:load-xml (services-file "assembly.xml")))

(xml:clear-xml-cache)
(ext:run-program "/bin/rm" (list "-rf" *services-dir*))
(format t "~&Done.~%")
