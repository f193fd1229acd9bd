#include "app/printersurface.h"

#include "common/bytes.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
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
    m_ink = QGuiApplication::palette().color(QPalette::WindowText);
    m_painter.setPen(m_ink);
}

void PainterSurface::setMuted(bool on)
{
    m_painter.setPen(on ? QColor(128, 128, 128) : m_ink);
}

int PainterSurface::averageCharWidth() const { return m_metrics.averageCharWidth(); }

int PainterSurface::charHeight() const { return m_metrics.height(); }

QString PainterSurface::text(std::string_view bytes) const
{
    return m_utf8 ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size())) : bytesToText(bytes);
}

int PainterSurface::textWidth(std::string_view bytes) const { return m_metrics.horizontalAdvance(text(bytes)); }

int PainterSurface::textHeight(std::string_view) const { return m_metrics.height(); }

void PainterSurface::drawText(int x, int y, std::string_view bytes)
{
    const QString shown = text(bytes);
    if (!m_upsideDown) {
        drawUpright(x, y, shown);
        return;
    }
    // The text turned half a turn in its place, as the printer prints it.
    const QPointF centre(x + m_metrics.horizontalAdvance(shown) / 2.0, y + m_metrics.height() / 2.0);
    m_painter.save();
    m_painter.translate(centre);
    m_painter.rotate(180);
    m_painter.translate(-centre);
    drawUpright(x, y, shown);
    m_painter.restore();
}

void PainterSurface::drawUpright(int x, int y, const QString &shown)
{
    if (m_reverse) {
        const QColor ink = m_painter.pen().color();
        m_painter.fillRect(QRect(x, y, m_metrics.horizontalAdvance(shown), m_metrics.height()), ink);
        m_painter.setPen(Qt::white);
        m_painter.drawText(QPoint(x, y + m_metrics.ascent()), shown);
        m_painter.setPen(ink);
        return;
    }
    m_painter.drawText(QPoint(x, y + m_metrics.ascent()), shown);
}

void PainterSurface::setStyle(const TextStyle &style)
{
    m_font = printerFont();
    m_font.setBold(style.bold);
    m_font.setUnderline(style.underline != Underline::None);
    const int width = std::clamp<int>(style.widthScale, 1, 8);
    const int height = std::clamp<int>(style.heightScale, 1, 8);
    if (height != 1)
        m_font.setPointSizeF(m_font.pointSizeF() * height);
    if (width != height)
        m_font.setStretch(100 * width / height);
    m_reverse = style.reverse;
    m_upsideDown = style.upsideDown;
    m_metrics = QFontMetrics(m_font, &m_printer);
    m_painter.setFont(m_font);
}

void PainterSurface::drawImage(int x, int y, int width, int height, const QImage &image)
{
    // Dots stay sharp: a barcode's bars must not blur into each other.
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    m_painter.drawImage(QRect(x, y, width, height), image);
}

void PainterSurface::newPage()
{
    m_printer.newPage();
    if (m_betweenPages)
        m_betweenPages();
}

} // namespace qb
