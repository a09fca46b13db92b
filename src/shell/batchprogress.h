#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QEventLoop;
class QProgressDialog;
class QWidget;

namespace kestrune {

// Progress and cancel for a long batch that runs on the window's own thread.
//
// The batch calls step() between two files. Until half a second has passed
// nothing is shown and the window only repaints (user input waits, so the
// window's controls cannot change under the batch). After that a progress
// dialog owned by the window and modal to it shows what the batch is doing,
// how many files it has handled and a cancel button "取消"; from then on
// step() lets every event through, so the dialog's button answers. A cancel
// takes effect at the next step(): the file in hand is always finished.
class BatchProgress : public QObject {
    Q_OBJECT
public:
    // `total` 0 means the batch does not know how many files it will handle.
    explicit BatchProgress(QWidget* owner, int total = 0);
    ~BatchProgress() override;

    // Reports the batch's state between two files: `doing` is what it is
    // about to handle (a folder or a file), `done` how many it has handled.
    // Returns false once the user has cancelled; the batch then stops.
    bool step(const QString& doing, int done);
    // The same for batches that step very often: `describe()` makes the text
    // of what is being done only when it is shown or a test hook asks.
    template <typename Describe>
    bool step(int done, Describe&& describe)
    {
        if (m_cancelled)
            return false;
        if (!hookSet() && !due())
            return true;
        return step(describe(), done);
    }
    // Lets events through for up to `ms` milliseconds or until wake() (batches
    // that wait for started programs); false once the user has cancelled.
    bool wait(int ms, const QString& doing, int done);
    // Ends a running wait() early, e.g. when a started program has ended.
    void wake();

    void setTotal(int total);
    bool cancelled() const { return m_cancelled; }
    // Whether the progress dialog has been shown during this batch.
    bool dialogShown() const { return m_dialogShown; }
    QProgressDialog* dialog() const;

    // Text of the cancel message: "操作已取消!" and the number of files handled.
    static QString cancelledText(int handled);

    // Tests: a hook that is asked at every step; answering true cancels the
    // batch there, as the user's click on "取消" would.
    using Hook = std::function<bool(const QString& doing, int done)>;
    static void setTestHook(Hook hook);
    // Tests: the delay before the dialog shows (500 ms normally).
    static void setShowDelay(int ms);
    static int showDelay();

private:
    static bool hookSet();
    // Whether the next step lets events through (and so shows its text).
    bool due() const;
    void update(const QString& doing, int done);
    void showDialog();

    QPointer<QWidget> m_owner;
    QPointer<QProgressDialog> m_dialog;
    QEventLoop* m_waitLoop = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastPump = -1;
    int m_total = 0;
    bool m_cancelled = false;
    bool m_dialogShown = false;
};

}  // namespace kestrune
