;;;; Random calls of every function with arguments of every kind (the call
;;;; fuzzer, call-fuzz.lsp): fixed seeds, so that a failure replays with
;;;; LISP_FUZZ_SEED=<seed> LISP_FUZZ_CALLS=<calls> make fuzz-lisp.

(load (merge-pathnames "call-fuzz.lsp" *load-truename*))

(deftest random-calls-keep-to-the-contract ()
  (dolist (seed '(1 2 3))
    (check-equal (list seed nil) (list seed (quill-fuzz:run-seed seed 1000)))))
