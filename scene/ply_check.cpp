#include "scene/ply_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

namespace {

constexpr const char* DamagedHeader = "not a PLY file: its header is damaged or too long";
constexpr const char* TwiceDeclared =
    "the PLY file declares its vertices or its faces more than once";
constexpr const char* ListTooLong = "a list in the PLY file is longer than the file holds";

// The words of a line, as the library splits them: runs of anything but
// spaces and tabs.
class Words {
  public:
    explicit Words(std::string_view line) : line_(line) {}
    std::string_view next() {
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t'))
            ++at_;
        const size_t from = at_;
        while (at_ < line_.size() && line_[at_] != ' ' && line_[at_] != '\t')
            ++at_;
        return line_.substr(from, at_ - from);
    }
    // The words left, without taking them.
    long long left() const {
        Words rest = *this;
        long long n = 0;
        while (!rest.next().empty())
            ++n;
        return n;
    }

  private:
    std::string_view line_;
    size_t at_ = 0;
};

// A value's type; its size in a binary file.
enum class Type { Invalid, Char, UChar, Short, UShort, Int, UInt, Float, Double };

Type type_named(std::string_view word) {
    static const struct {
        const char* name;
        Type type;
    } names[] = {{"char", Type::Char},     {"int8", Type::Char},     {"uchar", Type::UChar},
                 {"uint8", Type::UChar},   {"short", Type::Short},   {"int16", Type::Short},
                 {"ushort", Type::UShort}, {"uint16", Type::UShort}, {"int32", Type::Int},
                 {"int", Type::Int},       {"uint32", Type::UInt},   {"uint", Type::UInt},
                 {"float", Type::Float},   {"float32", Type::Float}, {"double64", Type::Double},
                 {"double", Type::Double}, {"float64", Type::Double}};
    for (const auto& n : names)
        if (word == n.name) return n.type;
    return Type::Invalid;
}

size_t size_of(Type type) {
    switch (type) {
        case Type::Char:
        case Type::UChar:
            return 1;
        case Type::Short:
        case Type::UShort:
            return 2;
        case Type::Double:
            return 8;
        default:
            return 4;
    }
}

struct Property {
    bool list = false;
    Type count = Type::Invalid;  // a list's count
    Type item = Type::Invalid;
};

struct Element {
    long long count = 0;
    // Whether the library reads its instances' values in a text file (it
    // skips the lines of elements it does not know).
    bool known = false;
    std::vector<Property> properties;
};

enum class Format { Ascii, LittleEndian, BigEndian, Other };

struct Header {
    Format format = Format::Other;
    std::vector<Element> elements;
    size_t body = 0;  // where the values begin
};

// The count of an "element <name> <count>" line as the library reads it:
// the digits that begin its third word (trailing junk does not end them).
long long count_of(std::string_view word) {
    long long count = 0;
    for (size_t at = 0; at < word.size() && std::isdigit(static_cast<unsigned char>(word[at]));
         ++at) {
        if (count > (1LL << 50)) return count;
        count = count * 10 + (word[at] - '0');
    }
    return count;
}

// What the library makes of a property line: a property of the element, a
// line that ends the element's properties, or one whose last word it takes
// with the line's end and then reads on into what an earlier, longer line
// left in its buffer.
enum class PropertyLine { Taken, Ignored, Damaged };

PropertyLine read_property(Words words, Property& out) {
    std::string_view word = words.next();
    if (word.empty()) return PropertyLine::Damaged;
    out.list = word == "list";
    if (out.list) {
        word = words.next();
        if (word.empty()) return PropertyLine::Damaged;
        out.count = type_named(word);
        if (out.count == Type::Invalid) return PropertyLine::Ignored;
        word = words.next();
        if (word.empty()) return PropertyLine::Damaged;
    }
    out.item = type_named(word);
    if (out.item == Type::Invalid) return PropertyLine::Ignored;
    return words.next().empty() ? PropertyLine::Damaged : PropertyLine::Taken;
}

bool line_end(char c) { return c == '\n' || c == '\r' || c == '\0' || c == '\f'; }

// The lines of a text body as the library takes them: one line end, or a
// line end and what follows it up to a newline, ends a line; past the end
// the last line is read again.
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}
    // The lines after one that ended just before `from`.
    Lines(std::string_view text, size_t from) : text_(text), at_(from), taken_(true) {}
    bool next() {
        if (at_ >= text_.size()) return false;
        if (taken_ && line_end(text_[at_])) {
            while (at_ < text_.size() && text_[at_] != '\n')
                ++at_;
            if (++at_ >= text_.size()) return false;
        }
        taken_ = true;
        const size_t from = at_;
        while (at_ < text_.size() && !line_end(text_[at_]))
            ++at_;
        line_ = text_.substr(from, at_ - from);
        ended_ = at_ < text_.size();
        ++at_;
        return true;
    }
    std::string_view line() const { return line_; }
    // Whether the line ended before the text did.
    bool ended() const { return ended_; }
    size_t position() const { return at_; }

  private:
    std::string_view text_;
    size_t at_ = 0;
    bool taken_ = false;
    bool ended_ = false;
    std::string_view line_;
};

