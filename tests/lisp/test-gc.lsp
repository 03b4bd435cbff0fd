;;;; What the collector must not take: objects on the value stack and
;;;; objects held by C++ through LispRoot.

(deftest value-stack-objects-survive-collection ()
  (xmltest:reset-collected)
  (check-equal 0 (xmltest:stack-objects 200 #'full-gc))
  ;; Once the handler returned they are garbage.
  (full-gc)
  (check (>= (xmltest:collected) 100)))

(deftest rooted-objects-survive-until-released ()
  (xmltest:reset-collected)
  (let ((before (xmltest:root-count)))
    (check-equal 200 (xmltest:root-objects 200))
    (check-equal (+ before 200) (xmltest:root-count))
    (full-gc)
    (check-equal 0 (xmltest:collected))
    (xmltest:release-roots)
    (check-equal before (xmltest:root-count))
    (full-gc)
    (check (>= (xmltest:collected) 100))
    ;; Many short-lived roots do not pile up.
    (dotimes (i 20) (xmltest:root-objects 100) (xmltest:release-roots))
    (check-equal before (xmltest:root-count))))

(deftest root-copies-and-moves () (check (xmltest:root-semantics)))

(deftest arguments-survive-collection-during-a-callback ()
  ;; The handler's arguments live only on the value stack while the
  ;; callback collects and allocates.
  (let ((r (xmltest:call (lambda (a b)
                           (full-gc)
                           (make-list 10000)
                           (list a b))
                         (format nil "fresh ~D" 1) (list (format nil "fresh ~D" 2)))))
    (check-equal '("fresh 1" ("fresh 2")) r)))
