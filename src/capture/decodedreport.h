#pragma once
// A decoded job as a report: the document's lines in UTF-8 as they stand on
// the paper (aligned lines start with the spaces that place them), each
// picture on text lines of its own, each marker on a line of its own, and
// per line what its text alone does not say (Report::decorations()).
//
// A picture (raster image or symbol) stands on `rows` lines: one per 24 dots
// of its height for images and barcodes, eight for 2D symbols. Its first
// row's text is a label ("[image 384 x 120]", "[QR Code]"), the others are
// empty; a symbol's readable data follows on ordinary text lines.

#include "capture/decoder.h"
#include "common/report.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Whether the settings decode at all: any language but plain text, or any
// character set but Windows-1252. Plain text in Windows-1252 keeps the
// byte-for-byte path (no decoder, no raw copy, no decorations).
bool decodes(const DecoderSettings &settings);

// The report of a finished document: its lines and decorations, the document
// itself with the text freed that the report now holds, the bytes as
// received and the stream counts.
Report decodedReport(Document &&document, std::string_view rawBytes, std::uint64_t received,
                     std::uint64_t notKept);
// The same, taking the bytes as received and the stream counts from
// `received` (a report kept with its raw bytes), without copying them.
Report decodedReport(Document &&document, Report &&received);

// Builds a decoded report while its job arrives: after each read it takes
// the lines and blocks the document will not change any more (all but the
// last block and what follows it), and the document frees their text, so
// that the text is held once and little is left for the job's end.
class DecodedReportBuilder {
public:
    // Takes what is final in doc so far, then frees its text there.
    void take(Document &doc);
    // The document was built anew from the job's first byte.
    void restart();
    // The rest of the finished document, then the report (as decodedReport()).
    Report finish(Document &&document, Report &&received);

    // What the report built so far holds, and may hold once the document
    // grew by what `n` more job bytes can add on paper `columns` wide.
    std::size_t memoryHeld() const;
    std::size_t memoryAfter(std::size_t n, std::size_t columns) const;
    // Bytes of text taken so far, and the most they come to when the same
    // job is decoded again as Windows-1252 (each byte of a character
    // outside ASCII can become up to three).
    std::size_t textBytes() const { return used_; }
    std::size_t textBytesDecodedAgain() const { return used_ + 2 * nonAscii_; }

private:
    void convert(const Document &doc, std::size_t lineLimit, std::size_t blockLimit);
    // Room for the lines up to lineLimit and the blocks up to blockLimit.
    void reserveFor(const Document &doc, std::size_t lineLimit, std::size_t blockLimit);
    void textLine(const Document &doc, std::size_t i);
    void block(const Document &doc, std::size_t b);
    bool append(std::string_view text);
    void decorate(LineDecoration::Kind kind, std::size_t source, std::int32_t shift, std::uint16_t row,
                  std::uint16_t rows);

    Report report_;
    std::string padded_, clean_;
    std::size_t nextLine_ = 0, nextBlock_ = 0;
    std::size_t used_ = 0; // bytes of the text form
    std::size_t nonAscii_ = 0;
    bool full_ = false;
};

// A whole job decoded at once (a stored job shown again, tests). Status
// requests in it are never answered.
Report decodeJob(std::string_view bytes, const DecoderSettings &settings);

// The lines a picture of the given height in dots stands on.
std::uint16_t imageRows(std::uint32_t heightDots);
// The text of a picture's first row.
std::string imageLabel(const RasterImage &image);
std::string symbolLabel(const Symbol &symbol);

} // namespace qb
