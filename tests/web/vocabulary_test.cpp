// The playground's highlighter reads the words and the characters that end a
// word from the module web/tools/vocabulary.mjs writes out of
// language/vocabulary.h: it must hold what the scanner reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "language/vocabulary.h"
#include "tests/support/temp_folder.h"

namespace {

// As JSON.stringify writes a string.
std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            default:
                out += c;
        }
    }
    return out + '"';
}

template <class Code, std::size_t N>
std::string json_words(const Word<Code> (&table)[N]) {
    std::string out = "[";
    for (const Word<Code>& w : table) {
        if (out.size() > 1) out += ',';
        out += json_string(w.word);
    }
    return out + ']';
}

}  // namespace

TEST(PageVocabulary, WrittenAsTheScannerReadsIt) {
    if (std::system("node --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "node is not installed";
    TempFolder folder;
    const std::string module_file = folder.file("vocabulary.js");
    const std::string command = "node '" GMK_SOURCE_DIR
                                "/web/tools/vocabulary.mjs' '" GMK_SOURCE_DIR
                                "/language/vocabulary.h' '" +
                                module_file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(module_file, std::ios::binary);
    const std::string module{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::pair<std::string, std::string> constants[] = {
        {"separators", json_string(word_separators)},
        {"keywords", json_words(keywords)},
        {"statements", json_words(statement_words)},
        {"operators", json_words(operator_words)},
    };
    for (const auto& [name, value] : constants)
        EXPECT_NE(module.find("\nexport const " + name + " = " + value + ";\n"), std::string::npos)
            << name << " in\n"
            << module;
}
