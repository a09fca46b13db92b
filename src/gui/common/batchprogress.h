#pragma once

#include "core/batch/batchrunner.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QProgressDialog;

namespace kestrune {

// The window's view of a running batch. While it watches one, the window's
// controls take no input (the batch read them when it started), and once
// half a second has passed a progress dialog owned by the window, modal to
// it and centred on it shows what the batch is doing, how many files it has
// handled (and of a large file how much is done) and "取消", which asks the
// batch to stop. The view reads the batch's progress a few times a second;
// the batch never waits for it.
//
// A window keeps one as a member, declared before its runner, so that the
// runner (and with it the batch) goes first.
class BatchProgress : public QObject {
    Q_OBJECT
public:
    explicit BatchProgress(QWidget* owner);
    ~BatchProgress() override;

    // Starts watching a batch; `cancel` is what "取消" does. Watching the
    // next stage of a batch already watched keeps its dialog. The window
    // calls stop() when the batch has ended, before it shows the result.
    void watch(std::shared_ptr<ProgressSink> sink, std::function<void()> cancel);
    void watch(BatchRunner& runner);
    // The batch has ended: the dialog goes and the window takes input again.
    void stop();

    bool active() const { return bool(m_sink); }
    // Whether the progress dialog has been shown while watching this batch.
    bool dialogShown() const { return m_dialogShown; }
    QProgressDialog* dialog() const;

    // Text of the cancel message: "操作已取消!" and the number of files handled.
    static QString cancelledText(int handled);

    // Tests: a hook asked at every step of a batch; answering true cancels
    // the batch there, as the user's click on "取消" would.
    using Hook = ProgressSink::Hook;
    static void setTestHook(Hook hook);
    // Tests: the delay before the dialog shows (500 ms normally).
    static void setShowDelay(int ms);
    static int showDelay();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    void showDialog();
    void update();

    QPointer<QWidget> m_owner;
    QPointer<QProgressDialog> m_dialog;
    std::shared_ptr<ProgressSink> m_sink;
    std::function<void()> m_cancel;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_dialogShown = false;
};

// A window's one batch at a time: its runner, its progress view and what
// closing the window does while the batch runs. Declared as a member of the
// window; it goes before the window's controls, stopping its batch.
//
// A batch is a job on the batch runner's worker, programs followed by their
// signals (a `ProgramRunner`, or an object that drives one), or a job whose
// result becomes programs; the progress dialog goes on from the job to its
// programs. `Programs` has start(), cancel(), progress() and a signal that
// comes once every program has ended.
class WindowBatch {
public:
    explicit WindowBatch(QWidget* window) : m_window(window), m_progress(window) {}

    // Starts `job` (nothing when a batch runs already) and shows its
    // progress; `done` gets the result on the window's thread, after the
    // progress has gone, unless the window is closing meanwhile.
    template <typename Result>
    void run(std::function<Result(ProgressSink&)> job, std::function<void(Result)> done)
    {
        if (busy())
            return;
        m_runner.start<Result>(std::move(job), [this, done = std::move(done)](Result result) {
            m_progress.stop();
            if (m_closeWhenDone) {
                m_window->close();
                return;
            }
            done(std::move(result));
        });
        m_progress.watch(m_runner);
    }

    // Starts `programs` (nothing when a batch runs already) and shows their
    // progress; once `ended` has come, `done` gets them on the window's
    // thread, after the progress has gone, unless the window is closing
    // meanwhile. The batch owns them until then.
    template <typename Programs>
    void runPrograms(std::unique_ptr<Programs> programs, void (Programs::*ended)(),
                     std::function<void(Programs&)> done)
    {
        if (busy() || !programs)
            return;
        follow(std::move(programs), ended, std::move(done));
    }

    // Starts `job`, then the programs `next` makes of its result, as one
    // batch; `done` gets them as with runPrograms(). A cancel during the job
    // still hands its result to `next`, which then makes programs that start
    // nothing (or cancels them), so `done` tells what was left undone.
    template <typename Result, typename Programs>
    void run(std::function<Result(ProgressSink&)> job, std::function<std::unique_ptr<Programs>(Result)> next,
             void (Programs::*ended)(), std::function<void(Programs&)> done)
    {
        if (busy())
            return;
        m_runner.start<Result>(std::move(job), [this, next = std::move(next), ended,
                                                done = std::move(done)](Result result) {
            if (m_closeWhenDone) {
                m_progress.stop();
                m_window->close();
                return;
            }
            std::unique_ptr<Programs> programs = next(std::move(result));
            if (!programs) {
                m_progress.stop();
                return;
            }
            follow(std::move(programs), ended, done);
        });
        m_progress.watch(m_runner);
    }

    // For the window's closeEvent: true while a batch runs, which is then
    // cancelled as "取消" does; the window closes once it has stopped.
    bool holdClose()
    {
        if (!busy())
            return false;
        m_closeWhenDone = true;
        m_runner.cancel();
        if (m_cancelPrograms)
            m_cancelPrograms();
        return true;
    }

    BatchRunner& runner() { return m_runner; }
    bool busy() const { return m_runner.busy() || bool(m_programs); }

private:
    template <typename Programs>
    void follow(std::unique_ptr<Programs> programs, void (Programs::*ended)(), std::function<void(Programs&)> done)
    {
        Programs* p = programs.get();
        m_programs = std::move(programs);
        m_cancelPrograms = [p] { p->cancel(); };
        QObject::connect(p, ended, p, [this, p, done = std::move(done)] {
            m_progress.stop();
            m_cancelPrograms = nullptr;
            // They go once the signal that called this has returned.
            m_programs.release()->deleteLater();
            if (m_closeWhenDone) {
                m_window->close();
                return;
            }
            if (done)
                done(*p);
        });
        // The next stage of a batch keeps its dialog.
        m_progress.watch(p->progress(), [this] {
            if (m_cancelPrograms)
                m_cancelPrograms();
        });
        p->start();
    }

    QWidget* m_window;
    bool m_closeWhenDone = false;
    BatchProgress m_progress;
    BatchRunner m_runner;
    // The programs of the batch, while they run; they go first, ending
    // those still running.
    std::function<void()> m_cancelPrograms;
    std::unique_ptr<QObject> m_programs;
};

}  // namespace kestrune
