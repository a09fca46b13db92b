#include "cli/session.h"

#include "cli/output.h"
#include "core/fs/fsnames.h"
#include "core/system/quitsignals.h"

namespace kestrune::cli {

Session::Session(QCoreApplication& app) : m_app(app)
{
    m_signals = std::make_unique<QuitSignals>([this] {
        m_cancelled = true;
        if (m_cancel)
            m_cancel();
    });
    if (progressShown()) {
        m_timer.setInterval(250);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { showProgress(); });
    }
}

Session::~Session() = default;

void Session::watch(std::function<std::shared_ptr<ProgressSink>()> sink)
{
    m_sink = std::move(sink);
    if (progressShown())
        m_timer.start();
}

int Session::exec()
{
    const int code = m_app.exec();
    m_timer.stop();
    endProgressLine();
    return code;
}

void Session::finish(int code)
{
    m_app.exit(cancelled() ? 128 + m_signals->signalReceived() : code);
}

void Session::showProgress()
{
    const std::shared_ptr<ProgressSink> sink = m_sink ? m_sink() : nullptr;
    if (!sink)
        return;
    const ProgressSink::State state = sink->state();
    QString text = state.total > 0 ? QStringLiteral("%1/%2").arg(state.done).arg(state.total)
                                   : QString::number(state.done);
    if (state.itemTotal > 0)
        text += QStringLiteral(" (%1/%2 MB)").arg(state.itemDone >> 20).arg(state.itemTotal >> 20);
    text += QLatin1Char(' ') + displayFileNameInLine(state.doing);
    if (text.size() > 100)
        text = text.left(48) + QStringLiteral("…") + text.right(50);
    showProgressLine(text);
}

}  // namespace kestrune::cli
