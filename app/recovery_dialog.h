#pragma once

#include <QDialog>
#include <QString>

class QAbstractButton;
class QLabel;
class QPlainTextEdit;

// Asks whether to take back the text of a recovery copy, showing that text
// (read-only, highlighted as in the editor) below the question.
class RecoveryDialog : public QDialog {
    Q_OBJECT
  public:
    RecoveryDialog(QWidget* owner, const QString& question, const QString& kept_text);

    // Restore unless Discard was pressed: Enter and Escape keep the copy's
    // text, which is lost only on purpose.
    bool restore() const { return !discarded_; }

    QLabel* question() const { return question_; }
    QPlainTextEdit* preview() const { return preview_; }
    QAbstractButton* restore_button() const { return restore_; }
    QAbstractButton* discard_button() const { return discard_; }

  private:
    QLabel* question_;
    QPlainTextEdit* preview_;
    QAbstractButton* restore_;
    QAbstractButton* discard_;
    bool discarded_ = false;
};
