#pragma once

#include <QStringList>

namespace kestrune {

class MDIForm1;

// The files named on the command line (and by the desktop entry's %f): a
// drawing opens in the drawing viewer, in front of the main window, as if
// picked and opened there. A file that is missing or no drawing is shown
// the same way, so the viewer says what is wrong with it. Of several files
// the first is opened (the viewer shows one drawing and steps through its
// folder). Relative paths are taken from the current folder.
void openFromCommandLine(MDIForm1& window, const QStringList& files);

}  // namespace kestrune
