#include "app/editor_text.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBlockUserData>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace {

// Attached only to lines whose end differs from the document's own.
class LineEndData : public QTextBlockUserData {
  public:
    explicit LineEndData(LineEnding e) : ending(e) {}
    LineEnding ending;
};

LineEnding block_ending(const QTextBlock& block, const TextFormat& format) {
    if (auto* data = dynamic_cast<LineEndData*>(block.userData())) return data->ending;
    return format.line_ending;
}

int ending_bytes(LineEnding e) { return e == LineEnding::CrLf ? 2 : 1; }

const char* ending_text(LineEnding e) {
    switch (e) {
        case LineEnding::Lf:
            return "\n";
        case LineEnding::Cr:
            return "\r";
        case LineEnding::CrLf:
            break;
    }
    return "\r\n";
}

// Bytes of the character at text[i] and how many QChars it spans.
int char_bytes(const QString& text, int i, TextEncoding encoding, int& units) {
    units = 1;
    if (encoding == TextEncoding::Latin1) return 1;
    const char16_t c = text.at(i).unicode();
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        units = 2;
        return 4;
    }
    return 3;  // a lone surrogate is encoded as the replacement character
}

int encoded_length(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Latin1) return static_cast<int>(text.size());
    int bytes = 0;
    for (int i = 0, units = 1; i < text.size(); i += units)
        bytes += char_bytes(text, i, encoding, units);
    return bytes;
}

}  // namespace

TextFormat set_document_bytes(QTextDocument& document, const QByteArray& bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text_bytes = nul < 0 ? bytes : bytes.left(nul);

    TextFormat format;
    // A byte order mark stays part of the text, so that it is saved again.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                     QStringDecoder::Flag::Stateless);
    QString text = decoder(text_bytes);
    if (decoder.hasError()) {
        format.encoding = TextEncoding::Latin1;
        text = QString::fromLatin1(text_bytes);
    }

    // Split into lines, remembering each line's end; the editor keeps lines.
    QString joined;
    joined.reserve(text.size());
    std::vector<LineEnding> endings;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            LineEnding e = LineEnding::Lf;
            if (c == u'\r') {
                e = LineEnding::Cr;
                if (i + 1 < text.size() && text.at(i + 1) == u'\n') {
                    e = LineEnding::CrLf;
                    ++i;
                }
            }
            endings.push_back(e);
            joined.append(u'\n');
        } else {
            joined.append(c);
        }
    }
    if (!endings.empty()) format.line_ending = endings.front();

    document.setPlainText(joined);
    QTextBlock block = document.begin();
    for (LineEnding e : endings) {
        if (!block.isValid()) break;
        if (e != format.line_ending) block.setUserData(new LineEndData(e));
        block = block.next();
    }
    return format;
}

int first_unencodable_line(const QTextDocument& document, const TextFormat& format) {
    if (format.encoding != TextEncoding::Latin1) return 0;
    int line = 1;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next(), ++line) {
        const QString text = block.text();
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; }))
            return line;
    }
    return 0;
}

QByteArray document_bytes(const QTextDocument& document, const TextFormat& format) {
    QByteArray out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        out += format.encoding == TextEncoding::Latin1 ? text.toLatin1() : text.toUtf8();
        if (block.next().isValid()) out += ending_text(block_ending(block, format));
    }
    return out;
}

int document_position(const QTextDocument& document, const TextFormat& format, int byte_offset) {
    int bytes_before = 0;
    QTextBlock block = document.begin();
    if (byte_offset <= 0 || !block.isValid()) return 0;
    for (; block.isValid(); block = block.next()) {
        const QString text = block.text();
        const int line_bytes = encoded_length(text, format.encoding);
        if (byte_offset <= bytes_before + line_bytes) {
            int position = block.position();
            int bytes = bytes_before;
            for (int i = 0, units = 1; i < text.size(); i += units) {
                const int n = char_bytes(text, i, format.encoding, units);
                if (bytes + n > byte_offset) break;
                bytes += n;
                position += units;
            }
            return position;
        }
        bytes_before += line_bytes;
        const QTextBlock next = block.next();
        if (!next.isValid()) break;
        const int end_bytes = ending_bytes(block_ending(block, format));
        if (byte_offset < bytes_before + end_bytes) return block.position() + text.size();
        bytes_before += end_bytes;
    }
    // Past the end: the end of the document's text.
    return std::max(0, document.characterCount() - 1);
}

int byte_offset(const QTextDocument& document, const TextFormat& format, int position) {
    int bytes = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const int in_block = position - block.position();
        if (in_block <= text.size())
            return bytes + encoded_length(text.left(std::max(0, in_block)), format.encoding);
        bytes += encoded_length(text, format.encoding);
        if (block.next().isValid()) bytes += ending_bytes(block_ending(block, format));
    }
    return bytes;
}
