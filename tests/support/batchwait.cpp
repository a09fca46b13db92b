#include "support/batchwait.h"

#include "core/batch/batchrunner.h"
#include "core/batch/programrunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace kestrune::test {

bool finishBatches(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (BatchRunner::runningCount() > 0 || ProgramRunner::runningCount() > 0) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    // What the last result started (a message, a deferred deletion) is done too.
    QCoreApplication::processEvents();
    return true;
}

bool spinUntil(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace kestrune::test
