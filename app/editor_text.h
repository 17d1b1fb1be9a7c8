#pragma once

#include <QByteArray>

class QTextDocument;

// How a scene file's bytes map onto the editor's characters and back.
enum class LineEnding { Lf, CrLf, Cr };
enum class TextEncoding { Utf8, Latin1 };

struct TextFormat {
    TextEncoding encoding = TextEncoding::Utf8;
    // The line end of new lines, and of every line that records no other.
    LineEnding line_ending = LineEnding::CrLf;
};

// Loads file bytes into the document. The text ends at the first NUL byte.
// Valid UTF-8 is read as UTF-8, anything else one character per byte, and
// every line remembers its own line end, so that document_bytes gives back
// exactly the bytes that were loaded.
TextFormat set_document_bytes(QTextDocument& document, const QByteArray& bytes);

// The first line (from 1) holding a character the format's encoding cannot
// hold (Latin-1 holds U+0000 to U+00FF), or 0 when every character fits.
int first_unencodable_line(const QTextDocument& document, const TextFormat& format);

// The document as the bytes that a file and a parse see.
QByteArray document_bytes(const QTextDocument& document, const TextFormat& format);

// The document position of a byte offset into document_bytes. Offsets inside
// a line end or inside a character's bytes map to the position before it;
// offsets outside the text are clamped to it.
int document_position(const QTextDocument& document, const TextFormat& format, int byte_offset);

// The byte offset into document_bytes of a document position: the bytes of
// the characters before it. Positions past the text give its length.
int byte_offset(const QTextDocument& document, const TextFormat& format, int position);
