#include "app/printcommand.h"

#include "app/mainwindow.h"
#include "app/printchannel.h"
#include "app/printersurface.h"
#include "common/failure.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace qb {

namespace {

// The printer and its settings as last chosen in the print dialog; kept for
// the rest of the run. Never destroyed: a printer engine must not outlive the
// application object, and the program ends right after it.
QPrinter &chosenPrinter()
{
    static QPrinter *printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

// Set while a Print command runs. Pages are produced with the user interface
// live, so the command can be reached again in the middle of a job.
bool g_printing = false;

class PrintingFlag
{
public:
    PrintingFlag() { g_printing = true; }
    ~PrintingFlag() { g_printing = false; }
    PrintingFlag(const PrintingFlag &) = delete;
    PrintingFlag &operator=(const PrintingFlag &) = delete;
};

// Asks for the printer; false when the user cancels.
bool choosePrinter(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    // Printing to a PDF file stays on offer: on a machine without printers it
    // is the only way to print at all.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    return modal::exec(&dialog) == QDialog::Accepted;
}

std::string cannotStart(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return "Cannot create file " + printer.outputFileName().toLocal8Bit().toStdString();
    return "Cannot start printing on " + printer.printerName().toLocal8Bit().toStdString();
}

// Produces the pages of one job. The report is held by the job: while the
// pages are produced other commands may change what the window shows.
void printJob(QPrinter &printer, const std::shared_ptr<const Report> &shown)
{
    printer.setDocName(QString());
    QPainter painter;
    if (!painter.begin(&printer))
        throw Failure(cannotStart(printer));
    PainterSurface surface(printer, painter, [] { QCoreApplication::processEvents(); });
    printLines(surface, *shown);
    painter.end();
}

} // namespace

bool printing() { return g_printing; }

void printShownReport(TForm1 &form)
{
    if (g_printing) {
        // One job at a time. The running job, the action panel and the held
        // display belong to the command that started it.
        MessageBox::standardError(QStringLiteral("Printing in progress"), &form);
        return;
    }
    form.held([&form] {
        const PrintingFlag flag;
        const QString previousAction = form.panelText(TForm1::ActionPanel);
        form.setPanelText(TForm1::ActionPanel, QStringLiteral("Printing"));
        QPrinter &printer = chosenPrinter();
        if (!printer.isValid())
            throw Failure("There is no default printer currently selected");
        if (choosePrinter(printer, &form))
            printJob(printer, form.shownReportHandle());
        form.setPanelText(TForm1::ActionPanel, previousAction);
    });
}

} // namespace qb
