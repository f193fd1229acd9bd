#include "capture/decodedreport.h"

#include "capture/reportassembler.h"
#include "common/document.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <variant>

namespace qb {

namespace {

// Dots of paper height one text line stands for.
constexpr std::uint32_t kDotsPerLine = 24;
// The lines a 2D symbol stands on.
constexpr std::uint16_t kTwoDimensionalRows = 8;
// The text form of a report stays within its 32-bit offsets; a document
// whose lines would pass this (only one built from far more bytes than a
// report keeps) ends there.
constexpr std::size_t kMaxTextForm = std::size_t(std::numeric_limits<std::uint32_t>::max()) - (std::size_t(1) << 20);

std::uint16_t rowsOf(const Block &b)
{
    if (const auto *img = std::get_if<RasterImage>(&b.content))
        return imageRows(img->height);
    if (const auto *sym = std::get_if<Symbol>(&b.content))
        return sym->isTwoDimensional() ? kTwoDimensionalRows : imageRows(std::uint32_t(std::max(sym->height, 0)));
    return 1;
}

} // namespace

void DecodedReportBuilder::restart() { *this = DecodedReportBuilder(); }

std::size_t DecodedReportBuilder::memoryHeld() const { return report_.memoryHeld(); }

std::size_t DecodedReportBuilder::memoryAfter(std::size_t n, std::size_t columns) const
{
    // Each job byte adds at most a line (a line end, or a row of a picture
    // whose dots the byte carries) and a decoration, and the text its
    // character decodes to; only a line with text is padded for its
    // alignment, and such a line takes two bytes at least.
    const std::size_t lines = 2 * n + 1;
    const std::size_t text = n * 4 + (n / 2 + 1) * columns + 2 * lines + 64;
    return report_.memoryAfterAppending(text, lines, lines);
}

bool DecodedReportBuilder::append(std::string_view text)
{
    if (used_ + text.size() + 2 > kMaxTextForm) {
        full_ = true;
        return false;
    }
    // Line breaks and NUL become spaces, so that byte offsets into the line
    // stay those of the document.
    if (findLineBreakOrNul(text.data(), text.data() + text.size()) != text.data() + text.size()) {
        clean_.assign(text);
        for (char &c : clean_)
            if (c == '\r' || c == '\n' || c == '\0')
                c = ' ';
        text = clean_;
    }
    report_.appendLine(text);
    used_ += text.size() + 2;
    for (const char c : text)
        nonAscii_ += static_cast<unsigned char>(c) >> 7;
    return true;
}

void DecodedReportBuilder::decorate(LineDecoration::Kind kind, std::size_t source, std::int32_t shift,
                                    std::uint16_t row, std::uint16_t rows)
{
    LineDecoration d;
    d.line = std::uint32_t(report_.lineCount() - 1);
    d.source = std::uint32_t(source);
    d.shift = shift;
    d.row = row;
    d.rows = rows;
    d.kind = kind;
    report_.addDecoration(d);
}

void DecodedReportBuilder::textLine(const Document &doc, std::size_t i)
{
    const std::string_view text = doc.lineText(i);
    const std::size_t pad = doc.linePadding(i, doc.paperColumns());
    std::string_view line = text;
    if (pad > 0) {
        padded_.assign(pad, ' ');
        padded_ += text;
        line = padded_;
    }
    if (!append(line))
        return;
    if (pad > 0 || doc.lineHasRuns(i))
        decorate(LineDecoration::Kind::Text, i, std::int32_t(pad), 0, 1);
}

void DecodedReportBuilder::block(const Document &doc, std::size_t b)
{
    const Block &block = doc.blocks()[b];
    if (const auto *m = std::get_if<Marker>(&block.content)) {
        if (append(markerLabel(*m)))
            decorate(LineDecoration::Kind::Marker, b, 0, 0, 1);
        return;
    }
    const std::uint16_t rows = rowsOf(block);
    const std::string label = std::holds_alternative<RasterImage>(block.content)
                                  ? imageLabel(std::get<RasterImage>(block.content))
                                  : symbolLabel(std::get<Symbol>(block.content));
    for (std::uint16_t r = 0; r < rows; ++r) {
        if (!append(r == 0 ? std::string_view(label) : std::string_view()))
            return;
        decorate(LineDecoration::Kind::Block, b, 0, r, rows);
    }
}

// Lines up to lineLimit and blocks up to blockLimit, in document order: a
// block stands before the line it was added before.
void DecodedReportBuilder::convert(const Document &doc, std::size_t lineLimit, std::size_t blockLimit)
{
    const Blocks &blocks = doc.blocks();
    const auto blocksBefore = [&](std::size_t line) {
        for (; nextBlock_ < blockLimit && blocks[nextBlock_].beforeLine <= line && !full_; ++nextBlock_)
            block(doc, nextBlock_);
    };
    for (; nextLine_ < lineLimit && !full_; ++nextLine_) {
        blocksBefore(nextLine_);
        textLine(doc, nextLine_);
    }
    blocksBefore(nextLine_);
}

void DecodedReportBuilder::reserveFor(const Document &doc, std::size_t lineLimit, std::size_t blockLimit)
{
    // At most this much: aligned lines as padded to the full width.
    const std::size_t columns = doc.paperColumns();
    std::size_t text = 0, lines = 0;
    for (std::size_t i = nextLine_; i < lineLimit; ++i)
        text += doc.lineLength(i) + 2 + (doc.lineAlign(i) == Align::Left ? 0 : columns);
    lines += lineLimit - std::min(lineLimit, nextLine_);
    for (std::size_t b = nextBlock_; b < blockLimit && doc.blocks()[b].beforeLine <= lineLimit; ++b) {
        const std::size_t rows = rowsOf(doc.blocks()[b]);
        lines += rows;
        text += 2 * rows + 64;
    }
    report_.reserveMore(std::min(text, kMaxTextForm), lines);
}

void DecodedReportBuilder::take(Document &doc)
{
    // The last block may still change (an image grows by bands, a marker
    // counts again), and the lines after it wait with it.
    const Blocks &blocks = doc.blocks();
    const std::size_t blockLimit = blocks.empty() ? 0 : blocks.size() - 1;
    const std::size_t lineLimit =
        blocks.empty() ? doc.lineCount() : std::min(doc.lineCount(), blocks.back().beforeLine);
    // In steps, each step's text freed before the next: a document built
    // anew at once (the automatic character set) is not held twice.
    constexpr std::size_t kStep = 65536;
    while (nextLine_ < lineLimit || nextBlock_ < blockLimit) {
        const std::size_t stepEnd = std::min(lineLimit, nextLine_ + kStep);
        const std::size_t before = nextLine_ + nextBlock_;
        reserveFor(doc, stepEnd, blockLimit);
        convert(doc, stepEnd, blockLimit);
        doc.releaseTextBefore(nextLine_);
        if (full_ || nextLine_ + nextBlock_ == before)
            break;
    }
}

Report DecodedReportBuilder::finish(Document &&document, Report &&received)
{
    reserveFor(document, document.lineCount(), document.blocks().size());
    convert(document, document.lineCount(), document.blocks().size());
    report_.shrinkToFit();
    document.releaseText();
    Report out = std::move(report_);
    out.setDecoded(std::make_shared<const Document>(std::move(document)));
    out.takeRawBytes(received);
    out.setStreamCounts(received.bytesReceived(), received.bytesNotKept());
    restart();
    return out;
}

bool decodes(const DecoderSettings &settings)
{
    return settings.language != Language::Text || settings.encoding != Encoding::Windows1252;
}

std::uint16_t imageRows(std::uint32_t heightDots)
{
    const std::uint32_t rows = heightDots / kDotsPerLine + (heightDots % kDotsPerLine != 0);
    return std::uint16_t(std::clamp<std::uint32_t>(rows, 1, std::numeric_limits<std::uint16_t>::max()));
}

std::string imageLabel(const RasterImage &image)
{
    return "[image " + std::to_string(image.width) + " x " + std::to_string(image.height) + "]";
}

std::string symbolLabel(const Symbol &symbol) { return "[" + std::string(symbolKindName(symbol.kind)) + "]"; }

Report decodedReport(Document &&document, Report &&received)
{
    return DecodedReportBuilder().finish(std::move(document), std::move(received));
}

Report decodedReport(Document &&document, std::string_view rawBytes, std::uint64_t received,
                     std::uint64_t notKept)
{
    Report raw;
    raw.setRawBytes(rawBytes);
    raw.setStreamCounts(received, notKept);
    return decodedReport(std::move(document), std::move(raw));
}

Report decodeJob(std::string_view bytes, const DecoderSettings &settings)
{
    ReportDecoder decoder(settings);
    decoder.feed(bytes);
    decoder.finish();
    return decodedReport(decoder.takeDocument(), bytes, bytes.size(), 0);
}

} // namespace qb
