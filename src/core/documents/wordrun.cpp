#include "core/documents/wordrun.h"

#include "core/batch/failurelist.h"
#include "core/fs/fsnames.h"
#include "core/system/textutil.h"

namespace kestrune {

WordRun::WordRun(WordRunInputs inputs, ProgressSink& progress, WordApplication::PasswordPrompt askPassword)
    : m_inputs(std::move(inputs)), m_progress(progress), m_askPassword(std::move(askPassword))
{
}

WordRun::~WordRun()
{
    quitInstance();
}

void WordRun::startInstance()
{
    m_wordapp = createWordApplication(nullptr);
    m_wordapp->setPasswordPrompt(m_askPassword);
    m_wordapp->setStopToken(&m_progress.stopToken());
    // Direct connections: the instance raises its events on this thread,
    // inside its own calls.
    connect(m_wordapp.get(), &WordApplication::DocumentOpen, this, &WordRun::wordapp_DocumentOpen, Qt::DirectConnection);
    connect(m_wordapp.get(), &WordApplication::Quit, this, &WordRun::wordapp_Quit, Qt::DirectConnection);
    m_wordapp->setVisible(false);
}

bool WordRun::replaceEndedInstance(WordRunResult& result)
{
    if (m_wordapp && m_wordapp->isRunning())
        return true;
    // The instance ended by itself (the helper was killed or crashed); the
    // document it had in hand was named with the reason. A new one takes
    // the next document, a few times at most.
    if (result.restarts >= kRestarts) {
        result.notTriedReason = QStringLiteral("文档引擎已经退出 %1 次").arg(result.restarts + 1);
        return false;
    }
    ++result.restarts;
    m_wordapp.reset();
    try {
        startInstance();
    } catch (const WordError& e) {
        m_wordapp.reset();
        result.notTriedReason = QStringLiteral("文档引擎退出后无法重新启动(%1)").arg(e.description());
        return false;
    }
    return true;
}

WordRunResult WordRun::run()
{
    WordRunResult result;
    try {
        startInstance();
    } catch (const WordError& e) {
        m_wordapp.reset();
        result.engineFailed = true;
        result.engineError = e.description();
        return result;
    }
    if (m_inputs.documents.isEmpty()) {
        result.emptyList = true;
        quitInstance();
        return result;
    }
    m_progress.setTotal(int(m_inputs.documents.size()));
    for (const QString& entry : std::as_const(m_inputs.documents)) {
        const QString path = trimBlanks(entry);
        if (!m_progress.step(result.handled, path))
            break;
        if (!replaceEndedInstance(result)) {
            result.gaveUp = true;
            break;
        }
        // The line is on screen before the document is opened.
        m_progress.line(QStringLiteral("加密文档 ") + displayFileName(path));
        if (const std::optional<QString> failed = comp(path))
            m_progress.line(*failed);
        ++result.handled;
    }
    result.cancelled = !result.gaveUp && result.handled < m_inputs.documents.size();
    quitInstance();
    return result;
}

QString notTriedText(const WordRunResult& result, const QStringList& documents)
{
    if (!result.gaveUp)
        return {};
    FailureList notTried;
    for (qsizetype i = result.handled; i < documents.size(); ++i)
        notTried.add(trimBlanks(documents.at(i)), QString());
    return failureMessage(result.notTriedReason + QStringLiteral(",以下文档没有尝试,仍留在列表中:"), notTried);
}

void WordRun::quitInstance()
{
    if (!m_wordapp)
        return;
    try {
        m_wordapp->quit();  // raises Quit
    } catch (const WordError&) {
    }
    m_wordapp.reset();
}

void WordRun::wordapp_Quit()
{
    // Raised from inside the instance's own call: it goes once that call
    // has returned (quitInstance or the end of the run).
}

std::optional<QString> WordRun::comp(const QString& path)
{
    QString reason;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!m_wordapp || !m_wordapp->isRunning() || m_progress.stopToken().abandonRequested())
            break;  // the instance ended, or the window goes
        try {
            m_wordapp->openDocument(path, false);
            return std::nullopt;
        } catch (const WordError& e) {
            reason = e.description();
            // A cancelled password prompt is the user's answer: not asked again.
            if (e.cancelledByUser())
                break;
        }
    }
    if (reason.isEmpty())
        reason = QStringLiteral("文档引擎已经退出");
    return QStringLiteral("  无法打开:") + reason;
}

void WordRun::wordapp_DocumentOpen(WordDocument* document)
{
    document->setPassword(m_inputs.password);
    document->setWritePassword(m_inputs.writePassword);
    try {
        document->save();
    } catch (const WordError& e) {
        m_progress.line(QStringLiteral("  ") + e.description());
    }
    try {
        document->close();
    } catch (const WordError&) {
    }
}

}  // namespace kestrune
