// Closing a tool window, closing the main window, 退出 and the quit signals
// while a batch runs: the batch stops, nothing half written is left, no
// started program outlives the program, and nothing crashes or spins.

#include "app/mdiform1.h"
#include "core/system/quitsignals.h"
#include "gui/devtools/frmcompile.h"
#include "gui/devtools/frmdecp.h"
#include "gui/devtools/frmregsvr.h"
#include "gui/documents/frmjmword.h"
#include "gui/duplicates/frmdlg.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmrec.h"
#include "gui/common/batchprogress.h"
#include "core/fs/programfolder.h"

#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::spinUntil;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A file of `size` bytes that takes no room on disk.
void sparseFile(const QString& path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(size));
}

// How the program is left: 退出, the main window's close box, or SIGTERM.
enum class Quit { Menu, CloseBox, Term };

void quit(MDIForm1& main, Quit how)
{
    switch (how) {
    case Quit::Menu:
        main.menuexit->trigger();
        break;
    case Quit::CloseBox:
        main.close();
        break;
    case Quit::Term:
        ::raise(SIGTERM);
        // The signal reaches the program's thread through its pipe.
        spinUntil([&] { return main.isHidden(); }, 5000);
        break;
    }
}

// A file manager copying one large file, caught in the middle of it.
struct CopyInProgress {
    TempDir dir;
    std::unique_ptr<MDIForm1> main;
    QPointer<frmmove> window;

    void start()
    {
        dir.mkdir(QStringLiteral("src"));
        sparseFile(dir.file(QStringLiteral("src/big.dat")), qint64(2) << 30);
        dir.mkdir(QStringLiteral("out"));
        main = std::make_unique<MDIForm1>(std::vector<ToolWindowEntry>{
            {QStringLiteral("menumove"), false, false, [](QWidget* owner) { return new frmmove(owner); }}});
        main->show();
        window = qobject_cast<frmmove*>(main->showToolWindow(QStringLiteral("menumove")));
        ASSERT_TRUE(window);
        window->Option1[1]->click();  // 复制
        window->Combo1->setEditText(QStringLiteral("*.*"));
        window->Text1->setText(dir.file(QStringLiteral("src")));
        window->Text2->setText(dir.file(QStringLiteral("out")));
        window->Command3->click();
        ASSERT_TRUE(window->runner().busy());
        // In the middle of the file: part of it is copied.
        ASSERT_TRUE(spinUntil([&] {
            const auto p = window->runner().progress();
            return p && p->state().itemDone > 0;
        }));
    }
    void expectNothingHalfWritten()
    {
        EXPECT_TRUE(entries(dir.file(QStringLiteral("out"))).isEmpty()) << entries(dir.file("out")).join(' ').toStdString();
        EXPECT_EQ(QFileInfo(dir.file(QStringLiteral("src/big.dat"))).size(), qint64(2) << 30);
    }
};

class QuitDuringCopy : public ::testing::TestWithParam<Quit> {};

}  // namespace

