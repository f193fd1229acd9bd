#pragma once
// A decoded print job: what a printer would have put on paper. Lines of
// UTF-8 text with their attributes and alignment, and between the lines the
// blocks that are not text: raster images, barcodes and 2D symbols, and
// markers for what the printer did without printing (a cut, a drawer kick,
// a command that was skipped).
//
// The text is UTF-8 in large blocks of storage with a table of lines: that is
// what the filters, the alert trigger, copy and find work on (lineText()), it
// costs one byte per ASCII character, a 64 MiB report needs no allocation per
// line, and the text never moves once a line is complete.
// A symbol's data is text too: the line after its block holds it readably.

#include "common/growbuffer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qb {

enum class Underline : std::uint8_t { None, Thin, Thick };
enum class Align : std::uint8_t { Left, Centre, Right };

struct TextStyle {
    bool bold = false;
    Underline underline = Underline::None;
    std::uint8_t widthScale = 1;  // 1..8
    std::uint8_t heightScale = 1; // 1..8
    bool reverse = false;
    bool fontB = false;
    bool upsideDown = false;

    bool operator==(const TextStyle &) const = default;
    bool isPlain() const { return *this == TextStyle{}; }
};

// The style from byte `offset` of a line's text up to the next run or the
// line's end.
struct StyleRun {
    std::uint32_t offset = 0;
    TextStyle style;
    bool operator==(const StyleRun &) const = default;
};

// A 1-bit image, rows top to bottom of (width + 7) / 8 bytes, top bit left;
// a set bit is a printed (black) dot.
struct RasterImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bits;

    std::uint32_t rowBytes() const { return (width + 7) / 8; }
    bool pixel(std::uint32_t x, std::uint32_t y) const
    {
        return (bits[std::size_t(y) * rowBytes() + x / 8] >> (7 - x % 8)) & 1;
    }
};

enum class SymbolKind : std::uint8_t {
    UpcA, UpcE, Ean13, Ean8, Code39, Itf, Codabar, Code93, Code128,
    QrCode, Pdf417, MaxiCode, Aztec, DataMatrix,
};
enum class ReadablePosition : std::uint8_t { None, Above, Below, Both };

struct Symbol {
    SymbolKind kind = SymbolKind::Code128;
    // The data bytes as sent (for CODE128 with its code-set selectors).
    std::string data;
    // The data as a reader of the printed symbol gets it, in UTF-8.
    std::string readable;
    // The lines after the block that hold `readable` (cut at its line ends).
    std::uint32_t readableLines = 1;
    int height = 162;    // bar height in dots (1D)
    int moduleWidth = 3; // dots per module (1D: GS w; 2D: the module size)
    ReadablePosition readablePosition = ReadablePosition::None;
    int errorLevel = 0; // 2D error correction: QR 1..4 (L M Q H), PDF417 1..9 (level + 1); 0 default

    bool isTwoDimensional() const { return kind >= SymbolKind::QrCode; }
};

enum class MarkerKind : std::uint8_t {
    Cut,              // paper cut: a tear-off line
    DrawerKick,       // cash drawer pulse
    Beeper,           // buzzer
    SkippedCommand,   // a command not understood, skipped by its length
    CodeTableMissing, // a code table this machine cannot convert; the last one stays
    ImageSkipped,     // an image larger than allowed, or cut short by the job's end
    SymbolSkipped,    // a symbol print with nothing stored, or an unsupported kind
    PclRaster,        // raster graphics of a laser job
    HpGl2,            // vector graphics of a laser job
    FeedsCollapsed,   // more paper feeds than the job's bytes can account for
};

struct Marker {
    MarkerKind kind = MarkerKind::SkippedCommand;
    // What was skipped, e.g. the command's first bytes in hex ("1B 5A").
    std::string detail;
    // How many times it happened here (markers in a row are counted on one).
    std::uint32_t count = 1;
};

// A symbol's block is followed at once by the line that holds its readable
// data: the line at index beforeLine.
struct Block {
    // The block stands before this line (lineCount() when it was added).
    std::size_t beforeLine = 0;
    std::variant<RasterImage, Symbol, Marker> content;
    Align align = Align::Left;
};

// The blocks of a document, in order. A deque: a job of many thousand
// symbols never has its blocks copied to a table twice as large, nor holds
// room for as many again.
using Blocks = std::deque<Block>;

// What a marker shows: "- - - cut - - -", "[drawer kick]", ...
std::string markerLabel(const Marker &m);
// The symbology's name as a reader would show it: "CODE128", "QR Code", ...
std::string_view symbolKindName(SymbolKind k);

class Document {
public:
    Document() = default;
    Document(Document &&) noexcept = default;
    Document &operator=(Document &&) noexcept = default;
    // Lines point into the document's own storage: moved, never copied.
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    struct Line {
        const char *text = nullptr;
        std::uint32_t textLength = 0;
        std::uint32_t firstRun = 0; // index into runs(); runs up to the next line's firstRun
    };

