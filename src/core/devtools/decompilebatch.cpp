#include "core/devtools/decompilebatch.h"

#include "core/devtools/helpproject.h"
#include "core/fs/fsnames.h"
#include "core/system/textcodec.h"
#include "core/system/textutil.h"

#include <QDir>

namespace kestrune {

namespace {

// Why a decompile failed, from how its program ended: the first line it
// wrote on standard error, else what the platform says.
QString failureReason(const ProgramEnd& end)
{
    const QString firstLine = decodeProgramText(end.standardError).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!firstLine.isEmpty())
        return firstLine;
    if (!end.started)
        return QStringLiteral("无法启动反编译程序: ") + end.error;
    if (end.crashed)
        return QStringLiteral("反编译程序异常结束: ") + end.error;
    return QStringLiteral("反编译程序退出状态 %1").arg(end.exitCode);
}

}  // namespace

bool isHelpFileName(const QString& name)
{
    return name.right(3).toLower() == QLatin1String("chm");
}

QString helpBaseName(const QString& name)
{
    return name.section(QLatin1Char('.'), 0, 0);
}

QString destinationPrefix(const QString& text)
{
    QString prefix = trimBlanks(text);
    if (!prefix.isEmpty() && !prefix.endsWith(QDir::separator()))
        prefix += QDir::separator();
    return prefix;
}

QStringList decompileArguments(const QString& prefix, const QString& baseName, const QString& helpFile)
{
    return {QStringLiteral("-decompile"), prefix + baseName + QDir::separator(), helpFile};
}

DecompileJob decompileJob(const File& helpFile, const QString& prefix)
{
    DecompileJob job;
    job.helpFile = helpFile.Path();
    job.name = helpFile.Name();
    job.baseName = helpBaseName(job.name);
    job.prefix = prefix;
    job.outputFolder = prefix + job.baseName;
    return job;
}

HelpFiles findHelpFiles(const QString& folderPath, bool recurse, const QString& prefix, ProgressSink* progress)
{
    HelpFiles found;
    Folder folder;
    try {
        folder = FileSystemObject().GetFolder(folderPath);
    } catch (const FsError&) {
        return found;
    }
    // Large trees take a while to list: the window shows which folder is
    // read, and a cancel ends the walk.
    found.stopped = !walkListings(
        folder, recurse,
        [&](const Folder&, std::vector<File>& files) {
            for (const File& file : files) {
                if (isHelpFileName(file.Name()))
                    found.jobs.push_back(decompileJob(file, prefix));
            }
            return WalkOn::Go;
        },
        {progress});
    return found;
}

DecompileBatch::DecompileBatch(QString program, bool writeProjects, int maxParallel, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_writeProjects(writeProjects), m_runner(maxParallel)
{
    connect(&m_runner, &ProgramRunner::programEnded, this, [this](int index, const ProgramOutcome& outcome) {
        ended(m_jobs[size_t(index)], outcome);
    });
    connect(&m_runner, &ProgramRunner::allEnded, this, &DecompileBatch::finished);
}

void DecompileBatch::add(DecompileJob job)
{
    job.order = m_total++;
    // A name that begins with a dot has no base name: its output would be
    // the destination itself, shared with every other help file.
    if (job.baseName.isEmpty()) {
        fail(job, QStringLiteral("文件名没有主名,无法确定输出目录"));
        return;
    }
    m_jobs.push_back(job);
    m_runner.add({m_program, decompileArguments(job.prefix, job.baseName, job.helpFile), job.outputFolder,
                  job.helpFile});
}

void DecompileBatch::start()
{
    m_runner.start();
}

void DecompileBatch::cancel()
{
    m_runner.cancel();
}

void DecompileBatch::fail(const DecompileJob& job, const QString& why)
{
    m_failures[job.order] = displayFileNameInLine(job.helpFile) + QStringLiteral(": ") + why;
}

QStringList DecompileBatch::unlisted() const
{
    QStringList lines;
    for (const auto& [order, names] : m_unlisted) {
        for (const QString& name : names)
            lines << displayFileNameInLine(name);
    }
    return lines;
}

QStringList DecompileBatch::failures() const
{
    QStringList lines;
    for (const auto& [order, line] : m_failures)
        lines << line;
    return lines;
}

void DecompileBatch::ended(const DecompileJob& job, const ProgramOutcome& outcome)
{
    const ProgramEnd& end = outcome.end;
    if (outcome.cancelled) {
        // Never started, or ended by the cancel: no project for it.
        if (end.started)
            fail(job, QStringLiteral("反编译被取消"));
        return;
    }
    QString failure = end.ok() ? QString() : failureReason(end);
    if (!m_fso.FolderExists(job.outputFolder)) {
        if (failure.isEmpty())
            failure = QStringLiteral("没有生成输出目录 ") + job.outputFolder;
    } else if (m_writeProjects) {
        // Written only now that the decompiler has ended, so that the project
        // lists every file it wrote.
        try {
            const QStringList left = writeHelpProject(m_fso, job.outputFolder, job.baseName, job.name);
            if (!left.isEmpty())
                m_unlisted[job.order] = left;
        } catch (const FsError& e) {
            if (failure.isEmpty())
                failure = QStringLiteral("无法写出工程文件 %1: %2").arg(displayFileNameInLine(e.path()), e.message());
        }
    }
    if (!failure.isEmpty())
        fail(job, failure);
}

}  // namespace kestrune
