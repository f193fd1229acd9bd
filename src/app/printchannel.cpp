#include "app/printchannel.h"

#include "view/symbols.h"

#include <algorithm>
#include <cmath>

namespace qb {

namespace {

constexpr char kTab = 9;
constexpr char kLineFeed = 10;
constexpr char kFormFeed = 12;
constexpr char kCarriageReturn = 13;

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes of the UTF-8 sequence that starts with this byte.
std::size_t sequenceLength(char lead)
{
    const auto c = static_cast<unsigned char>(lead);
    return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
}

// Where the incomplete UTF-8 sequence at the end of text begins; its size
// when there is none.
std::size_t completePrefix(std::string_view text)
{
    std::size_t i = text.size();
    for (int back = 0; back < 3 && i > 0 && continuationByte(text[i - 1]); ++back)
        --i;
    if (i == 0)
        return text.size();
    const std::size_t lead = i - 1;
    if (continuationByte(text[lead]) || sequenceLength(text[lead]) == 1)
        return text.size();
    return lead + sequenceLength(text[lead]) > text.size() ? lead : text.size();
}

// The first `characters` code points of UTF-8 text.
std::string_view utf8Prefix(std::string_view text, std::size_t characters)
{
    std::size_t i = 0;
    for (std::size_t n = 0; i < text.size() && n < characters; ++n) {
        ++i;
        while (i < text.size() && continuationByte(text[i]))
            ++i;
    }
    return text.substr(0, i);
}

} // namespace

PrintChannel::PrintChannel(PrintSurface &surface)
    : m_surface(surface), m_pageWidth(surface.pageWidth()), m_pageHeight(surface.pageHeight())
{
    m_buffer.reserve(kBufferSize);
}

void PrintChannel::write(std::string_view bytes)
{
    for (const char c : bytes) {
        m_buffer.push_back(c);
        if (m_buffer.size() >= kBufferSize)
            flush();
    }
}

void PrintChannel::writeLine(std::string_view line)
{
    write(line);
    write("\r\n");
    flush();
}

void PrintChannel::close()
{
    flush();
    layOutPending(); // a UTF-8 sequence the job ended inside
}

void PrintChannel::setUtf8(bool on)
{
    close();
    m_utf8 = on;
    m_surface.setUtf8(on);
}

void PrintChannel::setStyle(const TextStyle &style)
{
    close();
    m_surface.setStyle(style);
}

void PrintChannel::setMuted(bool on)
{
    close();
    m_surface.setMuted(on);
}

void PrintChannel::drawPicture(int x, int width, int height, const QImage &picture)
{
    close();
    if (m_x > 0)
        newLine();
    if (m_y > 0 && m_y + height > m_pageHeight)
        newPage();
    m_surface.drawImage(x, m_y, width, height, picture);
    m_y += height;
    m_lineHeight = 0;
}

void PrintChannel::flush()
{
    for (const char c : m_buffer) {
        switch (c) {
        case kTab: {
            layOutPending();
            const int stop = 8 * m_surface.averageCharWidth();
            // A font without width has no tab stops; the tab then only ends
            // the pending text instead of dividing by zero.
            if (stop > 0)
                m_x += stop - ((m_x + stop + 1) % stop) + 1;
            if (m_x > m_pageWidth)
                newLine();
            break;
        }
        case kLineFeed:
            layOutPending();
            newLine();
            break;
        case kFormFeed:
            layOutPending();
            newPage();
            break;
        case kCarriageReturn:
            layOutPending();
            break;
        default:
            m_pending.push_back(c);
            break;
        }
    }
    m_buffer.clear();
    // A UTF-8 character the buffer ended inside waits for its other bytes.
    std::string tail;
    if (m_utf8) {
        const std::size_t complete = completePrefix(m_pending);
        tail = m_pending.substr(complete);
        m_pending.resize(complete);
    }
    layOutPending();
    m_pending = std::move(tail);
}

void PrintChannel::layOutPending()
{
    std::string_view rest = m_pending;
    while (!rest.empty()) {
        std::size_t n = rest.size();
        int w = m_surface.textWidth(rest.substr(0, n));
        while (n > 0 && m_x + w > m_pageWidth) {
            --n;
            while (m_utf8 && n > 0 && continuationByte(rest[n]))
                --n;
            w = n > 0 ? m_surface.textWidth(rest.substr(0, n)) : 0;
        }
        if (n == 0) {
            // Nothing fits in the rest of this line: go on at the left edge.
            // When not even one character fits there (a page narrower than a
            // character), draw one anyway, cut off by the edge, so the text
            // moves on instead of opening new lines for ever.
            if (m_x > 0) {
                newLine();
                continue;
            }
            n = m_utf8 ? std::min(sequenceLength(rest[0]), rest.size()) : 1;
            w = m_surface.textWidth(rest.substr(0, n));
        }
        const std::string_view piece = rest.substr(0, n);
        const int h = m_surface.textHeight(piece);
        if (m_lineHeight < h)
            m_lineHeight = h + 2;
        m_surface.drawText(m_x, m_y, piece);
        rest.remove_prefix(n);
        if (rest.empty())
            m_x += w;
        else
            newLine();
    }
    m_pending.clear();
}

void PrintChannel::newLine()
{
    m_x = 0;
    const int height = m_lineHeight != 0 ? m_lineHeight : m_surface.charHeight();
    m_y += height;
    if (m_y > m_pageHeight - 2 * height)
        newPage();
    m_lineHeight = 0;
}

void PrintChannel::newPage()
{
    m_x = 0;
    m_y = 0;
    m_surface.newPage();
}

QImage blockPicture(const Block &block)
{
    if (const auto *image = std::get_if<RasterImage>(&block.content))
        return image->width > 0 && image->height > 0 ? rasterToImage(*image) : QImage();
    if (const auto *symbol = std::get_if<Symbol>(&block.content))
        return drawSymbol(*symbol);
    return {};
}

namespace {

// A line of document text in the styles of its runs; byte c of the report
// line is byte c - shift of the document line.
void writeStyled(PrintChannel &channel, std::string_view line, const std::vector<StyleRun> &runs,
                 std::int32_t shift)
{
    std::size_t done = 0;
    for (const StyleRun &run : runs) {
        const std::int64_t at = std::int64_t(run.offset) + shift;
        const std::size_t start = std::size_t(std::clamp<std::int64_t>(at, 0, std::int64_t(line.size())));
        if (start > done) {
            channel.write(line.substr(done, start - done));
            done = start;
        }
        channel.setStyle(run.style);
    }
    channel.write(line.substr(done));
    channel.setStyle(TextStyle{});
    channel.writeLine({});
}

// What a printer puts on the paper for one decoded line; true when it was a
// picture's row.
class DecodedPrinter
{
public:
    DecodedPrinter(PrintSurface &surface, PrintChannel &channel, const Document &document)
        : m_channel(channel)
        , m_document(document)
        , m_pageWidth(surface.pageWidth())
        // A column of the paper is twelve dots of the printer's normal font,
        // and one character of the printer font here.
        , m_perDot(surface.averageCharWidth() / 12.0)
        , m_paperWidth(int(document.paperColumns()) * surface.averageCharWidth())
    {
    }

