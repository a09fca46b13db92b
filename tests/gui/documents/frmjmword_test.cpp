// The Word encryption window on a scripted engine: the order of its work,
// its attempts and lines, and what becomes of its instances.
#include "gui/documents/frmjmword.h"
#include "app/mdiform1.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "core/documents/officeword.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::Interaction;
using kestrune::test::scripted;

namespace {

const QString kWelcome = QStringLiteral("欢迎使用Word文档批量加密工具!\n\n");

// What the scripted engine was asked to do, in order, across instances.
// The engine runs on the batch's thread; the test reads the log once the
// batch has ended.
struct EngineLog {
    std::vector<QString> events;
    int created = 0;
    int quit = 0;
    int quitHidden = 0;  // instances that were hidden when they quit
    // Called at each open, before anything else (on the batch's thread).
    std::function<void(const QString&)> onOpen;
};
EngineLog* g_log = nullptr;

class ScriptedDocument : public WordDocument {
public:
    explicit ScriptedDocument(QString file) : m_file(std::move(file)) {}
    QString fullName() const override { return m_file; }
    void setPassword(const QString& p) override { m_open = p; }
    void setWritePassword(const QString& p) override { m_write = p; }
    void save() override
    {
        g_log->events.push_back(QStringLiteral("save %1 [%2] [%3]").arg(m_file, m_open, m_write));
        if (m_file.contains(QLatin1String("readonly")))
            throw WordError(QStringLiteral("文件只读,无法保存"));
    }
    void close() override { g_log->events.push_back(QStringLiteral("close ") + m_file); }

private:
    QString m_file, m_open, m_write;
};

// Opens "missing" never, asks for the password of "locked" (right: "pw"),
// and saves "readonly" never.
class ScriptedWord : public WordApplication {
public:
    explicit ScriptedWord(QWidget* owner) : m_owner(owner) { ++g_log->created; }
    void setVisible(bool v) override { m_visible = v; }
    bool isVisible() const override { return m_visible; }
    WordDocument* openDocument(const QString& file, bool confirm) override
    {
        g_log->events.push_back(QStringLiteral("open ") + file + (confirm ? QStringLiteral(" confirm") : QString()));
        if (g_log->onOpen)
            g_log->onOpen(file);
        if (!m_running)
            throw WordError(QStringLiteral("文档引擎已经退出"));
        if (file.contains(QLatin1String("missing")))
            throw WordError(QStringLiteral("文件不存在"));
        if (file.contains(QLatin1String("locked"))) {
            const QString typed = askPassword(m_owner, QStringLiteral("密码:"));
            if (typed.isEmpty())
                throw WordError(QStringLiteral("没有输入密码"), true);
            if (typed != QLatin1String("pw"))
                throw WordError(QStringLiteral("打开密码不正确"));
        }
        m_docs.push_back(std::make_unique<ScriptedDocument>(file));
        emit DocumentOpen(m_docs.back().get());
        return m_docs.back().get();
    }
    void quit() override
    {
        if (!m_running)
            throw WordError(QStringLiteral("文档引擎已经退出"));
        m_running = false;
        ++g_log->quit;
        if (!m_visible)
            ++g_log->quitHidden;
        g_log->events.push_back(QStringLiteral("quit"));
        emit Quit();
    }
    bool isRunning() const override { return m_running; }

private:
    QWidget* m_owner;
    bool m_visible = true;
    bool m_running = true;
    std::vector<std::unique_ptr<ScriptedDocument>> m_docs;
};

class WordWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log = &log;
        setWordFactory([](QWidget* owner) { return std::make_unique<ScriptedWord>(owner); });
    }
    void TearDown() override
    {
        setWordFactory(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        g_log = nullptr;
    }
    static void add(frmjmword& w, const QString& path)
    {
        w.Text1->setText(path);
        w.Command1->click();
    }
    EngineLog log;
};

}  // namespace

