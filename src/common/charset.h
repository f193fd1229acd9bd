#pragma once
// Character sets of received text: the choices a user picks for a report,
// the code tables a printer job switches to, and a decoder that turns text
// bytes into UTF-8 however the bytes are split across reads.
//
// Windows-1252 is the designed mapping of bytesToText() (common/bytes); the
// DOS and other code pages come from the C library's iconv. Bytes below 0x20
// are control codes in every set, never the glyphs some code pages draw.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qb {

// The user's choice, stored as key `Encoding`.
enum class Encoding : std::uint8_t { Windows1252, Auto, Utf8, Cp437, Cp850, Cp852, Cp858, Cp866 };

inline constexpr std::array kEncodings = {Encoding::Windows1252, Encoding::Auto, Encoding::Utf8,
                                          Encoding::Cp437,       Encoding::Cp850, Encoding::Cp852,
                                          Encoding::Cp858,       Encoding::Cp866};

// The stored value: "windows-1252", "auto", "utf-8", "cp437", ...
std::string_view encodingKey(Encoding e);
// The text a menu shows for it.
std::string_view encodingLabel(Encoding e);

// A stored choice. A value this program does not know counts as the default
// but is kept, so that writing the setting back leaves it as it was until the
// user picks another.
template <class E>
struct StoredChoice {
    E value{};
    std::string unknown; // the stored text when it was not understood

    void set(E e)
    {
        value = e;
        unknown.clear();
    }
};

using EncodingChoice = StoredChoice<Encoding>;
EncodingChoice parseEncoding(std::string_view stored);
std::string formatEncoding(const EncodingChoice &choice);

// A single-byte code table: the UTF-8 form of each of the 256 bytes. Built
// once per table and shared; lookups need no lock.
class ByteTable {
public:
    // The UTF-8 of byte b (one to four bytes).
    std::string_view at(unsigned char b) const { return {chars_[b].data(), length_[b]}; }
    const std::string &name() const { return name_; }
    // Whether bytes 0..0x7F stand for themselves (ASCII runs copy as they are).
    bool asciiSame() const { return asciiSame_; }

    // The designed Windows-1252 mapping.
    static std::shared_ptr<const ByteTable> windows1252();
    // A table of the C library's converter by its iconv name ("IBM850"),
    // nullptr when the converter does not exist here or is not a single-byte
    // table. A byte the table does not define becomes U+FFFD.
    static std::shared_ptr<const ByteTable> fromIconv(const std::string &iconvName);
    // The table of a choice that is one (Windows-1252 and the code pages);
    // nullptr for Auto and UTF-8.
    static std::shared_ptr<const ByteTable> forEncoding(Encoding e);

    // The table with a national replacement set laid over its ASCII part
    // (a receipt printer's international character set n; 0 is the USA set,
    // the table unchanged). nullptr for a set number not known.
    std::shared_ptr<const ByteTable> withNationalSet(int n) const;

    ByteTable() = default;

private:
    void set(unsigned char b, char32_t c);
    void finish();

    std::array<std::array<char, 4>, 256> chars_{};
    std::array<std::uint8_t, 256> length_{};
    std::string name_;
    bool asciiSame_ = false;
};

// Appends the UTF-8 form of code point c.
void appendUtf8(std::string &out, char32_t c);
// Whether the bytes are valid UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);
// The end of bytes before a UTF-8 sequence that begins in its last three
// bytes and is not complete there (bytes.size() when there is none).
std::size_t completeUtf8End(std::string_view bytes);
// Bytes of unknown character set (a symbol's data, a job name) as UTF-8:
// as they are when they are valid UTF-8, else read as Windows-1252.
std::string utf8OrWindows1252(std::string_view bytes);

// Turns text bytes into UTF-8, one read at a time. A UTF-8 sequence split
// across calls decodes as if it came in one piece; an invalid byte, or a
// sequence cut short by flush(), becomes U+FFFD.
class TextDecoder {
public:
    enum class Mode : std::uint8_t { Table, Utf8, AutoUtf8 };

    // The decoder of a user's choice. Auto starts as UTF-8 and reports
    // autoFailed() at the first byte that is not valid UTF-8; from then on it
    // decodes Windows-1252.
    explicit TextDecoder(Encoding e = Encoding::Windows1252);

    // Decode with a code table from now on (a printer's code-table switch).
    void useTable(std::shared_ptr<const ByteTable> table);
    // Back to the choice this decoder was made with.
    void reset();

    // Appends the UTF-8 of bytes to out. Bytes below 0x20 pass as the control
    // code of the same number.
    void decode(std::string &out, std::string_view bytes);
    // Ends a sequence left open (U+FFFD), e.g. at a command or line end.
    void flush(std::string &out);

    bool autoFailed() const { return autoFailed_; }
    bool hasPartial() const { return partialLength_ != 0; }
    Mode mode() const { return mode_; }
    const ByteTable *table() const { return table_.get(); }

private:
    void decodeUtf8(std::string &out, std::string_view bytes);
    void fail(std::string &out, std::string_view rest);

    Encoding chosen_;
    Mode mode_ = Mode::Table;
    std::shared_ptr<const ByteTable> table_;
    // The table of the choice (of Windows-1252 for the automatic one).
    std::shared_ptr<const ByteTable> chosenTable_;
    bool autoFailed_ = false;
    // The bytes of a UTF-8 sequence begun but not yet complete.
    std::array<unsigned char, 4> partial_{};
    std::uint8_t partialLength_ = 0;
    std::uint8_t partialNeed_ = 0;
};

} // namespace qb