    bool pictureRow(const LineDecoration &d)
    {
        if (d.source >= m_document.blocks().size())
            return false;
        const Block &block = m_document.blocks()[d.source];
        if (m_pictureOf != d.source) {
            m_picture = blockPicture(block);
            m_pictureOf = d.source;
        }
        if (m_picture.isNull() || d.rows == 0)
            return false; // a symbol that cannot be drawn prints its label
        double scale = m_perDot;
        if (m_picture.width() * scale > m_pageWidth)
            scale = double(m_pageWidth) / m_picture.width();
        const int width = std::max(1, int(std::lround(m_picture.width() * scale)));
        const double height = m_picture.height() * scale;
        const int top = m_picture.height() * d.row / d.rows;
        const int bottom = m_picture.height() * (d.row + 1) / d.rows;
        const int y0 = int(std::lround(height * d.row / d.rows));
        const int y1 = int(std::lround(height * (d.row + 1) / d.rows));
        if (bottom <= top || y1 <= y0)
            return true; // a row with no dots of its own
        const int room = std::max(m_paperWidth, width);
        const int x = block.align == Align::Centre ? (room - width) / 2 : block.align == Align::Right ? room - width : 0;
        m_channel.drawPicture(std::min(x, std::max(0, m_pageWidth - width)), width, y1 - y0,
                              m_picture.copy(0, top, m_picture.width(), bottom - top));
        return true;
    }

    void textLine(std::string_view line, const LineDecoration &d)
    {
        if (d.source < m_document.lineCount())
            writeStyled(m_channel, line, m_document.lineRuns(d.source), d.shift);
        else
            m_channel.writeLine(line);
    }

private:
    PrintChannel &m_channel;
    const Document &m_document;
    int m_pageWidth;
    double m_perDot;
    int m_paperWidth;
    std::size_t m_pictureOf = std::size_t(-1);
    QImage m_picture;
};

void printDecodedLines(PrintSurface &surface, PrintChannel &channel, const Report &shown)
{
    channel.setUtf8(true);
    const Document *document = shown.document().get();
    if (!document) {
        for (std::size_t i = 0; i < shown.lineCount(); ++i)
            channel.writeLine(utf8Prefix(shown.line(i), kPrintLineLimit));
        return;
    }
    DecodedPrinter printer(surface, channel, *document);
    for (std::size_t i = 0; i < shown.lineCount(); ++i) {
        const std::string_view line = utf8Prefix(shown.line(i), kPrintLineLimit);
        const LineDecoration *d = shown.decoration(i);
        if (d && d->kind == LineDecoration::Kind::Block && printer.pictureRow(*d))
            continue;
        if (d && d->kind == LineDecoration::Kind::Text) {
            printer.textLine(line, *d);
        } else if (d) {
            // A marker, or the label of a picture that cannot be drawn.
            channel.setMuted(true);
            channel.writeLine(line);
            channel.setMuted(false);
        } else {
            channel.writeLine(line);
        }
    }
}

} // namespace

void printLines(PrintSurface &surface, const Report &shown)
{
    PrintChannel channel(surface);
    if (shown.isDecoded()) {
        printDecodedLines(surface, channel, shown);
        channel.close();
        return;
    }
    for (std::size_t i = 0; i < shown.lineCount(); ++i)
        channel.writeLine(shown.line(i).substr(0, kPrintLineLimit));
    channel.close();
}

} // namespace qb
