#pragma once
// The find bar under a text area: a field, "Match case", "Previous", "Next"
// and the count of matches ("3 of 1 204"). It searches the shown report a
// slice at a time from the event loop, so the window keeps answering while a
// long report is searched and the count grows as it goes. Every match in view
// is marked and the current one is selected and scrolled into view. Changing
// the field or "Match case" searches again, and so does showing another
// report while the bar is open. It never holds the display.

#include "view/reportsearch.h"

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <cstdint>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QShortcut;
class QToolButton;

namespace qb {

class HexView;
class ReportView;
class ToolkitTimer;

class FindBar : public QWidget
{
    Q_OBJECT
public:
    // Searches view's report; hidden until open().
    explicit FindBar(ReportView *view, QWidget *parent = nullptr);
    // Takes the marks away from a text area that outlives the bar.
    ~FindBar() override;

    // Shows the bar with the field focused and its text selected; a
    // selection of part of one line becomes the text looked for.
    void open();
    // Hides the bar, drops the search and gives the text area the focus.
    void close();
    // The next or previous match from the current one (or from the caret
    // once the user has moved it), round the end of the report. With the bar
    // closed they open it.
    void findNext();
    void findPrevious();

    // While hex is shown, the bar searches its bytes instead: for those
    // written in hex ("0x1b 0x40", "1b40") or else the field's bytes, exactly.
    void setRawView(HexView *hex);

    const ReportSearch &search() const { return m_search; }
    // Index of the selected match; kNone when none is.
    static constexpr std::size_t kNone = SIZE_MAX;
    std::size_t current() const { return m_current; }
    // The count as shown: "3 of 1 204" (groups of three digits apart by a
    // space), "1 204 found" before one is selected, with "…" after it while
    // the search goes on, "No matches" once it found none.
    static QString countText(std::size_t current, std::size_t count, bool done);

    QLineEdit *eFind;
    QCheckBox *cbMatchCase;
    QToolButton *sbFindPrevious, *sbFindNext, *sbFindClose;
    QLabel *lFindCount;

Q_SIGNALS:
    // The search went through the whole report.
    void searchDone();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Want { Nothing, Next, Previous };
    void restart();
    void searchSome();
    void selectMatch(std::size_t i);
    // True when the text area's selection is the current match.
    bool onCurrent() const;
    void showCount();
    bool rawShown() const;
    void findRaw(bool backward);

    QPointer<ReportView> m_view;
    QPointer<HexView> m_raw;
    ReportSearch m_search;
    ToolkitTimer *m_timer;
    std::size_t m_current = kNone;
    std::size_t m_from = 0;  // the search selects the first match from here
    Want m_want = Want::Nothing;
    QShortcut *m_escape;
};

// Adds "Find..." (Ctrl+F), "Find Next" (F3), "Find Previous" (Shift+F3) and
// "Go to Line..." (Ctrl+G) to menu, named Find1, FindNext1, FindPrevious1
// and GotoLine1, working on bar and its text area; the Go to Line dialog
// opens over parent.
struct FindActions {
    QAction *find, *next, *previous, *goToLine;
};
FindActions addFindActions(QMenu *menu, FindBar *bar, ReportView *view, QWidget *parent);

} // namespace qb
