#include "devtools/decompilebatch.h"

#include "devtools/helpproject.h"
#include "shell/batchprogress.h"
#include "shell/fsnames.h"
#include "shell/textcodec.h"
#include "shell/textutil.h"

#include <QDir>
#include <QEventLoop>

namespace kestrune {

namespace {

// How long one wait lets events through before the batch looks again; a
// decompiler that ends wakes it at once.
constexpr int kWaitMs = 200;

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

DecompileBatch::DecompileBatch(QString program, bool writeProjects, int maxParallel, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_writeProjects(writeProjects),
      m_maxParallel(qMax(1, maxParallel))
{
}

void DecompileBatch::add(DecompileJob job)
{
    job.order = m_total++;
    m_pending.push_back(std::move(job));
}

void DecompileBatch::run(BatchProgress& progress)
{
    m_progress = &progress;
    m_cancelled = progress.cancelled();
    if (!m_cancelled)
        startMore();
    while (!m_cancelled && (m_running > 0 || !m_pending.empty())) {
        if (!progress.wait(kWaitMs, m_doing, m_ended))
            m_cancelled = true;
    }
    // After a cancel the decompilers that run are let end; the progress
    // dialog is gone, so only painting and timers are let through.
    QEventLoop drain;
    m_drainLoop = &drain;
    while (m_running > 0)
        drain.exec(QEventLoop::ExcludeUserInputEvents);
    m_drainLoop = nullptr;
    m_progress = nullptr;
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

void DecompileBatch::startMore()
{
    for (auto it = m_pending.begin(); it != m_pending.end() && m_running < m_maxParallel;) {
        // The first waiting help file of a folder is the next in walk order.
        if (m_busyFolders.contains(it->outputFolder)) {
            ++it;
            continue;
        }
        const DecompileJob job = *it;
        it = m_pending.erase(it);
        start(job);
    }
}

void DecompileBatch::start(const DecompileJob& job)
{
    // A name that begins with a dot has no base name: its output would be
    // the destination itself, shared with every other help file.
    if (job.baseName.isEmpty()) {
        fail(job, QStringLiteral("文件名没有主名,无法确定输出目录"));
        ++m_ended;
        return;
    }
    m_busyFolders.insert(job.outputFolder);
    ++m_running;
    m_doing = job.helpFile;
    platform().runProgram(m_program, decompileArguments(job.prefix, job.baseName, job.helpFile), this,
                          [this, job](const ProgramEnd& end) { ended(job, end); });
}

void DecompileBatch::ended(const DecompileJob& job, const ProgramEnd& end)
{
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

    m_busyFolders.remove(job.outputFolder);
    --m_running;
    ++m_ended;
    if (m_progress && !m_progress->cancelled() && !m_cancelled)
        startMore();
    if (m_progress)
        m_progress->wake();
    if (m_drainLoop)
        m_drainLoop->quit();
}

}  // namespace kestrune
