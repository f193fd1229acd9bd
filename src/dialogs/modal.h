#pragma once
// Every modal window of the program runs through here. This is the seam that
// lets tests answer a dialog in advance instead of waiting on a real modal
// loop, and the one place that knows the program is closing: once a close has
// been asked for, no further modal window opens and the open ones are closed.

#include <QDialog>

#include <functional>

namespace qb::modal {

// Runs the dialog modally (or hands it to the next queued test hook) and
// returns its result. Returns QDialog::Rejected at once while closing.
int exec(QDialog *dialog);

// Tests: the next exec() calls this instead of entering the dialog's own
// modal loop. Hooks are used first in, first out.
using ExecHook = std::function<int(QDialog *)>;
void setNextExec(ExecHook hook);
void clearExecHooks();
// Tests: used instead of a real modal loop when no hook is queued.
void setFallbackExec(ExecHook hook);

// Asks the program to close: closes every open modal window, then runs the
// handler given to onCloseRequested() once the event loop is back on top.
void requestClose();
bool closeRequested();
void onCloseRequested(std::function<void()> handler);
void resetCloseRequest(); // tests only

} // namespace qb::modal
