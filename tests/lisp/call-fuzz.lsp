;;;; Seeded random calls of every function of package XML with arguments of
;;;; every kind (live, stale and forged handles, odd numbers and lists, strings
;;;; XML cannot hold, files of every sort) and callbacks that call again,
;;;; dispose, clear, collect or leave by every kind of Lisp exit. A Lisp error
;;;; fails unless the call earned it (program-error for a wrong count or key,
;;;; type-error for list items of the XML-LIST- functions, a callback that is
;;;; no function). Text and mixed lists must read back as they were written.
;;;; After every call no collector root or value-stack slot may be left
;;;; (loaders aside); after a top-level CLEAR-XML-CACHE no document, node or
;;;; entry. The last "seed N" line printed names the batch to replay (traced
;;;; with LISP_FUZZ_TRACE). Loaded by test-xml-call-fuzz.lsp and by
;;;; `make fuzz-lisp` (MAIN), after the probe and host test modules.

(defpackage "QUILL-FUZZ"
  (:use "COMMON-LISP")
  (:export "RUN-SEED" "MAIN" "*CALLS-MADE*"))

(in-package "QUILL-FUZZ")

;;; Our own generator: the same seed gives the same calls on every build.

(defvar *state* 1)

(defun seed-random (seed)
  (setf *state* (logand (logxor (* (1+ seed) #x9E3779B97F4A) #x5DEECE66D) #xFFFFFFFFFFFF)))

(defun rnd (n)
  "A number below n (n at most 2^32)."
  (setf *state* (logand (+ (* *state* #x5DEECE66D) #xB) #xFFFFFFFFFFFF))
  (mod (ash *state* -16) n))

(defun chance (percent) (< (rnd 100) percent))
(defun pick (sequence) (elt sequence (rnd (length sequence))))

;;; A seed's world: a folder of files and pools of the handles and lists
;;; calls handed out, live or stale.

(defvar *dir* nil)
(defvar *handles* (make-array 0 :adjustable t :fill-pointer t))
(defvar *lists* (make-array 0 :adjustable t :fill-pointer t))
(defvar *recent* '() "The last handles handed out, most likely still live.")
(defconstant +pool-size+ 160)

(defun remember (pool item)
  (if (< (fill-pointer pool) +pool-size+)
      (vector-push-extend item pool)
      (setf (aref pool (rnd +pool-size+)) item)))

(defun file (name) (concatenate 'string *dir* name))

(defun write-file (name text)
  (with-open-file (s (file name) :direction :output :if-exists :supersede :external-format :utf-8)
    (write-string text s)))

(defun nest (depth)
  (format nil "~{~A~}x~{~A~}" (make-list depth :initial-element "<d>") (make-list depth :initial-element "</d>")))

(defun entity-bomb ()
  (format nil "<!DOCTYPE r [<!ENTITY e0 \"lol\">~{<!ENTITY e~D \"~{&e~D;~}\">~}]><r>&e10;</r>"
          (loop for i from 1 to 10 collect i collect (make-list 10 :initial-element (1- i)))))

(defun style (&rest body)
  (format nil "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>~{~A~}</xsl:stylesheet>" body))

(defun make-files ()
  (loop for (name text)
          on (list "good.xml" "<r a='1'><c b='2'>text</c><c/><p:x xmlns:p='urn:p'>t<i/>u</p:x></r>"
                   "unicode.xml" (format nil "<r t='~A'>~A<c/></r>" (wide-text) (wide-text))
                   "probe.xml" "<probe name='n'><c/></probe>" "probe-fail.xml" "<probe fail='1'/>"
                   "load.xml" "<fuzz-load a='1'/>" "bad.xml" "<r><c>text</d></r>" "bomb.xml" (entity-bomb)
                   "ext.xml" (format nil "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://~Agood.xml\">]><r>&x;</r>" *dir*)
                   "deep.xml" (nest 1100) "empty.xml" "" "nul.xml" (format nil "<r>a~Cb</r>" (code-char 0))
                   "style.xsl" (style "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>")
                   "bad.xsl" (style "<xsl:template match='/'><xsl:bogus/></xsl:template>")
                   ;; Style sheets that stop, recurse without end, read other files, write text.
                   "stop.xsl" (style "<xsl:template match='/'><o><xsl:message terminate='yes'>x</xsl:message></o></xsl:template>")
                   "loop.xsl" (style "<xsl:template match='/'><xsl:call-template name='l'/></xsl:template>"
                                     "<xsl:template name='l'><x><xsl:call-template name='l'/></x></xsl:template>")
                   "doc.xsl" (style "<xsl:template match='/'><o><xsl:copy-of select=\"document('good.xml')\"/></o></xsl:template>")
                   "text.xsl" (style "<xsl:output method='text'/><xsl:template match='/'><xsl:value-of select='.'/></xsl:template>")
                   "noperm.xml" "<r/>")
        by #'cddr
        do (write-file name text))
  (ensure-directories-exist (file "sub/"))
  (ext:run-program "/bin/chmod" (list "000" (file "noperm.xml")) :output nil :error nil))

(defvar *folders-made* 0)
(defun make-temp-directory ()
  "A new folder, in memory where the system has one (saves sync their
files); never a name used before in this process."
  (loop for i = (incf *folders-made*)
        for dir = (format nil "~:[/tmp/~;/dev/shm/~]quill-lisp-fuzz-~D-~D/" (probe-file "/dev/shm/") (si:getpid) i)
        unless (probe-file dir) do (ensure-directories-exist dir) (return dir)))

(defun wide-text () (coerce (list #\a (code-char #xE9) (code-char #x6F22) (code-char #x1F600)) 'string))

(defun text-with (code) (format nil "a~Cb" (code-char code)))

(defun odd-strings ()
  "Strings of unusual make: base, with a fill pointer, displaced, adjustable."
  (let ((s (make-array 8 :element-type 'character :fill-pointer 3 :initial-element #\c)))
    (list (coerce "r" 'base-string)
          s
          (make-array 1 :element-type 'character :displaced-to "xcx" :displaced-index-offset 1)
          (make-array 3 :element-type 'character :adjustable t :initial-contents "abc"))))

(defparameter *tags*
  '("r" "c" "p:x" "probe" "fuzz-load" "a" "xmlns" "xmlns:p" "xml:space" "xmlns:xml" "1bad" ""
    "a b" "x:y:z" "*" ".//c" "c[@b='2']" "bad[" "q:c" "p:c"))

(defparameter *paths*
  '("/r" "/r/c" "/r/c/@b" "//@*" "//text()" "/r/c[1]/@b" "count(//c)" "/" "bad[" "" "//*"
    "//comment()" "/r/@a" "/*/*[2]" "//p:x" "//@xmlns:p" "/probe/@name" "id('x')"))

(defun any-tag ()
  (case (rnd 8)
    (0 (pick (odd-strings)))
    (1 (concatenate 'string "p:" (wide-text)))
    (2 (make-string (+ 1 (rnd 3000)) :initial-element #\n))
    (t (pick *tags*))))

(defun any-text ()
  (case (rnd 16)
    (0 (text-with 1)) (1 (text-with #xFFFE)) (2 (text-with #xFFFF)) (3 (text-with 0))
    (4 (text-with #xD800)) (5 (text-with #xDFFF)) (6 (wide-text))
    (7 (make-string (+ 1 (rnd 20000)) :initial-element #\x))
    (8 (if (chance 5) (make-string 300000 :initial-element (code-char #x10000)) "v"))
    (9 "   ") (10 "") (11 "a&b<c>\"'") (12 (pick (odd-strings))) (13 "urn:p")
    (t (pick '("text" "1" "preserve" "v")))))

(defun xml-text ()
  (case (rnd 14)
    (0 "<r/>") (1 "<r a='1'><c>t</c><c/></r>") (2 "<r>") (3 "")
    (4 "<?xml version='1.0' encoding='UTF-16'?><r/>") (5 (entity-bomb))
    (6 (format nil "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://~Agood.xml\">]><r>&x;</r>" *dir*))
    (7 (nest (pick '(10 999 1001 2000))))
    (8 "<probe name='q'/>") (9 "<r xmlns:p='urn:p'><p:c p:a='1'/>t<!--c--><?pi x?></r>")
    (10 "<!DOCTYPE r [<!ATTLIST r d CDATA 'def'>]><r/>")
    (11 (format nil "<r>~A</r>" (wide-text)))
    (12 (format nil "<r>~C</r>" (code-char 1)))
    (t (any-text))))

(defun file-name ()
  (let ((name (pick '("good.xml" "unicode.xml" "probe.xml" "probe-fail.xml" "load.xml" "bad.xml"
                      "bomb.xml" "ext.xml" "deep.xml" "empty.xml" "nul.xml" "style.xsl" "bad.xsl"
                      "sub/" "sub" "noperm.xml" "missing.xml" "out.xml" "out2.xml" "sub/out.xml"
                      "nodir/out.xml" ""))))
    (case (rnd 5)
      (0 name)                                  ; relative: the folder is the current one
      (1 (concatenate 'string "file://" (file name)))
      (t (file name)))))

(defun safe-output-p (value)
  "Whether writing to value stays inside the folder (it may be no string)."
  (or (not (stringp value))
      (let ((name (string-left-trim " " value)))
        (and (not (search ".." name))
             (or (and (> (length name) 0) (char/= (char name 0) #\/) (not (search ":" name)))
                 (eql 0 (search *dir* name))
                 (eql 0 (search (concatenate 'string "file://" *dir*) name)))))))

(defun circular (list) (setf (cdr (last list)) list) list)

(defun element-list (depth)
  "A random element list, mostly well made."
  (let ((tag (if (chance 90) (pick '("r" "c" "p:x" "q" "d")) (any-value 0))))
    (list tag
          (case (rnd 10)
            ((0 1 2 3) nil)
            (4 (list (cons "a" (any-text)) (cons "xmlns:p" "urn:p")))
            (5 (list (list "a" "1")))                 ; a two-item list, no pair
            (6 (pick (list 5 "x" (cons "a" "1") (circular (list (cons "a" "1"))))))
            (7 (list (cons (any-tag) (any-text)) (cons 1 2) 7))
            (t (list (cons "b" "2"))))
          (case (rnd 8)
            ((0 1) nil)
            (2 (any-text))
            (3 (pick (list 3 :k (cons "t" "u") (circular (list (list "c" nil nil))))))
            (t (if (< depth 4)
                   (loop repeat (rnd 4)
                         collect (if (chance 15) (any-text) (element-list (1+ depth))))
                   "leaf"))))))

(defun special-list ()
  (case (rnd 5)
    (0 (let ((e (list "r" nil nil))) (setf (third e) (list e)) e)) ; its own child
    (1 (let ((e (list "d" nil nil)))                                ; deeper than any limit
         (dotimes (i 1100 e) (setf e (list "d" nil (list e))))))
    (2 (cons "r" "dotted"))
    (3 (circular (list "r" nil)))
    (t (list "r" nil (list "t" (list "c" nil nil) "u")))))

(defun a-list ()
  (cond ((and (> (fill-pointer *lists*) 0) (chance 30)) (aref *lists* (rnd (fill-pointer *lists*))))
        ((chance 10) (special-list))
        (t (element-list 0))))

(defun handle ()
  (cond ((and *recent* (chance 40)) (pick *recent*))
        ((and (> (fill-pointer *handles*) 0) (chance 75)) (aref *handles* (rnd (fill-pointer *handles*))))
        (t (forged-handle))))

(defun handle-of (predicate)
  "A pooled handle that satisfies predicate, when one comes up quickly."
  (loop repeat 6 for h = (handle) when (funcall predicate h) do (return h) finally (return h)))

(defun forged-handle ()
  (let ((real (and (> (fill-pointer *handles*) 0) (aref *handles* (rnd (fill-pointer *handles*))))))
    (case (rnd 5)
      (0 (xml::make-xml-document-struct))
      (1 (xml::make-xml-element-struct :ptr (pick (list 12345 nil "x" (si:allocate-foreign-data :void 8)))))
      (2 (xml::make-xml-attribute-struct :ptr (si:allocate-foreign-data 'xml:xml-attribute-struct (rnd 50))))
      (t (if real                                  ; another kind's pointer in this kind's handle
             (let ((ptr (slot-value real 'xml::ptr)))
               (case (rnd 3)
                 (0 (xml::make-xml-document-struct :ptr ptr))
                 (1 (xml::make-xml-element-struct :ptr ptr))
                 (t (xml::make-xml-attribute-struct :ptr ptr))))
             (xml::make-xml-element-struct))))))

(define-condition fuzz-signal (error) ())

(defvar *exits* '() "Closures that leave to each guard in force, innermost first.")
(defvar *depth* 0 "Nesting of calls made from callbacks.")
(defconstant +max-depth+ 3)

(defun callback-action ()
  "What a callback does each time it is called: its result, or an exit."
  (let ((r (rnd 100)))
    (cond ((< r 35) t) ((< r 42) nil) ((< r 45) 1)
          ((< r 75) (when (< *depth* +max-depth+) (fuzz-call)) t)
          ((< r 80) (xml:document-dispose (handle)) t)
          ((< r 83) (xml:clear-xml-cache) t)
          ((< r 84) (si:gc t) t)
          ((< r 87) (error 'fuzz-signal))
          (t (funcall (pick *exits*))))))

(defun callback (&rest args) (declare (ignore args)) (callback-action))

(defparameter *misc*
  (list nil t 0 -1 most-positive-fixnum (expt 2 100) (- (expt 3 70)) 1.5 -0.0 1d300 1/3 #c(1 2)
        #\a 'foo :utf-16 :utf-8 :pretty-print :mixed :encoding :source :database :text
        (make-hash-table) (vector 1 2) #*101 (find-package "XML") #p"/nonexistent/x.xml"
        #'car 'callback))

(defun any-value (depth)
  (case (rnd 12)
    ((0 1 2) (handle)) (3 (pick *misc*)) (4 (any-text)) (5 (any-tag)) (6 (file-name)) (7 (pick *paths*))
    (8 (if (< depth 2) (a-list) (list 1 2)))
    (9 (pick (list (cons 1 2) (list "a" "b") (circular (list 1 2)) (list (handle)))))
    (10 (xml-text))
    (t (if (chance 50) #'callback (si:allocate-foreign-data :pointer-void 0)))))

(defun value-for (role)
  "An argument for role: mostly one that fits, else anything."
  (if (chance (if (member role '(:callback :loader)) 95 75))
      (ecase role
        (:document (handle-of #'xml:xml-document-struct-p))
        (:element (handle-of #'xml:xml-element-struct-p))
        (:attribute (handle-of #'xml:xml-attribute-struct-p))
        (:tag (any-tag))
        (:path (if (chance 70) (pick *paths*) (any-tag)))
        (:text (any-text))
        (:file-in (file-name))
        (:file-out (pick (list (file "out.xml") "out2.xml" (file "sub/o.xml") (file "good.xml")
                               (file "sub/") (file "nodir/o.xml") (concatenate 'string "file://" (file "out3.xml")))))
        (:stylesheet (file (pick '("style.xsl" "bad.xsl" "good.xml" "missing.xsl" "deep.xml" "out.xml"
                                   "stop.xsl" "loop.xsl" "doc.xsl" "text.xsl"))))
        (:xml-text (xml-text))
        (:element-list (a-list))
        (:pair (pick (list (cons "a" "1") (cons "xmlns:p" "urn:p") (list "a" "1") 3)))
        (:pairs (pick (list nil (list (cons "a" "1")) 4 (circular (list (cons "b" "2"))))))
        (:element-lists (pick (list nil (list (a-list)) "text" (circular (list (list "c" nil nil))))))
        (:flag (pick '(t nil 1 :yes)))
        (:encoding (pick '(:utf-16 :utf-8 :latin-1 nil "UTF-16")))
        (:source (pick '(:database :direct nil 3)))
        ((:callback :loader) #'callback))
      (any-value 0)))

;;; (function required-roles key-roles result-kind &optional may-type-error)

(defparameter *functions*
  (let ((sax '((:on-start-document :callback) (:on-end-document :callback)
               (:on-start-element :callback) (:on-end-element :callback)
               (:on-characters :callback) (:on-error :callback))))
    `((xml:read-xml (:file-in) () :document)
      (xml:write-xml (:document :file-out) ((:pretty-print :flag) (:encoding :encoding)) :boolean)
      (xml:transform-xml (:document :stylesheet :file-out) () :boolean)
      (xml:compare-xml (:document :document) () :boolean)
      (xml:serialize-xml (:document) () :string)
      (xml:deserialize-xml (:xml-text) () :document)
      (xml:unmarshal-xml (:document) () :object)
      (xml:get-root-tag (:file-in) () :string)
      (xml:load-xml (:file-in) ((:source :source)) :load-result)
      (xml:register-xml-loader (:tag) ((:file-handler :loader) (:document-handler :loader)) :registered)
      (xml:document-create () () :document)
      (xml:document-dispose (:document) () :boolean)
      (xml:document-get-root (:document) () :element)
      (xml:document-set-root (:document :element) () :element)
      (xml:document-select-node (:document :path) () :node)
      (xml:attribute-get-value (:attribute) () :string)
      (xml:attribute-set-value (:attribute :text) () :boolean)
      (xml:element-create (:document :tag) () :element)
      (xml:element-get-tag (:element) () :string)
      (xml:element-get-child (:element :path) () :element)
      (xml:element-get-children (:element) () :elements)
      (xml:element-get-named-children (:element :tag) () :elements)
      (xml:element-add-child (:element :element) () :boolean)
      (xml:element-get-text (:element) () :string)
      (xml:element-set-text (:element :text) () :boolean)
      (xml:element-get-attributes (:element) () :strings)
      (xml:element-get-attribute (:element :tag) () :string)
      (xml:element-set-attribute (:element :tag :text) () :boolean)
      (xml:element-get-parent (:element) () :element)
      (xml:element-get-document (:element) () :document)
      (xml:xml-list-create-element (:tag) ((:attribute :pair) (:attributes :pairs) (:child :element-list)
                                           (:children :element-lists) (:text :text))
                                   :list)
      (xml:xml-list-add-attribute (:element-list :tag :text) () :list t)
      (xml:xml-list-add-child (:element-list :element-list) () :list t)
      (xml:xml-list-to-document (:element-list) () :document t)
      (xml:element-to-list (:element) ((:mixed :flag)) :list)
      (xml:document-to-list (:document) ((:mixed :flag)) :list)
      (xml:read-xml-list (:file-in) ((:mixed :flag)) :list)
      (xml:list-to-document (:element-list) () :document)
      (xml:clear-xml-cache () () :true)
      (xml:parse-xml (:file-in) ,sax :boolean))))

(defparameter *weighted*
  (coerce (loop for signature in *functions*
                append (make-list (case (first signature)
                                    ((xml:parse-xml) 5)
                                    ((xml:load-xml xml:read-xml xml:deserialize-xml) 2)
                                    (t 1))
                                  :initial-element signature))
          'vector)
  "Calls that reach callbacks or make documents come up more often.")

(defun shuffle (list)
  (let ((v (coerce list 'vector)))
    (loop for i from (1- (length v)) downto 1 do (rotatef (aref v i) (aref v (rnd (1+ i)))))
    (coerce v 'list)))

(defun make-call (signature)
  "(arguments bad-count-or-keys callbacks-all-functions) for a call of signature."
  (destructuring-bind (function roles keys kind &optional type-error) signature
    (declare (ignore function kind type-error))
    (let* ((args (mapcar #'value-for roles))
           (chosen (remove-if-not (lambda (k) (declare (ignore k)) (chance 60)) keys))
           (key-args (loop for (key role) in (shuffle chosen) append (list key (value-for role))))
           (bad nil))
      (when (and keys (chance 20)) (setf key-args (append key-args key-args))) ; repeated keys count once
      (case (rnd 40)
        (0 (setf bad t args (if roles (butlast args) (list (any-value 1)))))
        (1 (setf bad t key-args (if keys (append key-args (list (pick '(:bogus :mixed :text))))
                                    (list (any-value 1)))))
        (2 (when keys (setf bad t key-args (append key-args (list :bogus 1)))))
        (3 (when keys                     ; many repeated keys: the first of each counts
             (setf key-args (append key-args (loop repeat (+ 30 (rnd 300))
                                                   append (let ((key (pick keys)))
                                                            (list (first key) (value-for (second key))))))))))
      (let ((callbacks (loop for (key value) on key-args by #'cddr
                             when (member (second (assoc key keys)) '(:callback :loader))
                               collect value)))
        (list (append args key-args) bad
              (every (lambda (c) (or (null c) (eq c #'callback))) callbacks))))))

(defvar *seed* 0)
(defvar *index* 0)
(defvar *failures* '())
(defvar *calls-made* 0)
(defvar *registrations* 0 "REGISTER-XML-LOADER calls: loaders keep collector roots.")
(defvar *trace* nil)

(defun brief (value &optional (depth 0))
  "value cut down for printing: long strings and long or deep lists shortened."
  (cond ((stringp value) (if (> (length value) 40)
                             (format nil "<~D chars: ~S...>" (length value) (subseq value 0 12))
                             value))
        ((consp value) (if (> depth 3)
                           '|...|
                           (loop for rest = value then (cdr rest)
                                 for i from 0
                                 while (consp rest)
                                 if (= i 6) collect '|...| and do (loop-finish)
                                 else collect (brief (car rest) (1+ depth)))))
        (t value)))

(defun describe-call (function args)
  (let ((*print-circle* nil) (*print-length* 8) (*print-level* 5) (*print-readably* nil))
    (prin1-to-string (cons function (brief args)))))

(defun fail (function args format-control &rest format-args)
  (let ((text (format nil "seed ~D call ~D depth ~D: ~A: ~?" *seed* *index* *depth*
                      (describe-call function args) format-control format-args)))
    (when (< (length *failures*) 20) (format t "~&FUZZ FAILURE ~A~%" text) (finish-output))
    (push text *failures*)))

(defun result-ok-p (kind value)
  (flet ((list-of (predicate) (and (listp value) (every predicate value))))
    (ecase kind
      (:document (or (null value) (xml:xml-document-struct-p value)))
      (:element (or (null value) (xml:xml-element-struct-p value)))
      (:node (or (null value) (xml:xml-element-struct-p value) (xml:xml-attribute-struct-p value)))
      (:elements (list-of #'xml:xml-element-struct-p))
      (:strings (list-of #'stringp))
      (:string (or (null value) (stringp value)))
      (:boolean (member value '(t nil)))
      (:true (eq value t))
      (:registered (or (eq value t) (null value))) ; nil for a tag holding a NUL
      (:list (listp value))
      (:object (or (null value) (si:foreign-data-p value)))
      ;; nil only for a file name holding a NUL, which the module refuses
      (:load-result (or (null value) (member (getf value :loaded :none) '(t nil)))))))

(defun remember-handle (handle)
  (remember *handles* handle)
  (push handle *recent*)
  (when (> (length *recent*) 8) (setf *recent* (subseq *recent* 0 8))))

(defun harvest (kind value)
  "Pools the handles and lists a call handed out; frees unmarshalled objects."
  (case kind
    ((:document :element :node) (when value (remember-handle value)))
    (:elements (dolist (h value) (when (chance 30) (remember-handle h))))
    (:list (when (and value (chance 50)) (remember *lists* value)))
    (:object (when value (xmlprobe:free-object value)))))

;; What a document holds reads back the same: its text through
;; DESERIALIZE-XML, its mixed lists through LIST-TO-DOCUMENT.
(defun check-round-trip (function args value)
  (let ((copy (case function
                (xml:serialize-xml (xml:deserialize-xml value))
                (xml:document-to-list (and (getf (rest args) :mixed) (xml:list-to-document value))))))
    ;; Text nodes side by side are written as one: what is read back is
    ;; written again as it was, rather than compared node by node.
    (unless (and copy (equal value (if (eq function 'xml:serialize-xml)
                                       (xml:serialize-xml copy)
                                       (xml:document-to-list copy :mixed t))))
      (fail function args "does not read back as the same document"))
    (when copy (xml:document-dispose copy))))

(defun allowed-error-p (condition signature bad all-callbacks)
  (or (and bad (typep condition 'program-error))
      (and (fifth signature) (typep condition 'type-error))
      (not all-callbacks)))

(defun guarded (thunk)
  "Runs thunk under every kind of exit a callback may take to here."
  (let ((tag (list 'guard)))
    (block guard
      (tagbody
         (catch tag
           (handler-case
               (restart-case
                   (let ((*exits* (list* (lambda () (throw tag nil))
                                         (lambda () (return-from guard :returned))
                                         (lambda () (go out))
                                         (lambda () (invoke-restart 'fuzz-restart))
                                         *exits*)))
                     (return-from guard (funcall thunk)))
                 (fuzz-restart () (return-from guard :restarted)))
             (fuzz-signal () (return-from guard :signalled))))
         (return-from guard :thrown)
       out)
      :went)))

(defun fuzz-call ()
  "One random call, its result or error judged."
  (let* ((signature (pick *weighted*))
         (function (first signature)))
    (destructuring-bind (args bad all-callbacks) (make-call signature)
      (when (eq function 'xml:write-xml) (unless (safe-output-p (second args)) (setf (second args) "out4.xml")))
      (when (eq function 'xml:transform-xml) (unless (safe-output-p (third args)) (setf (third args) "out5.xml")))
      (when *trace* (format t "~&~D/~D ~A~%" *index* *depth* (describe-call function args)) (finish-output))
      (incf *calls-made*)
      (when (eq function 'xml:register-xml-loader) (incf *registrations*))
      (let ((*depth* (1+ *depth*)))
        (handler-case
            (let ((value (guarded (lambda () (apply function args)))))
              (cond ((member value '(:returned :restarted :signalled :thrown :went)))
                    ((not (result-ok-p (fourth signature) value))
                     (fail function args "result ~S" (brief value)))
                    (t (when (and value (not bad)
                                  (or (eq function 'xml:serialize-xml)
                                      (and (eq function 'xml:document-to-list) (getf (rest args) :mixed))))
                         (check-round-trip function args value))
                       (harvest (fourth signature) value))))
          (serious-condition (c)
            (unless (and (typep c 'error) (allowed-error-p c signature bad all-callbacks))
              (fail function args "~S: ~A" (type-of c) c))))))))

(defun check-nothing-left ()
  "After a top-level clear no document, node or entry may remain."
  (xml:clear-xml-cache)
  (let ((counts (list (xmlprobe:live-documents) (xmlprobe:live-nodes) (xmlprobe:cache-entries))))
    (unless (equal counts '(0 0 0))
      (fail 'xml:clear-xml-cache '() "left documents, nodes, entries ~S" counts))))

(defun register-every-tag ()
  "Every tag a file or call may use gets its loader first, so that which
registration wins does not depend on earlier batches."
  (dolist (tag (list* "r" "probe" "fuzz-load" "d" "q" *tags*))
    (xml:register-xml-loader tag :file-handler #'callback :document-handler #'callback)))

(defun run-seed (seed calls)
  "Makes calls random calls from seed; returns the failures (nil when none)."
  (let ((*seed* seed) (*failures* '()) (*dir* (make-temp-directory)) (*index* 0)
        (*handles* (make-array 0 :adjustable t :fill-pointer t))
        (*lists* (make-array 0 :adjustable t :fill-pointer t))
        (*recent* '())
        (cwd (ext:getcwd))
        (base (xmltest:stack-base)))
    (seed-random seed)
    (unwind-protect
         (progn
           (ext:chdir *dir*)
           (make-files)
           (register-every-tag)
           (check-nothing-left)
           (dotimes (i calls)
             (setf *index* i)
             (let ((roots (xmltest:root-count)) (registrations *registrations*))
               (guarded #'fuzz-call)
               ;; Only loaders keep roots once a call is over.
               (unless (or (eql roots (xmltest:root-count)) (/= registrations *registrations*))
                 (fail 'root-count '() "collector roots ~D before, ~D after" roots (xmltest:root-count))))
             (unless (eql base (xmltest:stack-base))
               (fail 'stack-base '() "value stack base moved"))
             (when (chance 1) (check-nothing-left)))
           (setf *index* calls)
           (check-nothing-left))
      (ext:chdir cwd)
      (ext:run-program "/bin/rm" (list "-rf" *dir*) :output nil :error nil))
    (reverse *failures*)))

(defun env-integer (name default)
  (or (parse-integer (or (ext:getenv name) "") :junk-allowed t) default))

(defun main ()
  "The long run: LISP_FUZZ_CALLS calls (default one million) in batches of
LISP_FUZZ_BATCH, seeds counting up from LISP_FUZZ_SEED; exit 1 on failure."
  (let* ((calls (env-integer "LISP_FUZZ_CALLS" 1000000))
         (batch (max 1 (env-integer "LISP_FUZZ_BATCH" 1000)))
         (first-seed (env-integer "LISP_FUZZ_SEED" 1))
         (*trace* (ext:getenv "LISP_FUZZ_TRACE"))
         (failures (loop for seed from first-seed
                         for done from 0 by batch
                         while (< done calls)
                         do (format t "~&seed ~D~%" seed) (finish-output)
                         sum (length (run-seed seed (min batch (- calls done)))))))
    (format t "~&~D calls from seed ~D (~D with nested ones), ~D failures~%" calls first-seed *calls-made* failures)
    (finish-output)
    (ext:quit (if (zerop failures) 0 1))))