TEST_P(QuitDuringCopy, StopsTheCopyMidFileAndLeavesNoTemporaryFile)
{
    CopyInProgress copy;
    ASSERT_NO_FATAL_FAILURE(copy.start());
    // The signal's handler is the program's: it quits as 退出 does.
    QuitSignals quitSignals([&] { copy.main->quitProgram(); });
    QElapsedTimer clock;
    clock.start();
    quit(*copy.main, GetParam());
    EXPECT_TRUE(copy.main->isHidden());
    // The program leaves its event loop; its windows go, and with them the
    // batch, which stops inside the file.
    copy.main.reset();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(copy.window.isNull());
    EXPECT_EQ(BatchRunner::runningCount(), 0);
    copy.expectNothingHalfWritten();
    EXPECT_TRUE(scripted().messages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Quit, QuitDuringCopy, ::testing::Values(Quit::Menu, Quit::CloseBox, Quit::Term));

TEST(CloseDuringBatch, ClosingTheFileManagerCancelsItsCopyAndClosesOnceItHasStopped)
{
    CopyInProgress copy;
    ASSERT_NO_FATAL_FAILURE(copy.start());
    copy.window->Command6->click();  // 关闭
    ASSERT_TRUE(finishBatches(5000));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(copy.window.isNull());
    copy.expectNothingHalfWritten();
    // Closing asked for no message.
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(CloseDuringBatch, QuittingDuringTheDuplicateFindersDeleteStopsBetweenTwoFiles)
{
    TempDir dir;
    const int files = 3000;
    auto main = std::make_unique<MDIForm1>(std::vector<ToolWindowEntry>{
        {QStringLiteral("g1"), false, true, [](QWidget* owner) { return new FrmDlg(owner); }}});
    main->show();
    QPointer<FrmDlg> w = qobject_cast<FrmDlg*>(main->showToolWindow(QStringLiteral("g1")));
    ASSERT_TRUE(w);
    QStringList paths;
    for (int i = 0; i < files; ++i)
        paths << dir.write(QStringLiteral("d/f%1.txt").arg(i));
    w->found().append(paths);
    // Each delete takes a moment, so that the quit comes in the middle.
    std::atomic<int> deleted{0};
    BatchProgress::setTestHook([&](const QString&, int done) {
        deleted = done;
        QThread::msleep(1);
        return false;
    });
    w->Command12->click();  // 删除全部
    ASSERT_TRUE(spinUntil([&] { return deleted.load() > 10; }));
    quit(*main, Quit::Menu);
    main.reset();
    BatchProgress::setTestHook({});
    EXPECT_TRUE(w.isNull());
    const int left = int(entries(dir.file(QStringLiteral("d"))).size());
    EXPECT_GT(left, 0);
    EXPECT_LT(left, files);
}

namespace {
// A stand-in for wine (or the decompiler) that ignores SIGTERM and never
// ends by itself; it writes its process number into `pids`.
QString writeHungProgram(TempDir& dir, const QString& name)
{
    const QString path = dir.write(QStringLiteral("bin/") + name,
                                   QByteArray("#!/bin/sh\ntrap '' TERM\necho $$ >> \"") +
                                       QFile::encodeName(dir.file(QStringLiteral("pids"))) +
                                       "\"\nwhile :; do sleep 1; done\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

std::vector<pid_t> startedPids(const TempDir& dir)
{
    std::vector<pid_t> pids;
    for (const QByteArray& line : dir.read(QStringLiteral("pids")).split('\n'))
        if (!line.trimmed().isEmpty())
            pids.push_back(pid_t(line.trimmed().toInt()));
    return pids;
}

bool alive(pid_t pid)
{
    return ::kill(pid, 0) == 0;
}
}  // namespace

TEST(CloseDuringBatch, QuittingDuringARegistrationEndsTheProgramsItStarted)
{
    TempDir dir;
    writeHungProgram(dir, QStringLiteral("wine"));
    dir.write(QStringLiteral("libs/a.dll"));
    dir.write(QStringLiteral("libs/b.ocx"));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.file(QStringLiteral("bin"))) + ':' + oldPath);
    auto main = std::make_unique<MDIForm1>(std::vector<ToolWindowEntry>{
        {QStringLiteral("menureg"), false, false, [](QWidget* owner) { return new Frmregsvr(owner); }}});
    main->show();
    QPointer<Frmregsvr> w = qobject_cast<Frmregsvr*>(main->showToolWindow(QStringLiteral("menureg")));
    ASSERT_TRUE(w);
    w->Text4->setText(dir.file(QStringLiteral("libs")));
    w->Command5->click();
    ASSERT_TRUE(spinUntil([&] { return startedPids(dir).size() >= 2; }));
    QElapsedTimer clock;
    clock.start();
    quit(*main, Quit::Menu);
    main.reset();
    qputenv("PATH", oldPath);
    // The programs had their grace, then were killed; none is left.
    EXPECT_LT(clock.elapsed(), ProgramRunner::kGraceMs + 3000);
    for (pid_t pid : startedPids(dir))
        EXPECT_FALSE(alive(pid)) << pid;
    EXPECT_EQ(ProgramRunner::runningCount(), 0);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(CloseDuringBatch, ClosingTheDecompilerDuringADecompileCancelsAndClosesWithoutAMessage)
{
    TempDir dir;
    writeHungProgram(dir, QStringLiteral("kestrune-hh"));
    setProgramFolder(dir.file(QStringLiteral("bin")));
    dir.write(QStringLiteral("src/Help.chm"));
    dir.mkdir(QStringLiteral("out"));
    auto main = std::make_unique<MDIForm1>(std::vector<ToolWindowEntry>{
        {QStringLiteral("menudecompile"), false, true, [](QWidget* owner) { return new Frmdecp(owner); }}});
    main->show();
    QPointer<Frmdecp> w = qobject_cast<Frmdecp*>(main->showToolWindow(QStringLiteral("menudecompile")));
    ASSERT_TRUE(w);
    w->Text2->setText(dir.file(QStringLiteral("src")));
    w->Text1->setText(dir.file(QStringLiteral("out")));
    w->Command3->click();
    ASSERT_TRUE(spinUntil([&] { return !startedPids(dir).empty(); }));
    w->close();
    EXPECT_FALSE(w.isNull());  // it closes once the decompiler has ended
    ASSERT_TRUE(finishBatches(ProgramRunner::kGraceMs + 5000));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    for (pid_t pid : startedPids(dir))
        EXPECT_FALSE(alive(pid)) << pid;
    EXPECT_TRUE(scripted().messages().isEmpty());
    // No project for a decompile that was ended.
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("out/Help/Help.hhp"))));
    main.reset();
}

