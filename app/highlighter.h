#pragma once

#include <QPalette>
#include <QSet>
#include <QString>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours scene text the way the scanner reads it: block keywords, the words
// a single block understands, operator words, numbers, strings and comments.
class SceneHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
  public:
    enum class WordKind { Other, Keyword, Statement, Operator, Number };

    // Coloured for the application's palette until set_palette says otherwise.
    explicit SceneHighlighter(QTextDocument* document);

    // Chooses the colours anew for text shown on this palette's base (and on
    // the tinted line of the caret), and colours the text again.
    void set_palette(const QPalette& palette);

    // How a word is coloured; letter case does not matter, as for the scanner.
    static WordKind classify(const QString& word);

  protected:
    void highlightBlock(const QString& text) override;

  private:
    QTextCharFormat keyword_;
    QTextCharFormat statement_;
    QTextCharFormat operator_;
    QTextCharFormat number_;
    QTextCharFormat string_;
    QTextCharFormat comment_;
};
