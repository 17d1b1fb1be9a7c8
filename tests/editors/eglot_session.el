;;; eglot_session.el --- Emacs with eglot and `glimmark lsp' on a scene -*- lexical-binding: t -*-
;; Emacs's eglot (Debian's elpa-eglot) with `glimmark lsp' on a scene with
;; an error: the diagnostic as Flymake shows it, its message, line and
;; column. Run by editor_session_test.sh:
;;   emacs --batch -l eglot_session.el
;; with GLIMMARK (the program) and SCENE (scene_with_error.gmk) set.
(require 'eglot)
(require 'flymake)
(prefer-coding-system 'utf-8)

(define-derived-mode glimmark-mode prog-mode "Glimmark"
  "Glimmark scene files."
  (setq-local comment-start "; "))
(add-to-list 'auto-mode-alist '("\\.gmk\\'" . glimmark-mode))
(add-to-list 'eglot-server-programs `(glimmark-mode . (,(getenv "GLIMMARK") "lsp")))
;; The scene's folder is the project: it is in no version control.
(add-hook 'project-find-functions (lambda (dir) (cons 'transient dir)))

(defun glimmark-wait (seconds done)
  "Serve the server's messages until DONE returns non-nil or SECONDS pass."
  (let ((end (+ (float-time) seconds)))
    (while (and (not (funcall done)) (< (float-time) end))
      (accept-process-output nil 0.02))
    (funcall done)))

(let ((failures '()))
  (condition-case problem
      (progn
        (find-file (getenv "SCENE"))
        (apply #'eglot (eglot--guess-contact))
        (flymake-start)
        (unless (glimmark-wait 10 #'flymake-diagnostics)
          (push "no diagnostics came" failures))
        (let ((found (flymake-diagnostics)))
          (unless (= (length found) 1)
            (push (format "%d diagnostics" (length found)) failures))
          (when found
            (let* ((d (car found))
                   (got (save-excursion
                          (goto-char (flymake-diagnostic-beg d))
                          ;; Emacs counts columns in characters: "é" is one.
                          (list (flymake-diagnostic-text d) (flymake-diagnostic-type d)
                                (line-number-at-pos) (current-column)
                                (- (flymake-diagnostic-end d) (flymake-diagnostic-beg d)))))
                   (expected (list (concat "glimmark: Bad Scene. Expected CAMERA, LIGHT, FRAME, "
                                           "Shape, BACKGROUND_COLOR or AMBIENCE")
                                   'eglot-error 10 11 5)))
              (unless (equal got expected)
                (push (format "diagnostic %S, expected %S" got expected) failures)))))
        (eglot-shutdown (eglot-current-server)))
    (error (push (format "error: %S" problem) failures)))
  (if failures
      (progn (message "%s" (mapconcat #'identity (reverse failures) "\n"))
             (kill-emacs 1))
    (message "eglot session: the diagnostic as expected")
    (kill-emacs 0)))
