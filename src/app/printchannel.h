#pragma once
// The printer channel: a sequential text output that lays 8-bit characters
// out on pages, with tab stops, line feeds and form feeds, and no margins,
// headers or page numbers. It draws on a PrintSurface, so the layout runs
// the same on a printer and on a recording surface in the tests.

#include "common/report.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// The device the channel draws on, measured in device pixels.
class PrintSurface
{
public:
    virtual ~PrintSurface() = default;
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;
    virtual int averageCharWidth() const = 0;
    virtual int charHeight() const = 0;
    virtual int textWidth(std::string_view bytes) const = 0;
    virtual int textHeight(std::string_view bytes) const = 0;
    virtual void drawText(int x, int y, std::string_view bytes) = 0;
    // Ends the current page and begins the next.
    virtual void newPage() = 0;
};

class PrintChannel
{
public:
    static constexpr std::size_t kBufferSize = 128;

    // The job has started and its first page has begun.
    explicit PrintChannel(PrintSurface &surface);

    // Characters collect in a buffer of kBufferSize and are laid out when it
    // is full, at each line end and on close().
    void write(std::string_view bytes);
    // write(line), then CR LF, then lays out what is buffered.
    void writeLine(std::string_view line);
    // Lays out what is buffered. Ending the page and the job is the caller's.
    void close();

private:
    void flush();
    void layOutPending();
    void newLine();
    void newPage();

    PrintSurface &m_surface;
    int m_pageWidth;
    int m_pageHeight;
    int m_x = 0;
    int m_y = 0;
    int m_lineHeight = 0;
    std::string m_buffer;
    std::string m_pending;
};

// The most characters of one report line that are printed.
constexpr std::size_t kPrintLineLimit = 4096;

// Writes every line of the shown report, each cut to its first
// kPrintLineLimit characters, followed by a line end, then closes the channel.
// The surface's first page has begun; ending the job is the caller's.
void printLines(PrintSurface &surface, const Report &shown);

} // namespace qb
