#pragma once
// The line being printed: text bytes through the active character set into
// the document, with the style, the alignment and the column count the
// printer keeps for it. Shared by every printer language's decoder.

#include "common/charset.h"
#include "common/document.h"

#include <string_view>
#include <vector>

namespace qb {

class LineBuilder {
public:
    LineBuilder(Document &doc, Encoding encoding, std::size_t paperColumns);

    // Text bytes of the line (no control codes but those meant as text).
    void text(std::string_view bytes);
    // UTF-8 text as it is, e.g. spaces of a tab.
    void utf8(std::string_view text);
    // Ends the line, empty or not.
    void endLine() { endLineWith({}); }
    // utf8(text), then endLine(), the text stored once.
    void endLineWith(std::string_view text);
    // Ends the line if it holds anything.
    void endLineIfAny()
    {
        if (!lineEmpty())
            endLine();
    }
    // n empty lines of paper feed (fewer when the bytes received so far do
    // not account for them; then a marker says so).
    void blankLines(std::size_t n);
    // Spaces up to the next multiple of `every` columns.
    void tab(std::size_t every = 8);
    // Spaces up to column c (nothing when the line is past it).
    void moveToColumn(std::size_t c);
    bool lineEmpty() const { return doc_.textBuffer().size() == doc_.openLineStart() && !decoder_.hasPartial(); }
    std::size_t columns();

    void setStyle(const TextStyle &s) { style_ = s; }
    const TextStyle &style() const { return style_; }
    // The alignment of the lines from now on; of this line too while it is empty.
    void setAlign(Align a);
    Align align() const { return align_; }

    // A block between lines: the line in progress ends first.
    void block(std::variant<RasterImage, Symbol, Marker> &&content);
    void marker(MarkerKind kind, std::string detail = {});

    TextDecoder &charset() { return decoder_; }
    const TextDecoder &charset() const { return decoder_; }
    Document &document() { return doc_; }
    std::size_t paperColumns() const { return paperColumns_; }

    // Where in the job's bytes the decoder stands: the bytes up to here bound
    // how many lines feeds may add (whatever the reads the job came in).
    void setPosition(std::uint64_t bytes) { position_ = bytes; }
    // Takes `bytes` from what copies of stored data (a symbol or an image
    // printed again and again) may add to the document: about twice the bytes
    // received. False when that is used up; the caller then adds a marker.
    bool spend(std::size_t bytes);
    // True from a block until text or a line end follows.
    bool justAfterBlock() const { return afterBlock_; }
    void clearAfterBlock() { afterBlock_ = false; }
    // A block grew (more rows of an image): as after adding one.
    void noteBlock() { afterBlock_ = true; }

    // The end of the job: a line left open becomes the last line.
    void finish();

private:
    void noteStyle();
    // Brings columns_ up to the end of the text, counted in the style it was
    // added in (counting waits until a style change or a question needs it).
    void countColumns();

    Document &doc_;
    TextDecoder decoder_;
    std::size_t paperColumns_;
    TextStyle style_;
    std::vector<StyleRun> runs_;
    Align align_ = Align::Left;
    Align lineAlign_ = Align::Left;
    std::size_t columns_ = 0;
    std::size_t countedTo_ = 0; // text buffer offset columns_ counts up to
    std::uint64_t position_ = 0;
    std::size_t spent_ = 0;
    std::size_t markers_ = 0;
    bool afterBlock_ = false;
};

} // namespace qb
