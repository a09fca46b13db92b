// The Word encryption window on the installed LibreOffice, its results read
// independently. Each run starts an office: the cases share few runs.
#include "gui/documents/frmjmword.h"
#include "support/word_support.h"

#include "support/batchwait.h"
#include "support/scriptedplatform.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <atomic>
#include <cstdio>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

void add(frmjmword& w, const QString& path)
{
    w.Text1->setText(path);
    w.Command1->click();
}

bool processAlive(qint64 pid)
{
    // A zombie has no command line any more.
    return pid > 0 && !readBytes(QStringLiteral("/proc/%1/cmdline").arg(pid)).isEmpty();
}

}  // namespace

TEST(WordWindowOffice, DefaultPasswordsThenRemovedOrHalvedAndEveryFailureHasItsLine)
{
    TempDir dir;
    const QString a = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("甲 a.docx"));
    const QString b = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("b.docx"));
    const QString old = copyWordFixture(dir, QStringLiteral("word_sample.doc"), QStringLiteral("old.doc"));
    const QString text = dir.write(QStringLiteral("notes.txt"), "just text\n");
    const QString missing = dir.file(QStringLiteral("missing.docx"));
    // The office engine as the window makes it, its helper's process noted
    // (the run creates it on its own thread).
    std::atomic<qint64> helper{0};
    setWordFactory([&helper](QWidget* owner) {
        std::unique_ptr<WordApplication> app =
            createWordApplication(owner, WordEngineLocation{wordHelperPath(), QString()});
        if (auto* office = qobject_cast<OfficeWordApplication*>(app.get()))
            helper = office->helperProcessId();
        return app;
    });
    frmjmword w;

    // An empty list: the run's instance is quit when it has told so.
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("列表为空,请先添加文档到列表!")});
    const qint64 emptyRunHelper = helper;
    EXPECT_GT(emptyRunHelper, 0);
    EXPECT_FALSE(processAlive(emptyRunHelper));

    for (const QString& p : {a, b, old, text, missing})
        add(w, p);
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    setWordFactory(nullptr);
    EXPECT_NE(helper, emptyRunHelper);
    EXPECT_FALSE(processAlive(helper));
    const QStringList lines = w.Text3->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 12) << w.Text3->toPlainText().toStdString();
    EXPECT_EQ(lines.mid(0, 5), (QStringList{QStringLiteral("欢迎使用Word文档批量加密工具!"), QString(),
                                            QStringLiteral("加密文档 ") + a, QStringLiteral("加密文档 ") + b,
                                            QStringLiteral("加密文档 ") + old}));
    // A .doc takes the open password; its modify password is reported.
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("  ")) && lines[5].contains(QStringLiteral("不支持")))
        << lines[5].toStdString();
    EXPECT_EQ(lines[6], QStringLiteral("加密文档 ") + text);
    // Not a Word document: refused on opening or on saving, and left as it was.
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("  ")) && lines[7].size() > 2) << lines[7].toStdString();
    EXPECT_EQ(lines[8], QStringLiteral("加密文档 ") + missing);
    EXPECT_EQ(lines[9], QStringLiteral("  无法打开:文件不存在"));
    EXPECT_EQ(lines.mid(10), (QStringList{QStringLiteral("列表中的所有文档加密完成!"), QString()}));
    EXPECT_EQ(w.list().count(), 0);

    for (const QString& p : {a, b}) {
        const Protection pa = inspect(p, QStringLiteral("739"), QStringLiteral("5917"));
        EXPECT_TRUE(pa.encrypted && pa.decrypts && pa.rejectsWrong) << p.toStdString();
        EXPECT_EQ(pa.writeProtection, QStringLiteral("match"));
    }
    const Protection po = inspect(old, QStringLiteral("739"), QString());
    EXPECT_TRUE(po.encrypted && po.decrypts);
    EXPECT_EQ(readBytes(text), QByteArray("just text\n"));

    // Both boxes emptied: both passwords go (the current one is asked for).
    scripted().inputs.push_back(QStringLiteral("739"));
    w.Text2->clear();
    w.Text4->clear();
    add(w, a);
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    const Protection cleared = inspect(a, QString(), QString());
    EXPECT_FALSE(cleared.encrypted);
    EXPECT_EQ(cleared.writeProtection, QStringLiteral("none"));

    // Only the open password box emptied: the modify password stays.
    scripted().inputs.push_back(QStringLiteral("739"));
    w.Text4->setText(QStringLiteral("5917"));
    add(w, b);
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    const Protection halved = inspect(b, QString(), QStringLiteral("5917"));
    EXPECT_FALSE(halved.encrypted);
    EXPECT_EQ(halved.writeProtection, QStringLiteral("match"));
    EXPECT_EQ(scripted().of(Interaction::Input).size(), 2u);
}

TEST(WordWindowOffice, AWrongOfficeFolderIsReportedAndNothingIsProcessed)
{
    TempDir dir;
    setWordFactory([&](QWidget* owner) {
        return createWordApplication(owner, WordEngineLocation{wordHelperPath(), dir.file(QStringLiteral("no-office"))});
    });
    frmjmword w;
    add(w, dir.write(QStringLiteral("a.docx")));
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    setWordFactory(nullptr);
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].contains(QStringLiteral("LibreOffice"))) << scripted().messages()[0].toStdString();
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::None);
    EXPECT_EQ(w.list().count(), 1);
}

TEST(WordWindowOffice, ADocumentThatKillsTheOfficeHasItsLineAndTheLaterOnesAreStillDone)
{
    TempDir dir;
    const QByteArray sample = readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/documents/word_sample.docx"));
    const QString crash = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("crash-here.docx"));
    const QString gbk = writeRawName(dir, "\xC4\xE3\xBA\xC3.docx", sample);  // 你好.docx in GBK
    const QString last = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("last.docx"));
    // The helper kills its office while it loads a document so named.
    qputenv("KESTRUNE_WORD_TEST_KILL_OFFICE_ON", "crash-here");
    frmjmword w;
    w.Text4->clear();
    for (const QString& p : {crash, gbk, last})
        add(w, p);
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    qunsetenv("KESTRUNE_WORD_TEST_KILL_OFFICE_ON");

    const QStringList lines = w.Text3->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 8) << w.Text3->toPlainText().toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("加密文档 ") + crash);
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("  无法打开:")) && lines[3].contains(QStringLiteral("意外退出")))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], QStringLiteral("加密文档 ") + dir.path() + QStringLiteral("/你好.docx"));
    EXPECT_EQ(lines[5], QStringLiteral("加密文档 ") + last);
    EXPECT_EQ(lines[6], QStringLiteral("列表中的所有文档加密完成!"));
    EXPECT_EQ(readBytes(crash), sample);
    EXPECT_TRUE(inspect(last, QStringLiteral("739"), QString()).decrypts);
    const QByteArray gbkBytes = encodeFileName(gbk);
    ASSERT_EQ(::rename(gbkBytes.constData(), QFile::encodeName(dir.file(QStringLiteral("gbk.docx"))).constData()), 0);
    EXPECT_TRUE(inspect(dir.file(QStringLiteral("gbk.docx")), QStringLiteral("739"), QString()).decrypts);
}
