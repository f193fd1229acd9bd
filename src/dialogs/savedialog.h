#pragma once
// The Save As dialog: the toolkit's file dialog that stays open, with a
// message, while the chosen file's folder does not exist. It offers a
// report's text form, and its bytes as received when the report kept them.

#include <QFileDialog>

#include <string_view>

namespace qb {
class Report;

inline constexpr char kTextFilesFilter[] = "Text Files (*.txt)";
inline constexpr char kPrintJobFilter[] = "Print Job (*.prn)";
inline constexpr char kAllFilesFilter[] = "All Files (*)";

// What Save As writes of the report to `path` chosen with `filter`: the
// bytes as received for "Print Job (*.prn)", and for "All Files (*)" with a
// name ending in ".prn", when the report kept them (a decoded report always
// does; a plain one while the hex view was on when it arrived); otherwise
// the text form, every line followed by CR LF (UTF-8 for a decoded report).
std::string_view bytesToSave(const Report &report, const QString &filter, const QString &path);

class SaveFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    explicit SaveFileDialog(QWidget *parent = nullptr);

    // Offers the filters for report: "Print Job (*.prn)" only when it kept
    // its bytes as received. The filter chosen last stays chosen while it is
    // on offer; the default suffix follows the filter.
    void offer(const Report &report);

    void accept() override;
};

} // namespace qb
