// Message dialogs as QMessageBox, installed as the process's dialog handler. Safe to
// call from any thread: the box is shown on the GUI thread. Ctrl+C copies the text.
// Threads: InstallQtDialogs and EndDialogs on the GUI thread.
#pragma once

void InstallQtDialogs();
// Ends every box shown, as a termination signal does: each answers No, Abort or its first
// button, in that order of preference, and no box opens while the program ends.
// GUI thread only.
void EndDialogs();