TEST_F(WordWindow, DocumentsAreHandledOneAfterAnotherWithALineForEachFailure)
{
    frmjmword w;
    for (const char* p : {" a.doc ", "missing.doc", "locked.doc", "readonly.doc", "b.doc"})
        add(w, QString::fromLatin1(p));
    // The run reads the boxes when it starts: a change while it runs (here
    // while the engine holds the first document) is not used.
    std::atomic<bool> opened{false};
    std::atomic<bool> changed{false};
    log.onOpen = [&](const QString& file) {
        if (file != QLatin1String("a.doc"))
            return;
        opened = true;
        for (int i = 0; i < 10000 && !changed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    w.Command2->click();
    for (int i = 0; i < 10000 && !opened; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(opened);
    w.Text2->setText(QStringLiteral("new"));
    changed = true;
    ASSERT_TRUE(finishBatches());

    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("加密文档 a.doc\n"
                                                                "加密文档 missing.doc\n  无法打开:文件不存在\n"
                                                                "加密文档 locked.doc\n  无法打开:没有输入密码\n"
                                                                "加密文档 readonly.doc\n  文件只读,无法保存\n"
                                                                "加密文档 b.doc\n"
                                                                "列表中的所有文档加密完成!\n"));
    const std::vector<QString> expected{
        QStringLiteral("open a.doc"),        QStringLiteral("save a.doc [739] [5917]"),
        QStringLiteral("close a.doc"),       QStringLiteral("open missing.doc"),
        QStringLiteral("open missing.doc"),  QStringLiteral("open missing.doc"),
        QStringLiteral("open locked.doc"),   QStringLiteral("open readonly.doc"),
        QStringLiteral("save readonly.doc [739] [5917]"), QStringLiteral("close readonly.doc"),
        QStringLiteral("open b.doc"),        QStringLiteral("save b.doc [739] [5917]"),
        QStringLiteral("close b.doc"),       QStringLiteral("quit")};
    EXPECT_EQ(log.events, expected);
    // A cancelled prompt is asked once, masked.
    ASSERT_EQ(scripted().of(Interaction::Input).size(), 1u);
    EXPECT_TRUE(scripted().of(Interaction::Input)[0].masked);
    EXPECT_EQ(w.list().count(), 0);
    EXPECT_EQ(w.Label4->text(), QString());
    EXPECT_EQ(log.created, 1);
    EXPECT_EQ(log.quit, 1);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST_F(WordWindow, AWrongPasswordIsAskedForThreeTimesAtMost)
{
    frmjmword w;
    add(w, QStringLiteral("locked1.doc"));
    add(w, QStringLiteral("locked2.doc"));
    scripted().inputs = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"), QStringLiteral("no"),
                         QStringLiteral("pw")};
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("加密文档 locked1.doc\n  无法打开:打开密码不正确\n"
                                                                "加密文档 locked2.doc\n列表中的所有文档加密完成!\n"));
    EXPECT_EQ(scripted().of(Interaction::Input).size(), 5u);
}

TEST_F(WordWindow, EmptyListIsReportedAndEachRunQuitsItsHiddenInstance)
{
    MDIForm1 main;
    main.move(300, 200);
    frmjmword w(&main);
    EXPECT_EQ(w.pos(), QPoint(300, 200 + tw(800)));
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("列表为空,请先添加文档到列表!")});
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::Information);
    EXPECT_EQ(log.created, 1);
    EXPECT_EQ(log.quit, 1);
    EXPECT_EQ(log.quitHidden, 1);

    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(log.created, 2);
    EXPECT_EQ(log.quit, 2);
    w.close();
    EXPECT_EQ(log.quit, 2);
    EXPECT_EQ(log.created, 2);
}

