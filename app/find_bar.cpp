#include "app/find_bar.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "app/code_editor.h"

FindBar::FindBar(CodeEditor* editor, QWidget* parent) : QWidget(parent), editor_(editor) {
    setObjectName("find_bar");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    // The letters are the ones the menus and the buttons above leave free.

    auto* find_label = new QLabel("Fin&d:", this);
    find_ = new QLineEdit(this);
    find_label->setBuddy(find_);
    auto* next = new QPushButton("Find Ne&xt", this);
    case_ = new QCheckBox("&Match case", this);
    report_ = new QLabel(this);
    auto* close = new QToolButton(this);
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip("Close (Esc)");
    close->setAccessibleName("Close");
    close->setAutoRaise(true);

    replace_label_ = new QLabel("Replace &with:", this);
    replacement_ = new QLineEdit(this);
    replace_label_->setBuddy(replacement_);
    replace_button_ = new QPushButton("&Replace", this);
    replace_all_button_ = new QPushButton("Replace &All", this);

    grid->addWidget(find_label, 0, 0);
    grid->addWidget(find_, 0, 1);
    grid->addWidget(next, 0, 2);
    grid->addWidget(case_, 0, 3);
    grid->addWidget(report_, 0, 4);
    grid->addWidget(close, 0, 5);
    grid->addWidget(replace_label_, 1, 0);
    grid->addWidget(replacement_, 1, 1);
    grid->addWidget(replace_button_, 1, 2);
    grid->addWidget(replace_all_button_, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    // Tab goes round the bar: from the find field to the replacement, then
    // the buttons, and never on into the editor, which keeps Tab as text.
    setTabOrder(find_, replacement_);
    setTabOrder(replacement_, next);
    setTabOrder(next, replace_button_);
    setTabOrder(replace_button_, replace_all_button_);
    setTabOrder(replace_all_button_, case_);
    setTabOrder(case_, close);
    connect(find_, &QLineEdit::returnPressed, this, &FindBar::find_next);
    connect(next, &QPushButton::clicked, this, &FindBar::find_next);
    connect(replacement_, &QLineEdit::returnPressed, this, &FindBar::replace);
    connect(replace_button_, &QPushButton::clicked, this, &FindBar::replace);
    connect(replace_all_button_, &QPushButton::clicked, this, &FindBar::replace_all);
    connect(close, &QToolButton::clicked, this, &FindBar::close_bar);
    connect(find_, &QLineEdit::textEdited, report_, &QLabel::clear);
    hide();
}

void FindBar::open(bool replace) {
    for (QWidget* w :
         {static_cast<QWidget*>(replace_label_), static_cast<QWidget*>(replacement_),
          static_cast<QWidget*>(replace_button_), static_cast<QWidget*>(replace_all_button_)})
        w->setVisible(replace);
    // A selection within one line is what the user wants to find, most often.
    const QString selected = editor_->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        find_->setText(selected);
    report_->clear();
    show();
    find_->setFocus();
    find_->selectAll();
}

bool FindBar::replacing() const { return isVisible() && replacement_->isVisible(); }

QString FindBar::report() const { return report_->text(); }

bool FindBar::find_next() {
    bool wrapped = false;
    const bool found = editor_->find_forward(find_->text(), case_->isChecked(), &wrapped);
    if (!found)
        report_->setText(QString("\"%1\" was not found.").arg(find_->text()));
    else
        report_->setText(wrapped ? "Went on from the top." : QString());
    return found;
}

void FindBar::replace() {
    if (editor_->selection_matches(find_->text(), case_->isChecked()))
        editor_->textCursor().insertText(replacement_->text());
    find_next();
}

int FindBar::replace_all() {
    const int count = editor_->replace_all(find_->text(), replacement_->text(), case_->isChecked());
    if (count == 0)
        report_->setText(QString("\"%1\" was not found.").arg(find_->text()));
    else if (replacement_->text().isEmpty())
        report_->setText(
            QString("%1 removed (replaced with nothing); Undo brings %2 back.")
                .arg(count == 1 ? QString("1 match") : QString("%1 matches").arg(count),
                     count == 1 ? "it" : "them"));
    else
        report_->setText(count == 1 ? QString("1 match replaced.")
                                    : QString("%1 matches replaced.").arg(count));
    return count;
}

void FindBar::close_bar() {
    hide();
    editor_->setFocus();
}

bool FindBar::focusNextPrevChild(bool next) {
    QList<QWidget*> chain;
    for (QWidget* w = find_;;) {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) chain << w;
        w = w->nextInFocusChain();
        if (w == find_ || !isAncestorOf(w)) break;
    }
    const int at = chain.indexOf(focusWidget());
    if (chain.isEmpty() || at < 0) return QWidget::focusNextPrevChild(next);
    const int count = static_cast<int>(chain.size());
    chain[(at + (next ? 1 : count - 1)) % count]->setFocus(next ? Qt::TabFocusReason
                                                                : Qt::BacktabFocusReason);
    return true;
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close_bar();
        return;
    }
    QWidget::keyPressEvent(event);
}
