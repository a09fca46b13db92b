#include "shell/batchprogress.h"
#include "shell/fsnames.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace kestrune {

namespace {
BatchProgress::Hook& testHook()
{
    static BatchProgress::Hook hook;
    return hook;
}
int g_showDelay = 500;
// Events are let through at most this often while the dialog is hidden, so a
// fast batch pays next to nothing for staying responsive.
constexpr qint64 kPumpInterval = 30;
// The width (pixels) of the dialog's text.
constexpr int kLabelWidth = 400;
}  // namespace

BatchProgress::BatchProgress(QWidget* owner, int total) : m_owner(owner), m_total(total)
{
    m_clock.start();
}

BatchProgress::~BatchProgress()
{
    delete m_dialog.data();
}

QProgressDialog* BatchProgress::dialog() const
{
    return m_dialog.data();
}

bool BatchProgress::hookSet()
{
    return bool(testHook());
}

bool BatchProgress::due() const
{
    return m_lastPump < 0 || m_clock.elapsed() - m_lastPump >= kPumpInterval;
}

void BatchProgress::setTestHook(Hook hook)
{
    testHook() = std::move(hook);
}

void BatchProgress::setShowDelay(int ms)
{
    g_showDelay = ms;
}

int BatchProgress::showDelay()
{
    return g_showDelay;
}

QString BatchProgress::cancelledText(int handled)
{
    return QStringLiteral("操作已取消!") + QStringLiteral("已处理%1个文件。").arg(handled);
}

void BatchProgress::setTotal(int total)
{
    m_total = total;
    if (m_dialog)
        m_dialog->setMaximum(total > 0 ? total : 0);
}

void BatchProgress::showDialog()
{
    m_dialogShown = true;
    auto* d = new QProgressDialog(m_owner);
    d->setObjectName(QStringLiteral("BatchProgress"));
    d->setWindowTitle(QStringLiteral("Kestrune"));
    d->setWindowModality(Qt::WindowModal);
    d->setAutoClose(false);
    d->setAutoReset(false);
    d->setMinimumDuration(0);
    d->setFixedWidth(kLabelWidth + 40);
    auto* cancel = new QPushButton(QStringLiteral("取消"), d);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    d->setCancelButton(cancel);
    d->setRange(0, m_total > 0 ? m_total : 0);
    connect(d, &QProgressDialog::canceled, this, [this] {
        m_cancelled = true;
        wake();
    });
    m_dialog = d;
    d->show();
}

void BatchProgress::update(const QString& doing, int done)
{
    if (!m_dialog)
        return;
    // A long path is shortened in its middle to the dialog's width, so the
    // dialog keeps its size whatever it is handling.
    const QString text = m_dialog->fontMetrics().elidedText(displayFileName(doing), Qt::ElideMiddle, kLabelWidth);
    m_dialog->setLabelText(m_total > 0 ? QStringLiteral("%1\n已处理 %2 / %3").arg(text).arg(done).arg(m_total)
                                       : QStringLiteral("%1\n已处理 %2 个文件").arg(text).arg(done));
    if (m_total > 0)
        m_dialog->setValue(qMin(done, m_total));
}

bool BatchProgress::step(const QString& doing, int done)
{
    if (m_cancelled)
        return false;
    if (testHook() && testHook()(doing, done)) {
        m_cancelled = true;
        return false;
    }
    const qint64 now = m_clock.elapsed();
    if (m_lastPump >= 0 && now - m_lastPump < kPumpInterval)
        return true;
    m_lastPump = now;
    if (!m_dialogShown && now >= g_showDelay)
        showDialog();
    update(doing, done);
    // Before the dialog shows, only painting and timers: the window's
    // controls must not change under the batch. Once it shows, it is modal
    // to the window and its cancel button must answer.
    QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return !m_cancelled;
}

bool BatchProgress::wait(int ms, const QString& doing, int done)
{
    if (!step(doing, done))
        return false;
    QEventLoop loop;
    m_waitLoop = &loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    m_waitLoop = nullptr;
    return !m_cancelled;
}

void BatchProgress::wake()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

}  // namespace kestrune
