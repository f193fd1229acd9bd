#pragma once

namespace qb {
class TForm1;

// The Print command: asks for a printer and prints the shown report.
void printShownReport(TForm1 &form);

} // namespace qb
