#include "app/commandline.h"

#include "app/mdiform1.h"
#include "gui/documents/frmviewdwg.h"
#include "cli/cli.h"
#include "core/fs/fsnames.h"

#include <cstdio>

#include <sys/stat.h>

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

std::optional<int> refuseUnknownCommand(int argc, char* argv[])
{
    if (argc != 2 || isCliCommand(argc, argv))
        return std::nullopt;
    const QByteArray word(argv[1]);
    if (word.isEmpty() || word.startsWith('-') || word.contains('/') || word.contains('.'))
        return std::nullopt;
    struct stat st;
    if (::lstat(word.constData(), &st) == 0)
        return std::nullopt;  // a file of that name is opened as one
    const QString typed = decodeFileName(word);
    QByteArray text = "kestrune: 未知的命令: " + displayFileNameInLine(typed).toUtf8() + '\n';
    const QString nearest = nearestCliCommand(typed);
    if (nearest.isEmpty())
        text += "kestrune: 用法见 kestrune help\n";
    else
        text += "kestrune: 是否要运行 kestrune " + nearest.toUtf8() + "?\n";
    std::fputs(text.constData(), stderr);
    return 2;
}

}  // namespace kestrune
