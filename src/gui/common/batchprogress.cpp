#include "gui/common/batchprogress.h"

#include "gui/common/formutil.h"
#include "core/fs/fsnames.h"

#include <QApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

namespace kestrune {

namespace {
int g_showDelay = 500;
// How often the view reads the batch's progress (milliseconds).
constexpr int kTickMs = 100;
// The width (pixels) of the dialog's text.
constexpr int kLabelWidth = 400;
// A file in hand this large shows how much of it is done.
constexpr qint64 kLargeItem = 8 * 1024 * 1024;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}
}  // namespace

BatchProgress::BatchProgress(QWidget* owner) : m_owner(owner)
{
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &BatchProgress::tick);
}

BatchProgress::~BatchProgress()
{
    stop();
}

QProgressDialog* BatchProgress::dialog() const
{
    return m_dialog.data();
}

void BatchProgress::setTestHook(Hook hook)
{
    ProgressSink::setTestHook(std::move(hook));
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
    return kestrune::cancelledText(handled);
}

void BatchProgress::watch(std::shared_ptr<ProgressSink> sink, std::function<void()> cancel)
{
    if (m_sink) {
        // The next stage of the same batch: the dialog stays as it is.
        m_sink = std::move(sink);
        m_cancel = std::move(cancel);
        update();
        return;
    }
    m_sink = std::move(sink);
    m_cancel = std::move(cancel);
    m_dialogShown = false;
    m_clock.start();
    // The batch has read the window's controls: until it ends they take no
    // input (its dialog, once shown, is a window of its own and does).
    qApp->installEventFilter(this);
    m_timer.start();
    if (g_showDelay <= 0)
        tick();
}

void BatchProgress::watch(BatchRunner& runner)
{
    QPointer<BatchRunner> guarded(&runner);
    watch(runner.progress(), [guarded] {
        if (guarded)
            guarded->cancel();
    });
}

void BatchProgress::stop()
{
    if (!m_sink)
        return;
    m_timer.stop();
    qApp->removeEventFilter(this);
    m_sink.reset();
    m_cancel = nullptr;
    if (m_dialog) {
        m_dialog->hide();
        m_dialog->deleteLater();
    }
    m_dialog = nullptr;
}

bool BatchProgress::eventFilter(QObject* watched, QEvent* event)
{
    if (m_owner && isUserInput(event->type()) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == m_owner.data())
        return true;
    return QObject::eventFilter(watched, event);
}

void BatchProgress::tick()
{
    if (!m_sink)
        return;
    if (!m_dialogShown && m_clock.elapsed() >= g_showDelay)
        showDialog();
    update();
}

void BatchProgress::showDialog()
{
    m_dialogShown = true;
    if (!m_owner)
        return;
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
    d->setRange(0, 0);
    connect(d, &QProgressDialog::canceled, this, [this] {
        if (m_cancel)
            m_cancel();
    });
    m_dialog = d;
    update();
    d->adjustSize();
    // Over the middle of its window, wherever the window manager would put it.
    centreOn(d, m_owner);
    d->show();
    centreOn(d, m_owner);
}

void BatchProgress::update()
{
    if (!m_dialog || !m_sink)
        return;
    const ProgressSink::State s = m_sink->state();
    // A long path is shortened in its middle to the dialog's width, so the
    // dialog keeps its size whatever it is handling.
    const QString text = m_dialog->fontMetrics().elidedText(displayFileName(s.doing), Qt::ElideMiddle, kLabelWidth);
    QString label = s.total > 0 ? QStringLiteral("%1\n已处理 %2 / %3").arg(text).arg(s.done).arg(s.total)
                                : QStringLiteral("%1\n已处理 %2 个文件").arg(text).arg(s.done);
    if (s.itemTotal >= kLargeItem)
        label += QStringLiteral("\n本文件 %1 / %2 MB").arg(s.itemDone >> 20).arg(s.itemTotal >> 20);
    m_dialog->setLabelText(label);
    if (s.total > 0) {
        m_dialog->setMaximum(s.total);
        m_dialog->setValue(qMin(s.done, s.total));
    } else if (s.itemTotal >= kLargeItem) {
        m_dialog->setMaximum(1000);
        m_dialog->setValue(int(s.itemDone * 1000 / s.itemTotal));
    }
}

}  // namespace kestrune
