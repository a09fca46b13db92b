#pragma once

#include <QStringList>

#include <optional>

namespace kestrune {

class MDIForm1;

// The files named on the command line (and by the desktop entry's %f): a
// drawing opens in the drawing viewer, in front of the main window, as if
// picked and opened there. A file that is missing or no drawing is shown
// the same way, so the viewer says what is wrong with it. Of several files
// the first is opened (the viewer shows one drawing and steps through its
// folder). Relative paths are taken from the current folder.
void openFromCommandLine(MDIForm1& window, const QStringList& files);

// `kestrune lgo`: one argument that is a bare word (no path, no extension),
// no command and no file here is a mistyped command, not a drawing to open.
// It is told on standard error with the nearest command, if any, and the
// exit status (2) is returned; nothing for every other command line.
std::optional<int> refuseUnknownCommand(int argc, char* argv[]);

}  // namespace kestrune
