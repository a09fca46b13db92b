#include "devtools/registration.h"

#include "shell/batchprogress.h"
#include "shell/fsnames.h"

#include <QThread>

namespace kestrune {

bool isComponentLibrary(const QString& name)
{
    const QString ending = name.right(3).toLower();
    return ending == QLatin1String("dll") || ending == QLatin1String("ocx");
}

QStringList FolderRegistration::failures() const
{
    QStringList lines;
    for (size_t i = 0; i < outcome.ends.size(); ++i) {
        const std::optional<ProgramEnd>& end = outcome.ends[i];
        if (end && !end->ok())
            lines << displayFileName(libraries.value(int(i))) + QStringLiteral(" (") + describeEnd(*end) + QLatin1Char(')');
    }
    return lines;
}

FolderRegistration registerFolder(const Folder& folder, BatchProgress& progress)
{
    FolderRegistration run;
    const QString base = folder.ShortPath();
    QStringList paths;
    for (const File& f : folder.Files()) {
        if (!isComponentLibrary(f.Name()))
            continue;
        run.libraries << f.Name();
        paths << joinPath(base, f.Name());
    }
    if (paths.isEmpty())
        return run;
    const QString wine = findWine();
    if (wine.isEmpty()) {
        run.wineMissing = true;
        return run;
    }
    const QString drive = wineRootDrive(winePrefix());
    std::vector<Launch> launches;
    for (const QString& path : paths)
        launches.push_back(registrationLaunch(wine, drive, path));
    progress.setTotal(int(launches.size()));
    run.outcome = runLaunches(launches, paths, QThread::idealThreadCount(), progress);
    return run;
}

QString registrationMessage(const QString& done, const FolderRegistration& run)
{
    QString text = run.outcome.cancelled ? BatchProgress::cancelledText(run.outcome.ended) : done;
    const QStringList failed = run.failures();
    if (!failed.isEmpty())
        text += QStringLiteral("\n以下文件注册失败:\n") + failed.join(QLatin1Char('\n'));
    return text;
}

}  // namespace kestrune
