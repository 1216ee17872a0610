// Message dialogs as QMessageBox, installed as the process's dialog handler. Safe to
// call from any thread: the box is shown on the GUI thread. Ctrl+C copies the text.
#pragma once

void InstallQtDialogs();
