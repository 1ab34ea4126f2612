#pragma once
// Text encodings and small text helpers.
//
// Program text is UTF-8 in std::string. Bytes in files are in one of the encodings below;
// lib::StrEncConverter turns them into program text and back. Conversions never throw:
// malformed UTF-8 decodes to U+FFFD, and a character that a code page lacks encodes to "?".
// Letter-case helpers know ASCII, Latin-1 and Cyrillic (U+0400..U+04FF).
//
// Nothing here is shared between threads; each reader or writer embeds its own converter.

#include <boost/noncopyable.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

// Encoding ids as files and callers store them.
using StrEncoding = int;
inline constexpr StrEncoding enc_none = 0;
inline constexpr StrEncoding enc_866 = 1;
inline constexpr StrEncoding enc_1251 = 2;
inline constexpr StrEncoding enc_utf8 = 3;

// Bytes in a file encoding.
using ByteBuffer = std::vector<char>;

// One code-page converter. `to_wide` turns file bytes into program text, `to_multibyte`
// program text into file bytes; both replace the contents of `out`.
class StrBufConverter {
public:
    virtual ~StrBufConverter() = default;
    virtual void to_wide(const char* bytes, std::size_t count, std::string& out) = 0;
    virtual std::size_t to_multibyte(const char* text, std::size_t count, ByteBuffer& out) = 0;
};

// A single-byte code page: ASCII below 0x80, a 128-entry table above.
class StrEncConverterSimpleMB : public StrBufConverter {
public:
    explicit StrEncConverterSimpleMB(unsigned code_page);
    unsigned code_page() const { return code_page_; }
    void to_wide(const char* bytes, std::size_t count, std::string& out) override;
    std::size_t to_multibyte(const char* text, std::size_t count, ByteBuffer& out) override;

private:
    unsigned code_page_;
    const char16_t* high_half_; // code points of bytes 0x80..0xFF
};

class StrEncConverter1251 : public StrEncConverterSimpleMB {
public:
    StrEncConverter1251() : StrEncConverterSimpleMB(1251) {}
};

class StrEncConverter866 : public StrEncConverterSimpleMB {
public:
    StrEncConverter866() : StrEncConverterSimpleMB(866) {}
};

class StrEncConverterUTF8 : public StrBufConverter {
public:
    void to_wide(const char* bytes, std::size_t count, std::string& out) override;
    std::size_t to_multibyte(const char* text, std::size_t count, ByteBuffer& out) override;
};

// The converter for an encoding id; none for 0 or an unknown id.
std::unique_ptr<StrBufConverter> make_converter(StrEncoding id);

// The front object that readers and writers embed. Its buffers are reused between calls.
class StrEncConverter {
public:
    explicit StrEncConverter(StrEncoding id = enc_none);

    // Makes a new converter only when the id actually changes.
    void set_encoding(StrEncoding id);
    StrEncoding encoding() const { return encoding_; }
    const StrBufConverter* converter() const { return converter_.get(); }

    // Zero-terminated bytes to program text; a null pointer gives "".
    std::string decode(const char* bytes);
    // At most `limit` bytes, stopping at the first zero byte: for views that may lack one.
    std::string decode(const char* bytes, std::size_t limit);
    std::string decode(std::string_view bytes) { return decode(bytes.data(), bytes.size()); }
    // Program text to bytes in `out`, always followed by one zero byte; returns out.data().
    // Without a converter (id 0) the text cannot be represented and only the zero byte is written.
    const char* encode(std::string_view text, ByteBuffer& out);

private:
    StrEncoding encoding_ = enc_none;
    std::unique_ptr<StrBufConverter> converter_;
    std::string wide_;
};

// A writable, zero-terminated copy of a text, for system calls that want one.
class StrCharCvt {
public:
    explicit StrCharCvt(std::string_view text);
    char* data() { return buffer_.data(); }
    std::size_t size() const { return buffer_.size() - 1; }

private:
    std::vector<char> buffer_;
};

// The lines of a text: a line ends at CR LF, LF or CR, and a break at the very end adds
// no empty last line. The views point into `text`.
std::vector<std::string_view> split_lines(std::string_view text);

// Removes characters with codes up to 32 at both ends.
std::string trim(std::string_view text);

// With ' ' as separator: quote-aware words. With any other separator: the pieces between
// separators, untrimmed, an empty piece kept, no empty last piece after a final separator.
void split_string(std::string_view text, std::vector<std::string>& list, char separator);

// A tokenizer over split_string with a read cursor.
class StringContainer : private boost::noncopyable {
public:
    void set_text(std::string_view text, char separator);
    int count() const { return static_cast<int>(tokens_.size()); }
    // The token at `index`; -1 takes the token at the cursor and advances; out of range gives "".
    std::string get(int index);

private:
    std::vector<std::string> tokens_;
    int cursor_ = 0;
};

// The third blank-separated word, or "".
std::string third_word(std::string_view text);
// The trimmed text without one enclosing `quote` at each end, when it has both.
std::string unquote(std::string_view text, char quote);

// --- Unicode helpers for program text -------------------------------------------------

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool is_valid_utf8(std::string_view bytes);
// Lower case of ASCII, Latin-1 and Cyrillic letters; everything else unchanged.
std::string to_lower(std::string_view text);
bool equals_ignore_case(std::string_view a, std::string_view b);
// Orders texts as their UTF-16 code units would: byte order, except that characters above
// U+FFFF (surrogate pairs) sort below U+E000..U+FFFF. Negative, zero or positive.
int compare_utf16(std::string_view a, std::string_view b);
// A file mask with '*' and '?' against a name, without regard to letter case.
// "*.*" and "*" match every name.
bool mask_matches(std::string_view mask, std::string_view name);

} // namespace lib
