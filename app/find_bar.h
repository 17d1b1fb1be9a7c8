#pragma once

#include <QWidget>

class CodeEditor;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Find and Replace: a bar below the editor that stays open while the user
// goes on typing in the editor. Enter in the find field finds the next match,
// Enter in the replace field replaces it, Escape closes the bar.
class FindBar : public QWidget {
    Q_OBJECT
  public:
    FindBar(CodeEditor* editor, QWidget* parent);

    // Shows the bar, with the replace row or without, the find field holding
    // the editor's selection (when that is part of one line) and the focus.
    void open(bool replace);
    // Selects the next match after the caret, from the top again at the end.
    bool find_next();
    // Replaces the selection if it is a match, then finds the next one.
    void replace();
    // Replaces every match as one undo step; how many there were.
    int replace_all();
    // Hides the bar and gives the editor the focus.
    void close_bar();

    QLineEdit* find_field() const { return find_; }
    QLineEdit* replace_field() const { return replacement_; }
    QCheckBox* match_case() const { return case_; }
    // What the last search or replacement found, for the user.
    QString report() const;
    bool replacing() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    CodeEditor* editor_;
    QLineEdit* find_;
    QLineEdit* replacement_;
    QLabel* replace_label_;
    QCheckBox* case_;
    QPushButton* replace_button_;
    QPushButton* replace_all_button_;
    QLabel* report_;
};
