#include "app/recovery_dialog.h"

#include <QDialogButtonBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/code_editor.h"
#include "app/highlighter.h"

RecoveryDialog::RecoveryDialog(QWidget* owner, const QString& question, const QString& kept_text)
    : QDialog(owner) {
    setWindowTitle("Glimmark: Recovered Text");
    setObjectName("recoveryDialog");
    auto* layout = new QVBoxLayout(this);
    question_ = new QLabel(question, this);
    question_->setWordWrap(true);
    question_->setTextFormat(Qt::PlainText);
    layout->addWidget(question_);

    preview_ = new QPlainTextEdit(this);
    preview_->setObjectName("recoveryPreview");
    preview_->setReadOnly(true);
    preview_->setLineWrapMode(QPlainTextEdit::NoWrap);
    preview_->setFont(fixed_editor_font());
    // Tab stops as in the editor.
    preview_->setTabStopDistance(4 * QFontMetricsF(preview_->font()).averageCharWidth());
    new SceneHighlighter(preview_->document());
    preview_->setPlainText(kept_text);
    preview_->setMinimumSize(640, 320);
    layout->addWidget(preview_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* restore = buttons->addButton("&Restore", QDialogButtonBox::AcceptRole);
    QPushButton* discard = buttons->addButton("&Discard", QDialogButtonBox::DestructiveRole);
    restore->setDefault(true);
    restore_ = restore;
    discard_ = discard;
    connect(restore, &QPushButton::clicked, this, &QDialog::accept);
    connect(discard, &QPushButton::clicked, this, [this] {
        discarded_ = true;
        reject();
    });
    layout->addWidget(buttons);
    // Enter restores from anywhere, the preview included.
    restore->setFocus();
}