// Reads the header that begins `head`, which must end there, each of its
// lines with a line end (the library reads a header cut short for ever) and whose counts must fit
// in the file's `size` bytes. A line the library does not know (an exporter's note without
// "comment") ends an element's properties, as it does there; an element or
// property line that stops short of its count or name is refused, since the
// library would read on into an earlier line's leftovers. A second vertex
// or face element is refused: the library writes its instances into the
// first one's arrays, past their end.
const char* read_header(std::string_view head, long long size, Header& out) {
    int vertex_elements = 0, face_elements = 0;
    bool taking_properties = false;
    Lines lines(head);
    while (lines.next()) {
        if (!lines.ended()) return DamagedHeader;  // cut off by the file's end
        const std::string_view line = lines.line();
        Words words(line);
        const std::string_view first = words.next();
        if (first == "end_header") {
            out.body = lines.position();
            return nullptr;
        }
        if (first == "format") {
            const std::string_view kind = words.next();
            out.format = kind == "ascii"                  ? Format::Ascii
                         : kind == "binary_little_endian" ? Format::LittleEndian
                         : kind == "binary_big_endian"    ? Format::BigEndian
                                                          : Format::Other;
        } else if (first == "element") {
            const std::string_view name = words.next();
            Element element;
            element.known = name == "vertex" || name == "face" || name == "tristrips" ||
                            name == "edge" || name == "material";
            // The library reads an unknown element's count where its name
            // begins: none, unless the name begins with digits.
            const std::string_view count = element.known ? words.next() : name;
            if (count.empty()) return DamagedHeader;  // read on past the line's end
            element.count = count_of(count);
            if (element.count > size) return DamagedHeader;
            vertex_elements += name == "vertex";
            face_elements += name == "face" || name == "tristrips";
            if (vertex_elements > 1 || face_elements > 1) return TwiceDeclared;
            // A texture file's name takes no values.
            taking_properties = name != "TextureFile";
            if (!taking_properties) element.count = 0;
            out.elements.push_back(element);
        } else if (first == "property" && taking_properties) {
            Property property;
            const PropertyLine taken = read_property(words, property);
            if (taken == PropertyLine::Damaged) return DamagedHeader;
            taking_properties = taken == PropertyLine::Taken;
            if (taking_properties) out.elements.back().properties.push_back(property);
        } else if (first != "comment") {
            taking_properties = false;
        }
    }
    return DamagedHeader;
}

// A list's count word as a number (0 for no number); a word too long for a
// count is taken as more than any line holds.
double count_value(std::string_view word) {
    char text[64];
    if (word.size() >= sizeof text) return HUGE_VAL;
    std::memcpy(text, word.data(), word.size());
    text[word.size()] = '\0';
    return std::strtod(text, nullptr);
}

// Whether one instance on `line` has a list whose count is more than the
// words after it (or is no count at all).
bool list_too_long(const Element& element, std::string_view line) {
    Words words(line);
    for (const Property& property : element.properties) {
        const std::string_view word = words.next();
        if (word.empty()) return false;
        if (!property.list) continue;
        const double count = count_value(word);
        if (!(count >= 0) || count > static_cast<double>(words.left())) return true;
        for (long long i = 0; i < static_cast<long long>(count); ++i)
            words.next();
    }
    return false;
}

const char* text_body_fault(const Header& header, std::string_view file) {
    Lines lines(file, header.body);
    bool more = lines.next();
    for (size_t e = 0; e < header.elements.size(); ++e) {
        const Element& element = header.elements[e];
        // Only a list can ask for more than its line holds.
        const bool walked =
            element.known && std::any_of(element.properties.begin(), element.properties.end(),
                                         [](const Property& p) { return p.list; });
        for (long long i = 0; i < element.count; ++i) {
            if (walked && list_too_long(element, lines.line())) return ListTooLong;
            if (!more) break;  // every instance left reads this same line
            more = lines.next();
        }
    }
    return nullptr;
}

