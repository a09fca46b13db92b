#include "app/commandline.h"

#include "app/mdiform1.h"
#include "gui/documents/frmviewdwg.h"
#include "core/fs/fsnames.h"

namespace kestrune {

void openFromCommandLine(MDIForm1& window, const QStringList& files)
{
    if (files.isEmpty())
        return;
    // Qt reads the arguments in the locale's encoding: a name that is not
    // UTF-8 is found again in its folder, as a name from a file dialog is.
    QString path = fileNameFromQt(files.first());
    if (!path.startsWith(QLatin1Char('/'))) {
        const QString here = currentFolderPath();
        path = here.endsWith(QLatin1Char('/')) ? here + path : here + QLatin1Char('/') + path;
    }
    auto* viewer = qobject_cast<FrmViewdwg*>(window.showToolWindow(QStringLiteral("menuviewdwg")));
    if (viewer)
        viewer->openDrawing(path);
}

}  // namespace kestrune