namespace {
// Every file step of a batch takes a millisecond, so that a close comes in
// its middle; `reached` tells how far it got.
struct SlowSteps {
    std::atomic<int> reached{0};
    SlowSteps()
    {
        BatchProgress::setTestHook([this](const QString&, int done) {
            reached = done;
            QThread::msleep(1);
            return false;
        });
    }
    ~SlowSteps() { BatchProgress::setTestHook({}); }
};

// Closes `w` once its batch has passed a few steps; true when the window
// is gone after the batch stopped.
bool closeInTheMiddle(QPointer<QWidget> w, SlowSteps& steps)
{
    if (!spinUntil([&] { return steps.reached.load() > 5; }))
        return false;
    w->close();
    if (!finishBatches(10000))
        return false;
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return w.isNull();
}
}  // namespace

TEST(CloseDuringBatch, ClosingTheRecorderKeepsNothingOfTheRun)
{
    TempDir dir;
    setProgramFolder(dir.mkdir(QStringLiteral("prog")));
    for (int i = 0; i < 2000; ++i)
        dir.write(QStringLiteral("files/f%1.txt").arg(i));
    auto* w = new frmrec;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    const QByteArray before = test::readBytes(dir.file(QStringLiteral("prog/db1.mdb")));
    ASSERT_FALSE(before.isEmpty());
    SlowSteps steps;
    w->Text4->setText(dir.file(QStringLiteral("files")));
    w->Command5->click();
    EXPECT_TRUE(closeInTheMiddle(w, steps));
    // No record and no log entry: the file is as it was.
    EXPECT_EQ(test::readBytes(dir.file(QStringLiteral("prog/db1.mdb"))), before);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(CloseDuringBatch, ClosingAWorkListDuringItsFolderAddClosesItWithoutAMessage)
{
    TempDir dir;
    for (int i = 0; i < 2000; ++i)
        dir.write(QStringLiteral("projects/p%1/a.vbp").arg(i));
    auto* w = new frmCompile;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    SlowSteps steps;
    scripted().folders.push_back(dir.file(QStringLiteral("projects")));
    w->Command4->click();
    EXPECT_TRUE(closeInTheMiddle(w, steps));
    EXPECT_TRUE(scripted().messages().isEmpty());
}

namespace {
// An engine that takes a while over each document and records what it did.
struct SlowWord : WordApplication {
    static inline std::atomic<int> saved{0};
    std::vector<std::unique_ptr<WordDocument>> docs;
    bool running = true;
    struct Doc : WordDocument {
        QString file;
        QString fullName() const override { return file; }
        void setPassword(const QString&) override {}
        void setWritePassword(const QString&) override {}
        void save() override { ++saved; }
        void close() override {}
    };
    void setVisible(bool) override {}
    bool isVisible() const override { return false; }
    WordDocument* openDocument(const QString& file, bool) override
    {
        QThread::msleep(20);
        auto doc = std::make_unique<Doc>();
        doc->file = file;
        docs.push_back(std::move(doc));
        emit DocumentOpen(docs.back().get());
        return docs.back().get();
    }
    void quit() override
    {
        running = false;
        emit Quit();
    }
    bool isRunning() const override { return running; }
};
}  // namespace

TEST(CloseDuringBatch, ClosingTheWordWindowFinishesTheDocumentInHandThenCloses)
{
    SlowWord::saved = 0;
    setWordFactory([](QWidget*) { return std::make_unique<SlowWord>(); });
    auto* w = new frmjmword;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    for (int i = 0; i < 200; ++i)
        w->list().addTyped(QStringLiteral("/docs/d%1.doc").arg(i));
    SlowSteps steps;
    w->Command2->click();
    EXPECT_TRUE(closeInTheMiddle(w, steps));
    setWordFactory(nullptr);
    // The run stopped after the document in hand, which was saved.
    EXPECT_GT(SlowWord::saved.load(), 5);
    EXPECT_LT(SlowWord::saved.load(), 200);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

// The recorder is modal: its menu command waits in the main window until it
// closes. 退出 during its recording leaves that wait, stops the recording and
// keeps nothing of it.
TEST(CloseDuringBatch, QuittingDuringARecordingInTheModalRecorderEndsCleanly)
{
    TempDir dir;
    setProgramFolder(dir.mkdir(QStringLiteral("prog")));
    for (int i = 0; i < 2000; ++i)
        dir.write(QStringLiteral("files/f%1.txt").arg(i));
    auto main = std::make_unique<MDIForm1>(std::vector<ToolWindowEntry>{
        {QStringLiteral("menuRec"), true, true, [](QWidget* owner) { return new frmrec(owner); }}});
    main->show();
    SlowSteps steps;
    QPointer<frmrec> w;
    QByteArray before;
    // Inside the menu command's wait: start a recording, then quit midway.
    QTimer::singleShot(0, main.get(), [&] {
        w = qobject_cast<frmrec*>(main->toolWindow(QStringLiteral("menuRec")));
        ASSERT_TRUE(w);
        before = test::readBytes(dir.file(QStringLiteral("prog/db1.mdb")));
        w->Text4->setText(dir.file(QStringLiteral("files")));
        w->Command5->click();
        ASSERT_TRUE(spinUntil([&] { return steps.reached.load() > 5; }));
        main->menuexit->trigger();
    });
    QElapsedTimer clock;
    clock.start();
    main->menuRec->trigger();  // returns once the quit has left the wait
    EXPECT_LT(clock.elapsed(), 10000);
    main.reset();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(BatchRunner::runningCount(), 0);
    ASSERT_FALSE(before.isEmpty());
    EXPECT_EQ(test::readBytes(dir.file(QStringLiteral("prog/db1.mdb"))), before);
    EXPECT_TRUE(scripted().messages().isEmpty());
}