// A binary value as a list's count; -1 for a count no list can have.
long long binary_count(const unsigned char* p, Type type, bool big_endian) {
    unsigned char b[8] = {};
    const size_t n = size_of(type);
    for (size_t i = 0; i < n; ++i)
        b[i] = big_endian ? p[n - 1 - i] : p[i];
    uint32_t u;
    std::memcpy(&u, b, 4);
    switch (type) {
        case Type::Char:
            return static_cast<int8_t>(b[0]);
        case Type::UChar:
            return b[0];
        case Type::Short:
            return static_cast<int16_t>(b[0] | b[1] << 8);
        case Type::UShort:
            return static_cast<uint16_t>(b[0] | b[1] << 8);
        case Type::Int:
            return static_cast<int32_t>(u);
        case Type::UInt:
            return u;
        default: {
            double d;
            if (type == Type::Float) {
                float f;
                std::memcpy(&f, b, 4);
                d = f;
            } else {
                std::memcpy(&d, b, 8);
            }
            if (!(d >= 0)) return -1;
            return d < 0x1p40 ? static_cast<long long>(d) : 1LL << 40;
        }
    }
}

// A binary body read in pieces, so that a large file is looked at without
// mapping or holding it whole.
class Pieces {
  public:
    Pieces(const PlyReadAt& read_at, unsigned long long from, unsigned long long end)
        : read_at_(read_at), at_(from), end_(end), start_(from), have_(from) {}
    // The `n` bytes (at most 8) at the position; null when the file ends first.
    const unsigned char* peek(size_t n) {
        if (n > end_ - at_) return nullptr;
        if (at_ < start_ || at_ + n > have_) {
            start_ = at_;
            have_ = at_ + read_at_(static_cast<long long>(at_), buffer_.data(),
                                   static_cast<size_t>(
                                       std::min<unsigned long long>(buffer_.size(), end_ - at_)));
            if (at_ + n > have_) return nullptr;
        }
        return reinterpret_cast<const unsigned char*>(buffer_.data()) + (at_ - start_);
    }
    unsigned long long left() const { return end_ - at_; }
    void skip(unsigned long long n) { at_ += n; }

  private:
    const PlyReadAt& read_at_;
    unsigned long long at_, end_, start_, have_;
    std::vector<char> buffer_ = std::vector<char>(1 << 20);
};

const char* binary_body_fault(const Header& header, Pieces& body) {
    const bool big_endian = header.format == Format::BigEndian;
    for (const Element& element : header.elements) {
        const bool lists = std::any_of(element.properties.begin(), element.properties.end(),
                                       [](const Property& p) { return p.list; });
        if (!lists) {
            unsigned long long instance = 0;
            for (const Property& property : element.properties)
                instance += size_of(property.item);
            if (instance != 0 &&
                static_cast<unsigned long long>(element.count) > body.left() / instance)
                return nullptr;  // the file ends within this element
            body.skip(instance * static_cast<unsigned long long>(element.count));
            continue;
        }
        for (long long i = 0; i < element.count; ++i)
            for (const Property& property : element.properties) {
                const size_t item = size_of(property.item);
                if (!property.list) {
                    if (body.left() < item) return nullptr;
                    body.skip(item);
                    continue;
                }
                const unsigned char* count_bytes = body.peek(size_of(property.count));
                if (!count_bytes) return nullptr;
                const long long count = binary_count(count_bytes, property.count, big_endian);
                body.skip(size_of(property.count));
                if (count < 0 || static_cast<unsigned long long>(count) * item > body.left())
                    return ListTooLong;
                body.skip(static_cast<unsigned long long>(count) * item);
            }
    }
    return nullptr;
}

}  // namespace

const char* ply_file_fault(std::string_view head, long long size,
                           const std::function<std::string_view()>& whole_file,
                           const PlyReadAt& read_at) {
    Header header;
    if (const char* fault = read_header(head, size, header)) return fault;
    if (header.format == Format::Ascii) {
        const std::string_view file = whole_file();
        return text_body_fault(header, file);
    }
    if (header.format != Format::LittleEndian && header.format != Format::BigEndian) return nullptr;
    Pieces body(read_at, header.body, static_cast<unsigned long long>(size));
    return binary_body_fault(header, body);
}

long long ply_declared_faces(std::string_view head) {
    const size_t end = head.find("end_header");
    if (head.substr(0, 3) != "ply" || end == std::string_view::npos) return 0;
    size_t at = 0;
    while (at < end) {
        const size_t stop = std::min(head.find('\n', at), end);
        Words words(head.substr(at, stop - at));
        if (words.next() == "element" && words.next() == "face") return count_of(words.next());
        at = stop + 1;
    }
    return 0;
}
