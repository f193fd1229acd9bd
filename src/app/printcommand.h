#pragma once

namespace qb {
class TForm1;

// The Print command: asks for a printer and prints the shown report. While a
// job is being produced, a second command is turned away with "Printing in
// progress" and leaves the running job alone.
void printShownReport(TForm1 &form);

// True while a Print command runs.
bool printing();

} // namespace qb
