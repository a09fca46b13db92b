#include "core/system/platform.h"

#include "core/fs/fsnames.h"
#include "core/system/rawargs.h"
#include "version.h"

#include <memory>

#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QSettings>
#include <QUrl>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace kestrune {

namespace {
Platform* g_platform = nullptr;

Platform* g_default = nullptr;

Platform& headlessPlatform()
{
    static HeadlessPlatform instance;
    return instance;
}
}  // namespace

Platform& platform()
{
    if (g_platform)
        return *g_platform;
    return g_default ? *g_default : headlessPlatform();
}

void setDefaultPlatform(Platform* p)
{
    g_default = p;
}

void setPlatform(Platform* p)
{
    g_platform = p;
}

namespace {

// One program run on QProcess. Its standard error is read as it comes, and
// only its start is kept.
class ProcessRun : public RunningProgram {
public:
    ProcessRun(const QString& program, const QStringList& arguments, QObject* context, ProgramFinished finished)
        : RunningProgram(context), m_finished(std::move(finished))
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardInputFile(QProcess::nullDevice());
        handRawNamesOver(m_process, program, arguments);
        connect(&m_process, &QProcess::readyReadStandardError, this, &ProcessRun::readError);
        connect(&m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
            ProgramEnd end;
            end.started = true;
            end.exitCode = exitCode;
            if (status == QProcess::CrashExit) {
                end.crashed = true;
                end.error = m_process.errorString();
            }
            report(end);
        });
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            // A program that never started reports here only; the other
            // errors are followed by finished().
            if (error != QProcess::FailedToStart)
                return;
            ProgramEnd end;
            end.error = m_process.errorString();
            report(end);
        });
        m_process.start();
    }
    ~ProcessRun() override
    {
        // The owner goes first: the program goes with it, unreported.
        m_reported = true;
        m_process.disconnect(this);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void terminate() override
    {
        if (m_process.state() != QProcess::NotRunning)
            m_process.terminate();
    }
    void kill() override
    {
        if (m_process.state() != QProcess::NotRunning)
            m_process.kill();
    }
    bool waitForEnd(int ms) override
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
    }

private:
    void readError()
    {
        const QByteArray chunk = m_process.readAllStandardError();
        const qsizetype room = kStandardErrorLimit - m_error.size();
        if (room > 0)
            m_error.append(chunk.left(room));
    }
    void report(ProgramEnd end)
    {
        if (m_reported)
            return;
        m_reported = true;
        readError();
        end.standardError = m_error;
        deleteLater();
        if (m_finished)
            m_finished(end);
    }

    QProcess m_process;
    QByteArray m_error;
    ProgramFinished m_finished;
    bool m_reported = false;
};

}  // namespace

RunningProgram* runProgramWithQProcess(const QString& program, const QStringList& arguments, QObject* context,
                                       ProgramFinished finished)
{
    return new ProcessRun(program, arguments, context, std::move(finished));
}

// Without windows nothing can be asked: every question is answered as a
// cancel would answer it, and a message goes to standard error.
void HeadlessPlatform::messageBox(QWidget*, const QString& text, MsgIcon)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString HeadlessPlatform::inputBox(QWidget*, const QString&, bool)
{
    return QString();
}

void HeadlessPlatform::beep() {}

std::optional<QString> HeadlessPlatform::chooseFolder(QWidget*, const QString&)
{
    return std::nullopt;
}

std::optional<QString> HeadlessPlatform::openFile(QWidget*, const QString&)
{
    return std::nullopt;
}

QString HeadlessPlatform::saveFile(QWidget*, const QString&)
{
    return QString();
}

bool HeadlessPlatform::startProgram(const QString& program, const QStringList& arguments, WindowState)
{
    // Window states have no meaning for a program started on Linux; the
    // program decides how it shows itself.
    return startDetachedProgram(program, arguments);
}

RunningProgram* HeadlessPlatform::runProgram(const QString& program, const QStringList& arguments, QObject* context,
                                             ProgramFinished finished)
{
    return runProgramWithQProcess(program, arguments, context, std::move(finished));
}

bool HeadlessPlatform::openUrl(const QString& address)
{
    return QDesktopServices::openUrl(QUrl(address));
}

QString HeadlessPlatform::getSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle), appName);
    settings.beginGroup(section);
    return settings.value(key, defaultValue).toString();
}

void HeadlessPlatform::saveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle), appName);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.sync();
}

std::optional<RegistryValue> HeadlessPlatform::readRegistry(quint32, const QString&, const QString&, quint32)
{
    return std::nullopt;
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