    std::size_t lineCount() const { return lines_.size(); }
    // Line i's text; empty once the text was released.
    std::string_view lineText(std::size_t i) const
    {
        return lines_[i].text ? std::string_view(lines_[i].text, lines_[i].textLength) : std::string_view();
    }
    // Bytes of line i's text, kept when the text is released.
    std::size_t lineLength(std::size_t i) const { return lines_[i].textLength; }
    Align lineAlign(std::size_t i) const { return aligns_[i]; }
    // The style runs of line i; empty when the whole line is plain.
    std::vector<StyleRun> lineRuns(std::size_t i) const;
    bool lineHasRuns(std::size_t i) const { return runsEnd(i) > lines_[i].firstRun; }
    // Display columns of line i (double-width characters count twice).
    std::size_t lineColumns(std::size_t i) const;
    // The line as it stands on paper of `columns` columns: centred and right
    // aligned lines get the leading spaces that place them.
    std::string alignedText(std::size_t i, std::size_t columns) const;
    // The number of those leading spaces.
    std::size_t linePadding(std::size_t i, std::size_t columns) const;

    // Every line's text (what filters and copy use).
    std::vector<std::string> plainLines() const;

    const Blocks &blocks() const { return blocks_; }
    const std::string &jobName() const { return jobName_; }
    const std::string &userName() const { return userName_; }
    std::size_t paperColumns() const { return paperColumns_; }
    // Bytes of text, runs and images held (for the report's memory figure).
    std::size_t memoryBytes() const;
    // Bytes held in the storage of complete lines' text.
    std::size_t textStorageBytes() const { return chunkBytes_; }
    // What memoryBytes() comes to once at most `text` more bytes of text
    // and of block content, `lines` lines, `runs` style runs and `blocks`
    // blocks are added (each table grown as it grows, spare room included).
    std::size_t memoryAfter(std::size_t text, std::size_t lines, std::size_t runs, std::size_t blocks) const;
    // The storage `text` bytes of complete lines take in a new document.
    static std::size_t textStorageFor(std::size_t text);

    // Building, used by the decoders. The line being built is the text of
    // textBuffer() from openLineStart(); closeLine() makes it a line.
    std::string &textBuffer() { return open_; }
    std::size_t openLineStart() const { return 0; }
    // `tail`: UTF-8 text after the buffer's, stored with it without being
    // copied to the buffer first.
    void closeLine(const std::vector<StyleRun> &runs, Align align, std::string_view tail = {});
    void addLine(std::string_view text, const std::vector<StyleRun> &runs = {}, Align align = Align::Left);
    void addBlock(std::variant<RasterImage, Symbol, Marker> &&content, Align align = Align::Left);
    // The blocks to change; only the last one may change in size (an image
    // that grows by bands).
    Blocks &mutableBlocks() { return blocks_; }
    void setJob(std::string name, std::string user)
    {
        jobName_ = std::move(name);
        userName_ = std::move(user);
    }
    void setPaperColumns(std::size_t c) { paperColumns_ = c; }
    void clear() { *this = Document{}; }
    // Frees the complete lines and the blocks, keeping the line being built:
    // for a reader that follows a job as it arrives and shows none of it.
    void dropCompleted();
    // Frees the text of every line, the line being built included, for a
    // holder that keeps the text elsewhere (a report shows these lines):
    // lineText() is empty from then on, lineColumns() and alignedText() no
    // longer tell; lengths, alignment, runs, blocks and the job stay.
    void releaseText();
    bool textReleased() const { return textReleased_; }
    // Frees the storage that holds only text of lines before `line`, for a
    // reader that copies the lines out in order while the job goes on:
    // their lineText() is empty from then on.
    void releaseTextBefore(std::size_t line);

private:
    // Where a complete line's text is kept.
    const char *store(std::string_view text);
    // The storage blocks from block number `chunks` on that `text` more
    // bytes take; chunks becomes the number after them.
    static std::size_t storageFor(std::size_t text, std::size_t &chunks);
    std::size_t runsEnd(std::size_t i) const { return i + 1 < lines_.size() ? lines_[i + 1].firstRun : runs_.size(); }

    // Large blocks take huge pages (one fault for 2 MiB of text).
    std::vector<GrowBuffer> chunks_;
    // Per chunk: the first line whose text it holds; chunks
    // before releasedChunks_ are freed.
    std::vector<std::size_t> chunkFirstLine_;
    std::size_t releasedChunks_ = 0;
    std::size_t textReleasedBefore_ = 0; // lines whose text pointer is cleared
    std::size_t chunkRoom_ = 0; // bytes free at the end of the last chunk
    std::size_t chunkBytes_ = 0;
    char *chunkEnd_ = nullptr;
    std::string open_;
    GrowTable<Line> lines_;
    // Each line's alignment, kept beside the table: a line record of 16
    // bytes rather than 24 (with its padding) matters for a report of
    // millions of lines.
    GrowTable<Align> aligns_;
    GrowTable<StyleRun> runs_;
    Blocks blocks_;
    std::string jobName_, userName_;
    std::size_t paperColumns_ = 48;
    bool textReleased_ = false;
    std::size_t settledBlockBytes_ = 0; // content held by every block but the last
};

// Display columns of UTF-8 text: one per code point.
std::size_t utf8Columns(std::string_view text);

} // namespace qb
