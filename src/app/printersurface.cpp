#include "app/printersurface.h"

#include "common/bytes.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPrinter>

namespace qb {

QFont PainterSurface::printerFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    return font;
}

PainterSurface::PainterSurface(QPrinter &printer, QPainter &painter, std::function<void()> betweenPages)
    : m_printer(printer),
      m_painter(painter),
      m_betweenPages(std::move(betweenPages)),
      m_font(printerFont()),
      m_metrics(m_font, &printer)
{
    // Painting starts at the top-left corner of the printable area, so the
    // page is that area, in the printer's pixels.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    m_pageWidth = area.width();
    m_pageHeight = area.height();
    m_painter.setFont(m_font);
    m_painter.setPen(QGuiApplication::palette().color(QPalette::WindowText));
}

int PainterSurface::averageCharWidth() const { return m_metrics.averageCharWidth(); }

int PainterSurface::charHeight() const { return m_metrics.height(); }

int PainterSurface::textWidth(std::string_view bytes) const
{
    return m_metrics.horizontalAdvance(bytesToText(bytes));
}

int PainterSurface::textHeight(std::string_view) const { return m_metrics.height(); }

void PainterSurface::drawText(int x, int y, std::string_view bytes)
{
    m_painter.drawText(QPoint(x, y + m_metrics.ascent()), bytesToText(bytes));
}

void PainterSurface::newPage()
{
    m_printer.newPage();
    if (m_betweenPages)
        m_betweenPages();
}

} // namespace qb
