#pragma once
// The received bytes of the shown report as a hex dump (HexDump): read-only,
// no wrap, both scroll bars always shown, in a fixed-pitch font. It paints
// only the lines in view, asking the dump for them as it paints, so showing
// 64 MiB costs what one screen costs. The text can be selected with the mouse
// and with Shift and the arrows, and copied as plain text, lines joined by
// LF. The colours come from the palette, as in the text area.

#include "view/hexdump.h"

#include <QAbstractScrollArea>

#include <memory>
#include <string>

namespace qb {

class Report;

class HexView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr std::size_t kCopyLimit = std::size_t(16) << 20;

    explicit HexView(QWidget *parent = nullptr);

    // Shows the raw bytes of report (held while shown; null shows nothing),
    // with nothing selected, at the top.
    void setReport(std::shared_ptr<const Report> report);
    const HexDump &dump() const { return m_dump; }
    // What the view says in place of the dump of a report that has lines
    // but whose bytes were not kept; empty otherwise.
    QString notice() const;

    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const { return m_dump.textBetween(m_anchor, m_cursor); }
    TextPos anchorPosition() const { return m_anchor; }
    TextPos cursorPosition() const { return m_cursor; }
    // Selects from anchor to cursor and scrolls the cursor into view.
    void setSelection(TextPos anchor, TextPos cursor);
    // The place nearest to a point of the viewport.
    TextPos positionAt(QPoint viewportPoint) const;

    // Selects, in the hex columns, the next occurrence of needle after the
    // caret (after the selected one, when it is selected), or the previous
    // one before it, round the ends; gives its offset, npos when none.
    std::size_t find(std::string_view needle, bool backward);
    // Marks every occurrence of needle in view (none: empty), as the text
    // area marks a search's matches.
    void setMarked(std::string needle);
    const std::string &marked() const { return m_marked; }

public Q_SLOTS:
    void selectAll();
    // Puts the selected text on the clipboard; with nothing selected the
    // clipboard stays as it was. A selection of more than kCopyLimit bytes
    // (five times as many characters) is not copied: a warning says so.
    void copy();

Q_SIGNALS:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    void updateScrollBars();
    int lineHeight() const;
    int charWidth() const;
    TextPos clamp(TextPos p) const;

    std::shared_ptr<const Report> m_report;
    HexDump m_dump;
    TextPos m_anchor, m_cursor;
    std::string m_marked;
};

} // namespace qb
