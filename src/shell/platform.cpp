#include "shell/platform.h"

#include "shell/qtplatform.h"
#include "shell/rawargs.h"

#include <memory>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace kestrune {

namespace {
Platform* g_platform = nullptr;

Platform& qtPlatform()
{
    static QtPlatform instance;
    return instance;
}
}  // namespace

Platform& platform()
{
    return g_platform ? *g_platform : qtPlatform();
}

void setPlatform(Platform* p)
{
    g_platform = p;
}

void runProgramWithQProcess(const QString& program, const QStringList& arguments, QObject* context,
                            ProgramFinished finished)
{
    auto* process = new QProcess(context);
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardInputFile(QProcess::nullDevice());
    handRawNamesOver(*process, program, arguments);
    auto done = std::make_shared<bool>(false);
    auto report = [process, done, finished](ProgramEnd end) {
        if (*done)
            return;
        *done = true;
        end.standardError = process->readAllStandardError();
        process->deleteLater();
        if (finished)
            finished(end);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, report](int exitCode, QProcess::ExitStatus status) {
                         ProgramEnd end;
                         end.started = true;
                         end.exitCode = exitCode;
                         if (status == QProcess::CrashExit) {
                             end.crashed = true;
                             end.error = process->errorString();
                         }
                         report(end);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError error) {
        // A program that never started reports here only; the other errors
        // are followed by finished().
        if (error != QProcess::FailedToStart)
            return;
        ProgramEnd end;
        end.error = process->errorString();
        report(end);
    });
    // A program is killed when its owner goes first (QProcess's destructor
    // kills and waits for it), and nothing is reported then. The owner's
    // destroyed() comes before its children are deleted.
    QObject::connect(context, &QObject::destroyed, process, [process, done] {
        *done = true;
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        process->kill();
        process->waitForFinished(5000);
    });
    process->start();
}

QString convertDialogFilter(const QString& filter)
{
    if (filter.isEmpty())
        return QString();
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList pairs;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // Qt separates several patterns with blanks, the common dialog with ';'.
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        pairs << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns.trimmed());
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        pairs << parts.last();
    return pairs.join(QStringLiteral(";;"));
}

QString settingsAppName()
{
    const QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        return QStringLiteral("kestrune");
    return QFileInfo(path).completeBaseName();
}

}  // namespace kestrune
