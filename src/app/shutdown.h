#pragma once
// The end of the program, after the main window has closed.

#include <memory>

namespace qb {
class TForm1;
class TfrmPort;
class TfrmAlerts;
class TfrmFilters;
class TfrmAbout;
class TfrmAuditing;

// Closes the listener first, then frees the six windows in the reverse order
// of their creation; the filters dialog, the alerts dialog and the main
// window save their settings as they go. A failing save is shown in the
// standard error box, and the other windows still save theirs.
void shutDown(std::unique_ptr<TForm1> form1, std::unique_ptr<TfrmPort> frmPort,
              std::unique_ptr<TfrmAlerts> frmAlerts, std::unique_ptr<TfrmFilters> frmFilters,
              std::unique_ptr<TfrmAbout> frmAbout, std::unique_ptr<TfrmAuditing> frmAuditing);

} // namespace qb
