// The help page: an entry for every word F1 may be asked about.
#include <gtest/gtest.h>

#include <cctype>

#include <QRegularExpression>
#include <QSet>

#include "language/vocabulary.h"
#include "studio_test_support.h"

namespace {

QSet<QString> page_ids(const QByteArray& page) {
    QSet<QString> ids;
    static const QRegularExpression id_attr("\\bid=\"([^\"]+)\"");
    for (const QRegularExpressionMatch& m : id_attr.globalMatch(QString::fromUtf8(page)))
        ids.insert(m.captured(1));
    return ids;
}

}  // namespace

TEST(StudioHelpPage, HasAnAnchorForEveryKeywordAndWord) {
    studio_app();
    const QByteArray page = read_bytes(GMK_SOURCE_DIR "/docs/gmkhelp.htm");
    ASSERT_FALSE(page.isEmpty());
    const QSet<QString> ids = page_ids(page);

    QStringList words;
    auto add = [&words](const auto& table) {
        for (const auto& w : table)
            // "}" is no word to look up.
            if (std::isalpha(static_cast<unsigned char>(w.word.front())))
                words << QString::fromLatin1(w.word.data(), static_cast<qsizetype>(w.word.size()));
    };
    add(keywords);
    add(statement_words);
    add(operator_words);
    ASSERT_GT(words.size(), 100);
    for (const QString& w : words)
        EXPECT_TRUE(ids.contains(w)) << w.toStdString();
}

TEST(StudioHelpPage, EveryLinkLeadsToAnAnchor) {
    const QByteArray page = read_bytes(GMK_SOURCE_DIR "/docs/gmkhelp.htm");
    const QSet<QString> ids = page_ids(page);
    static const QRegularExpression href("href=\"#([^\"]+)\"");
    int links = 0;
    for (const QRegularExpressionMatch& m : href.globalMatch(QString::fromUtf8(page))) {
        ++links;
        EXPECT_TRUE(ids.contains(m.captured(1))) << m.captured(1).toStdString();
    }
    EXPECT_GT(links, 20);
}

TEST(StudioHelpPage, NoAnchorIsGivenTwice) {
    const QString page = QString::fromUtf8(read_bytes(GMK_SOURCE_DIR "/docs/gmkhelp.htm"));
    static const QRegularExpression id_attr("\\bid=\"([^\"]+)\"");
    QSet<QString> seen;
    for (const QRegularExpressionMatch& m : id_attr.globalMatch(page)) {
        EXPECT_FALSE(seen.contains(m.captured(1))) << m.captured(1).toStdString();
        seen.insert(m.captured(1));
    }
}

TEST(StudioHelpPage, IsPlacedBesideTheStudio) {
    EXPECT_EQ(read_bytes(GMK_BINARY_DIR "/gmkhelp.htm"),
              read_bytes(GMK_SOURCE_DIR "/docs/gmkhelp.htm"));
}