TEST_F(WordWindow, ACloseDuringARunFinishesTheDocumentInHandThenEndsTheRun)
{
    QPointer<frmjmword> w = new frmjmword;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    add(*w, QStringLiteral("a.doc"));
    add(*w, QStringLiteral("b.doc"));
    // The engine holds a.doc open until the window has been closed.
    std::atomic<bool> opened{false};
    std::atomic<bool> closed{false};
    log.onOpen = [&](const QString& file) {
        if (file != QLatin1String("a.doc"))
            return;
        opened = true;
        for (int i = 0; i < 10000 && !closed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    w->Command2->click();
    for (int i = 0; i < 10000 && !opened; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(opened);
    w->close();  // the close box, while the engine works
    EXPECT_TRUE(w->isVisible());  // it goes once the run has stopped
    closed = true;
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(log.events, (std::vector<QString>{QStringLiteral("open a.doc"), QStringLiteral("save a.doc [739] [5917]"),
                                                QStringLiteral("close a.doc"), QStringLiteral("quit")}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(WordWindow, AnInstanceThatCannotBeCreatedIsReportedAndNothingRuns)
{
    setWordFactory([](QWidget*) -> std::unique_ptr<WordApplication> {
        throw WordError(QStringLiteral("没有安装 LibreOffice"));
    });
    frmjmword w;
    add(w, QStringLiteral("a.doc"));
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("没有安装 LibreOffice")});
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::None);
    EXPECT_EQ(w.list().count(), 1);
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome);
}

// The engine's helper ends by itself (a stand-in that exits on every "crash"
// document): that document is named with the reason and a new helper takes
// the next one; after three new helpers the rest are named as not tried and
// stay listed.
TEST_F(WordWindow, AHelperThatDiesIsReplacedThreeTimesAtMost)
{
    test::TempDir dir;
    const QString opened = dir.file(QStringLiteral("opened"));
    const QString helper = dir.write(QStringLiteral("kestrune-word"), QStringLiteral(
        "#!/bin/sh\necho '{\"ready\":true}'\n"
        "while IFS= read -r line; do case \"$line\" in\n"
        "*'\"op\":\"open\"'*) name=$(printf '%s' \"$line\" | sed 's/.*\"file\":\"[^\"]*\\/\\([^\"]*\\)\".*/\\1/')\n"
        "  echo \"$$ $name\" >> '%1'\n"
        "  case \"$name\" in crash*) exit 9;; esac\n"
        "  echo '{\"ok\":true,\"doc\":1}';;\n"
        "*'\"op\":\"quit\"'*) echo '{\"ok\":true}'; exit 0;;\n"
        "*) echo '{\"ok\":true}';; esac; done\n").arg(opened).toUtf8());
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::ExeOwner);
    setWordFactory([helper](QWidget* owner) {
        return std::make_unique<OfficeWordApplication>(owner, WordEngineLocation{helper, QString()});
    });
    // Each run: the documents, then which helper process opened which (its
    // first document naming it) and the lines it ends with.
    const auto run = [&](const QStringList& documents) {
        QFile::remove(opened);
        frmjmword w;
        for (const QString& d : documents)
            add(w, d);
        w.Command2->click();
        EXPECT_TRUE(finishBatches());
        QMap<QString, QString> first;
        QStringList byHelper;
        for (const QString& line : QString::fromUtf8(test::readBytes(opened)).split('\n', Qt::SkipEmptyParts)) {
            const QString pid = line.section(' ', 0, 0);
            first.insert(pid, first.value(pid, line.section(' ', 1)));
            byHelper << first.value(pid) + QStringLiteral(": ") + line.section(' ', 1);
        }
        return std::make_pair(byHelper, w.Text3->toPlainText().remove(kWelcome) + w.list().entries().join('|'));
    };
    const QString died = QStringLiteral("  无法打开:文档引擎意外退出\n");
    const auto [fourHelpers, fourEnd] = run({"a.doc", "crash.doc", "c.doc", "d.doc"});
    EXPECT_EQ(fourHelpers, (QStringList{"a.doc: a.doc", "a.doc: crash.doc", "c.doc: c.doc", "c.doc: d.doc"}));
    EXPECT_EQ(fourEnd, "加密文档 a.doc\n加密文档 crash.doc\n" + died +
                           "加密文档 c.doc\n加密文档 d.doc\n列表中的所有文档加密完成!\n");

    const auto [dying, dyingEnd] = run({"crash1.doc", "crash2.doc", "crash3.doc", "crash4.doc", "e.doc", "f.doc"});
    EXPECT_EQ(dying, (QStringList{"crash1.doc: crash1.doc", "crash2.doc: crash2.doc", "crash3.doc: crash3.doc",
                                  "crash4.doc: crash4.doc"}));
    EXPECT_EQ(dyingEnd, "加密文档 crash1.doc\n" + died + "加密文档 crash2.doc\n" + died + "加密文档 crash3.doc\n" +
                            died + "加密文档 crash4.doc\n" + died +
                            "文档引擎已经退出 4 次,以下文档没有尝试,仍留在列表中:\ne.doc\nf.doc\n共 2 个文件\n"
                            "e.doc|f.doc");
}
