#include "shell/platform.h"

#include "shell/fsnames.h"
#include "shell/qtplatform.h"

#include <memory>
#include <vector>

#include <unistd.h>

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

namespace {

// QProcess writes its arguments as UTF-8, which would turn the raw bytes of a
// name that is not UTF-8 into other ones. When an argument holds such bytes,
// the child starts the program itself, with every argument in its exact
// bytes (all made before the fork: nothing is allocated in the child).
void handRawNamesOver(QProcess& process, const QString& program, const QStringList& arguments)
{
    bool raw = hasRawBytes(program);
    for (const QString& a : arguments)
        raw = raw || hasRawBytes(a);
    if (!raw)
        return;
    struct Exact {
        std::vector<QByteArray> bytes;
        std::vector<char*> argv;
    };
    auto exact = std::make_shared<Exact>();
    exact->bytes.push_back(encodeFileName(program));
    for (const QString& a : arguments)
        exact->bytes.push_back(encodeFileName(a));
    for (QByteArray& b : exact->bytes)
        exact->argv.push_back(b.data());
    exact->argv.push_back(nullptr);
    process.setChildProcessModifier([exact] { ::execvp(exact->argv[0], exact->argv.data()); });
}

}  // namespace

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
