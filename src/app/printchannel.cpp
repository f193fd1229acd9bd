#include "app/printchannel.h"

namespace qb {

namespace {

constexpr char kTab = 9;
constexpr char kLineFeed = 10;
constexpr char kFormFeed = 12;
constexpr char kCarriageReturn = 13;

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
    layOutPending();
}

void PrintChannel::layOutPending()
{
    std::string_view rest = m_pending;
    while (!rest.empty()) {
        std::size_t n = rest.size();
        int w = m_surface.textWidth(rest.substr(0, n));
        while (n > 0 && m_x + w > m_pageWidth) {
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
            n = 1;
            w = m_surface.textWidth(rest.substr(0, 1));
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

void printLines(PrintSurface &surface, const Report &shown)
{
    PrintChannel channel(surface);
    for (std::size_t i = 0; i < shown.lineCount(); ++i)
        channel.writeLine(shown.line(i).substr(0, kPrintLineLimit));
    channel.close();
}

} // namespace qb
