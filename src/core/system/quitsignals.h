#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace kestrune {

// SIGTERM (logout, a desktop's force quit), SIGINT and SIGHUP end the
// program as its 退出 does: the handler only writes a byte into a pipe, and
// the program's own thread reads it and calls `quit` there.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;
    // The last signal received (0: none yet).
    int signalReceived() const { return m_signal; }

private:
    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
    int m_signal = 0;
};

}  // namespace kestrune
