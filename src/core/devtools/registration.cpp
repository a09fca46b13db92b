#include "core/devtools/registration.h"

#include "core/fs/fsnames.h"

namespace kestrune {

bool isComponentLibrary(const QString& name)
{
    const QString ending = name.right(3).toLower();
    return ending == QLatin1String("dll") || ending == QLatin1String("ocx");
}

int FolderRegistration::ended() const
{
    int n = 0;
    for (const std::optional<ProgramOutcome>& end : ends)
        if (end && end->end.started)
            ++n;
    return n;
}

QStringList FolderRegistration::failures() const
{
    QStringList lines;
    for (size_t i = 0; i < ends.size(); ++i) {
        const std::optional<ProgramOutcome>& end = ends[i];
        // A registration that a cancel kept from starting has not failed;
        // one that the cancel ended is named as such.
        if (!end || end->end.ok() || (end->cancelled && !end->end.started))
            continue;
        const QString why = end->cancelled ? QStringLiteral("注册被取消") : describeEnd(end->end);
        lines << displayFileName(libraries.value(int(i))) + QStringLiteral(" (") + why + QLatin1Char(')');
    }
    return lines;
}

FolderRegistration prepareRegistration(const Folder& folder)
{
    FolderRegistration run;
    const QString base = folder.ShortPath();
    for (const File& f : folder.Files()) {
        if (!isComponentLibrary(f.Name()))
            continue;
        run.libraries << f.Name();
        run.paths << joinPath(base, f.Name());
    }
    if (run.paths.isEmpty())
        return run;
    const QString wine = findWine();
    if (wine.isEmpty()) {
        run.wineMissing = true;
        return run;
    }
    const QString drive = wineRootDrive(winePrefix());
    for (const QString& path : std::as_const(run.paths))
        run.launches.push_back(registrationLaunch(wine, drive, path));
    return run;
}

void addRegistrations(const FolderRegistration& run, ProgramRunner& runner)
{
    for (size_t i = 0; i < run.launches.size(); ++i)
        runner.add({run.launches[i].program, run.launches[i].arguments, QString(), run.paths.value(int(i))});
}

void collectRegistrations(FolderRegistration& run, const ProgramRunner& runner)
{
    run.ends.clear();
    for (int i = 0; i < runner.size(); ++i)
        run.ends.push_back(runner.outcome(i));
    run.cancelled = runner.cancelled();
}

QString registrationMessage(const QString& done, const FolderRegistration& run)
{
    QString text = run.cancelled ? cancelledText(run.ended()) : done;
    const QStringList failed = run.failures();
    if (!failed.isEmpty())
        text += QStringLiteral("\n以下文件注册失败:\n") + failed.join(QLatin1Char('\n'));
    return text;
}

}  // namespace kestrune
