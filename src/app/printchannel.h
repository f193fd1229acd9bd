#pragma once
// The printer channel: a sequential text output that lays 8-bit characters
// out on pages, with tab stops, line feeds and form feeds, and no margins,
// headers or page numbers. It draws on a PrintSurface, so the layout runs
// the same on a printer and on a recording surface in the tests.
//
// A decoded report prints as it is shown: its UTF-8 text with the styles of
// its runs, its pictures (raster images, barcodes, 2D symbols) drawn as
// pictures on the rows they stand on.

#include "common/document.h"
#include "common/report.h"

#include <QImage>

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

    // From now on the text bytes are UTF-8 (a decoded report), not one
    // Windows-1252 character each.
    virtual void setUtf8(bool) {}
    // The style of the text measured and drawn from now on.
    virtual void setStyle(const TextStyle &) {}
    // Draws the picture (black on white) scaled into the rectangle whose
    // top-left corner is (x, y).
    virtual void drawImage(int, int, int, int, const QImage &) {}
    // The text drawn from now on is what the printer did without printing
    // (a cut, a skipped command): in grey, apart from the content.
    virtual void setMuted(bool) {}
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

    // The text written from now on is UTF-8: lines break between characters,
    // never inside one.
    void setUtf8(bool on);
    // Lays out what is buffered, then draws the following text so.
    void setStyle(const TextStyle &style);
    // Lays out what is buffered, then draws the following text muted or not.
    void setMuted(bool on);
    // Lays out what is buffered; then, on a line of its own (a new page
    // first when it does not fit below), draws the picture `height` pixels
    // high at x and moves down by that much.
    void drawPicture(int x, int width, int height, const QImage &picture);

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
    bool m_utf8 = false;
};

// The most characters of one report line that are printed.
constexpr std::size_t kPrintLineLimit = 4096;

// Writes every line of the shown report, each cut to its first
// kPrintLineLimit characters (bytes of a plain report, whole UTF-8 characters
// of a decoded one), followed by a line end, then closes the channel.
// A decoded report's styled lines print in their styles, each picture row
// prints as its slice of the picture (see printDecodedLines), and the labels
// of markers and of pictures that cannot be drawn print muted.
// The surface's first page has begun; ending the job is the caller's.
void printLines(PrintSurface &surface, const Report &shown);

// The picture of a block of a decoded job in the printer's dots: a raster
// image or a drawn symbol; null for a marker or a symbol that cannot be drawn.
QImage blockPicture(const Block &block);

} // namespace qb
