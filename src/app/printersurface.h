#pragma once
// The printer channel's drawing surface on a real printer: a QPainter that is
// active on a QPrinter, the printer's own 8-point "MS Sans Serif" (never the
// text area's font), and the printable area as the page.

#include "app/printchannel.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>

#include <functional>

class QPainter;
class QPrinter;

namespace qb {

class PainterSurface : public PrintSurface
{
public:
    // The painter must be active on the printer for the surface's life.
    // betweenPages runs after each new page has begun (the moment the
    // program lets other work in while a job is produced); may be empty.
    PainterSurface(QPrinter &printer, QPainter &painter, std::function<void()> betweenPages = {});

    // The printer font: "MS Sans Serif" at 8 points.
    static QFont printerFont();

    int pageWidth() const override { return m_pageWidth; }
    int pageHeight() const override { return m_pageHeight; }
    int averageCharWidth() const override;
    int charHeight() const override;
    int textWidth(std::string_view bytes) const override;
    int textHeight(std::string_view bytes) const override;
    // (x, y) is the top-left corner of the text.
    void drawText(int x, int y, std::string_view bytes) override;
    void newPage() override;
    void setUtf8(bool on) override { m_utf8 = on; }
    // Bold, underline, reverse (white on black), upside-down and the width
    // and height scales of the printer font.
    void setStyle(const TextStyle &style) override;
    void drawImage(int x, int y, int width, int height, const QImage &image) override;
    // Grey, whatever the palette.
    void setMuted(bool on) override;

private:
    QString text(std::string_view bytes) const;
    void drawUpright(int x, int y, const QString &shown);

    QPrinter &m_printer;
    QPainter &m_painter;
    std::function<void()> m_betweenPages;
    QFont m_font;
    QFontMetrics m_metrics;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    bool m_utf8 = false;
    bool m_reverse = false;
    bool m_upsideDown = false;
    QColor m_ink; // the pen of text that is not muted
};

} // namespace qb
