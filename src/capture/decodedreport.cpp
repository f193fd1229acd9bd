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

// Builds the report's lines from the document in order.
class Conversion {
public:
    Conversion(const Document &doc, Report &out)
        : doc_(doc), out_(out), columns_(doc.paperColumns())
    {
    }

    void run()
    {
        reserve();
        const std::vector<Block> &blocks = doc_.blocks();
        std::size_t b = 0;
        for (std::size_t i = 0; i < doc_.lineCount() && !full_; ++i) {
            for (; b < blocks.size() && blocks[b].beforeLine <= i && !full_; ++b)
                block(b);
            textLine(i);
        }
        for (; b < blocks.size() && !full_; ++b)
            block(b);
    }

    std::vector<LineDecoration> takeDecorations() { return std::move(decorations_); }

private:
    void reserve()
    {
        std::size_t text = 0;
        for (std::size_t i = 0; i < doc_.lineCount(); ++i)
            text += doc_.lineLength(i) + 2 + (doc_.lineAlign(i) == Align::Left ? 0 : columns_);
        std::size_t lines = doc_.lineCount();
        for (const Block &b : doc_.blocks()) {
            const std::size_t rows = rowsOf(b);
            lines += rows;
            text += 2 * rows + 48;
        }
        out_.reserve(std::min(text, kMaxTextForm), lines);
    }

    static std::uint16_t rowsOf(const Block &b)
    {
        if (const auto *img = std::get_if<RasterImage>(&b.content))
            return imageRows(img->height);
        if (const auto *sym = std::get_if<Symbol>(&b.content))
            return sym->isTwoDimensional() ? kTwoDimensionalRows : imageRows(std::uint32_t(std::max(sym->height, 0)));
        return 1;
    }

    // Appends a line; its bytes may hold line breaks or NUL, which become
    // spaces (so that byte offsets into it stay those of the document).
    bool append(std::string_view text)
    {
        if (used_ + text.size() + 2 > kMaxTextForm) {
            full_ = true;
            return false;
        }
        if (findLineBreakOrNul(text.data(), text.data() + text.size()) != text.data() + text.size()) {
            clean_.assign(text);
            for (char &c : clean_)
                if (c == '\r' || c == '\n' || c == '\0')
                    c = ' ';
            text = clean_;
        }
        out_.appendLine(text);
        used_ += text.size() + 2;
        return true;
    }

    void decorate(LineDecoration::Kind kind, std::size_t source, std::int32_t shift, std::uint16_t row,
                  std::uint16_t rows)
    {
        LineDecoration d;
        d.line = std::uint32_t(out_.lineCount() - 1);
        d.source = std::uint32_t(source);
        d.shift = shift;
        d.row = row;
        d.rows = rows;
        d.kind = kind;
        decorations_.push_back(d);
    }

    void textLine(std::size_t i)
    {
        const std::string_view text = doc_.lineText(i);
        const std::size_t pad = doc_.linePadding(i, columns_);
        std::string_view line = text;
        if (pad > 0) {
            padded_.assign(pad, ' ');
            padded_ += text;
            line = padded_;
        }
        if (!append(line))
            return;
        if (pad > 0 || doc_.lineHasRuns(i))
            decorate(LineDecoration::Kind::Text, i, std::int32_t(pad), 0, 1);
    }

    void block(std::size_t b)
    {
        const Block &block = doc_.blocks()[b];
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

    const Document &doc_;
    Report &out_;
    const std::size_t columns_;
    std::vector<LineDecoration> decorations_;
    std::string padded_, clean_;
    std::size_t used_ = 0;
    bool full_ = false;
};

} // namespace

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
    Report out;
    Conversion conversion(document, out);
    conversion.run();
    out.shrinkToFit();
    document.releaseText();
    out.setDecoded(std::make_shared<const Document>(std::move(document)), conversion.takeDecorations());
    out.takeRawBytes(received);
    out.setStreamCounts(received.bytesReceived(), received.bytesNotKept());
    return out;
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
