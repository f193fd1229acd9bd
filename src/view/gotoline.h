#pragma once
// "Go to Line": asks for a line number, 1 to the number of lines shown (the
// prompt says the range), and puts the caret at the start of that line.

class QWidget;

namespace qb {

class ReportView;

// Through the modal seam, so tests answer the dialog (a QInputDialog named
// "GotoLineDialog") in advance. A report shown while it is open is the one
// moved in, the number kept within its lines.
void goToLine(ReportView *view, QWidget *parent);

} // namespace qb
