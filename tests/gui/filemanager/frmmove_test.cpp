#include "gui/filemanager/frmmove.h"

#include "gui/common/batchprogress.h"
#include "app/mdiform1.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "support/rawnames.h"
#include "support/trashsupport.h"
#include "core/fs/trash.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QStringList comboItems(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// One message with the information icon, owned by the window.
void expectOnlyInformation(const frmmove& window, const QString& text)
{
    const auto shown = scripted().of(test::Interaction::Message);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, text);
    EXPECT_EQ(shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(shown[0].owner.data(), &window);
}

}  // namespace

TEST(frmmoveWindow, LoadsWithItsDesignContents)
{
    frmmove w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("文件批量管理"));
    EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("*.exe"));
    EXPECT_EQ(comboItems(w.Combo1), (QStringList{QStringLiteral("*.exe"), QStringLiteral("*.txt"), QStringLiteral("*.jpg"),
                                                 QStringLiteral("*.rm"), QStringLiteral("*.rar")}));
    EXPECT_TRUE(w.Combo1->isEditable());
    EXPECT_TRUE(w.Option1[0]->isChecked());
    EXPECT_EQ(w.FilterOp, 1);
    EXPECT_TRUE(w.Check1->isChecked());
    EXPECT_TRUE(w.Check2->isChecked());
    EXPECT_FALSE(w.Check3->isChecked());
    EXPECT_EQ(w.Text3->text(), QStringLiteral("txt"));
    EXPECT_TRUE(w.Text1->text().isEmpty());
    EXPECT_TRUE(w.Text2->text().isEmpty());
    const QStringList captions{QStringLiteral("移动"), QStringLiteral("复制"), QStringLiteral("删除"),
                               QStringLiteral("强制删除")};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.Option1[size_t(i)]->text(), captions[i]);
        EXPECT_EQ(w.Option1Group->id(w.Option1[size_t(i)]), i);
        EXPECT_EQ(w.Option1[size_t(i)]->geometry().top(), 96);
    }
    EXPECT_EQ(w.Label5->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    EXPECT_TRUE(w.Label3->font().underline());
    EXPECT_EQ(w.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(w.findChild<QLineEdit*>(QStringLiteral("Text3")), w.Text3);
    EXPECT_EQ(w.Text1->geometry(), QRect(24, 17, 185, 20));
    EXPECT_EQ(w.size(), QSize(384, 252));
}

TEST(frmmoveWindow, CentresOnTheMainWindow)
{
    MDIForm1 main;
    main.setGeometry(100, 80, 600, 400);
    main.show();
    QWidget* w = main.showToolWindow(QStringLiteral("menumove"));
    ASSERT_NE(qobject_cast<frmmove*>(w), nullptr);
    const QPoint mainCentre = main.frameGeometry().center();
    const QPoint ownCentre = w->frameGeometry().center();
    EXPECT_LE(std::abs(mainCentre.x() - ownCentre.x()), 1);
    EXPECT_LE(std::abs(mainCentre.y() - ownCentre.y()), 1);
}

TEST(frmmoveWindow, DeleteOptionsHideTheDestinationAndKeepItsText)
{
    frmmove w;
    w.show();
    w.Text2->setText(QStringLiteral("/keep/me"));
    w.Check2->setChecked(false);
    w.Option1[2]->click();
    EXPECT_EQ(w.FilterOp, 3);
    EXPECT_FALSE(w.Label2->isVisible());
    EXPECT_FALSE(w.Text2->isVisible());
    EXPECT_FALSE(w.Check2->isVisible());
    EXPECT_TRUE(w.Command4->isVisible());
    EXPECT_TRUE(w.Command5->isVisible());
    w.Option1[3]->click();
    EXPECT_EQ(w.FilterOp, 4);
    EXPECT_FALSE(w.Text2->isVisible());
    w.Option1[1]->click();
    EXPECT_EQ(w.FilterOp, 2);
    EXPECT_TRUE(w.Label2->isVisible());
    EXPECT_TRUE(w.Text2->isVisible());
    EXPECT_TRUE(w.Check2->isVisible());
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/keep/me"));
    EXPECT_FALSE(w.Check2->isChecked());
    // Only one option of the group is chosen at a time.
    EXPECT_FALSE(w.Option1[3]->isChecked());
    w.Option1[0]->click();
    EXPECT_EQ(w.FilterOp, 1);
}

TEST(frmmoveWindow, FolderButtonsFillTheirBoxesAndCancelChangesNothing)
{
    frmmove w;
    scripted().folders = {QStringLiteral("/data/src"), std::nullopt, QStringLiteral("/data/dest"), std::nullopt};
    w.Command1->click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/src"));
    w.Command1->click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/src"));
    w.Command4->click();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/data/dest"));
    w.Command4->click();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/data/dest"));
    const auto asked = scripted().of(test::Interaction::Folder);
    ASSERT_EQ(asked.size(), 4u);
    for (const auto& a : asked) {
        EXPECT_EQ(a.text, QStringLiteral("请选择文件夹："));
        EXPECT_EQ(a.owner.data(), &w);
    }
    EXPECT_TRUE(scripted().messages().isEmpty());

    setProgramFolder(QStringLiteral("/opt/kestrune"));
    w.Command2->click();
    w.Command5->click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/opt/kestrune"));
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/opt/kestrune"));
}

TEST(frmmoveWindow, StartRefusesAMissingSource)
{
    TempDir dir;
    dir.write(QStringLiteral("a.exe"));
    frmmove w;
    w.Option1[2]->click();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    expectOnlyInformation(w, QStringLiteral("必须先指定源!"));

    for (const QString& source : {QStringLiteral("   "), dir.file(QStringLiteral("missing")), dir.file(QStringLiteral("a.exe"))}) {
        scripted().clear();
        w.Text1->setText(source);
        w.Command3->click();
        ASSERT_TRUE(finishBatches());
        expectOnlyInformation(w, QStringLiteral("指定的源目录不存在!"));
    }
    EXPECT_TRUE(dir.exists(QStringLiteral("a.exe")));
}

TEST(frmmoveWindow, MoveAndCopyRefuseAMissingDestination)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a.exe"), "a");
    for (int option : {0, 1}) {
        frmmove w;
        w.Option1[size_t(option)]->click();
        w.Text1->setText(dir.file(QStringLiteral("src")));
        for (const QString& destination : {QString(), QStringLiteral("  ")}) {
            scripted().clear();
            w.Text2->setText(destination);
            w.Command3->click();
            ASSERT_TRUE(finishBatches());
            expectOnlyInformation(w, QStringLiteral("必须先指定目标!"));
        }
        scripted().clear();
        w.Text2->setText(dir.file(QStringLiteral("nowhere")));
        w.Command3->click();
        ASSERT_TRUE(finishBatches());
        expectOnlyInformation(w, QStringLiteral("指定的目标目录不存在!"));
        EXPECT_EQ(dir.read(QStringLiteral("src/a.exe")), QByteArray("a"));
        EXPECT_FALSE(dir.exists(QStringLiteral("nowhere")));
    }
}

TEST(frmmoveWindow, DeleteNeedsNoDestination)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a.exe"));
    dir.write(QStringLiteral("src/sub/b.EXE"));
    dir.write(QStringLiteral("src/setup.exe.bak"));
    frmmove w;
    w.Text1->setText(dir.file(QStringLiteral("src")));
    w.Option1[2]->click();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), (QStringList{QStringLiteral("setup.exe.bak"), QStringLiteral("sub")}));
    EXPECT_TRUE(entries(dir.file(QStringLiteral("src/sub"))).isEmpty());
    EXPECT_EQ(QDir(w.sourceFolder().Path()), QDir(dir.file(QStringLiteral("src"))));
}

TEST(frmmoveWindow, StartWalksWithWhatTheWindowShows)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a.txt"), "a");
    dir.write(QStringLiteral("src/sub/b.txt"), "b");
    dir.write(QStringLiteral("src/c.exe"), "c");
    dir.write(QStringLiteral("dest/a.txt"), "old");
    frmmove w;
    w.Text1->setText(dir.file(QStringLiteral("src")));
    w.Text2->setText(dir.file(QStringLiteral("dest")));
    w.Combo1->setEditText(QStringLiteral("*.txt"));
    w.Option1[1]->click();
    w.Check1->setChecked(false);
    w.Check2->setChecked(false);
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    // The file that was not copied, as the destination has one, is named.
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].startsWith(QStringLiteral("以下文件未能复制:\n") +
                                                    dir.file(QStringLiteral("src/a.txt")) + QStringLiteral("：")))
        << scripted().messages()[0].toStdString();
    EXPECT_TRUE(scripted().messages()[0].endsWith(QStringLiteral("\n共 1 个文件")));
    EXPECT_EQ(entries(dir.file(QStringLiteral("dest"))), QStringList{QStringLiteral("a.txt")});
    EXPECT_EQ(dir.read(QStringLiteral("dest/a.txt")), QByteArray("old"));

    scripted().clear();
    w.Check1->setChecked(true);
    w.Check2->setChecked(true);
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(entries(dir.file(QStringLiteral("dest"))), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(dir.read(QStringLiteral("dest/a.txt")), QByteArray("a"));

    // Multi-type switch: the list decides, not the combo box.
    w.Check3->setChecked(true);
    w.Text3->setText(QStringLiteral("EXE"));
    w.Option1[0]->click();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(dir.exists(QStringLiteral("src/c.exe")));
    EXPECT_EQ(dir.read(QStringLiteral("dest/c.exe")), QByteArray("c"));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/a.txt")));
}

TEST(frmmoveWindow, EmptyTypeListIsReportedForEachFolderReached)
{
    TempDir dir;
    dir.write(QStringLiteral("src/one/a.txt"));
    dir.write(QStringLiteral("src/one/deeper/b.txt"));
    dir.write(QStringLiteral("src/two/c.txt"));
    frmmove w;
    w.Text1->setText(dir.file(QStringLiteral("src")));
    w.Option1[3]->click();
    w.Check3->setChecked(true);
    w.Text3->setText(QStringLiteral("  "));
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    const auto shown = scripted().of(test::Interaction::Message);
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& m : shown) {
        EXPECT_EQ(m.text, QStringLiteral("已选中操作多种类型文件,但没有指定!"));
        EXPECT_EQ(m.icon, MsgIcon::Information);
    }
    EXPECT_TRUE(dir.exists(QStringLiteral("src/one/a.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/one/deeper/b.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/two/c.txt")));
}

TEST(frmmoveWindow, AddedFiltersAreListedAndWrittenToSettingFile)
{
    TempDir dir;
    setProgramFolder(dir.path());
    frmmove w;
    scripted().inputs = {QStringLiteral("  pdf; doc  ")};
    w.Label3->clicked();
    const auto asked = scripted().of(test::Interaction::Input);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, QStringLiteral("输入要过滤的文件扩展名,如有多个,请务必以分号分隔!示例:chm;doc"));
    EXPECT_FALSE(asked[0].masked);
    EXPECT_EQ(comboItems(w.Combo1).mid(5), (QStringList{QStringLiteral("pdf"), QStringLiteral("doc")}));
    EXPECT_EQ(dir.read(QStringLiteral("setting.txt")), QByteArray("filter=pdf; doc\r\n"));
    EXPECT_EQ(w.lastFilter(), QStringLiteral("pdf; doc"));

    // Replaced each time; Chinese text in code page 936 (GB18030).
    scripted().inputs = {QStringLiteral("文档;图片")};
    w.Label3->clicked();
    EXPECT_EQ(dir.read(QStringLiteral("setting.txt")), QByteArray("filter=") + toGb18030(QStringLiteral("文档;图片")) + "\r\n");
    EXPECT_EQ(dir.read(QStringLiteral("setting.txt")),
              QByteArray("filter=\xCE\xC4\xB5\xB5;\xCD\xBC\xC6\xAC\r\n"));
    EXPECT_EQ(w.Combo1->count(), 9);

    // A cancelled box writes an empty filter and adds nothing.
    w.Label3->clicked();
    EXPECT_EQ(dir.read(QStringLiteral("setting.txt")), QByteArray("filter=\r\n"));
    EXPECT_EQ(w.Combo1->count(), 9);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(frmmoveWindow, UnwritableSettingFileIsReportedAndFiltersAreStillAdded)
{
    TempDir dir;
    const QString folder = dir.file(QStringLiteral("no/such/folder"));
    setProgramFolder(folder);
    setFolderWritableCheck([](const QString&) { return true; });  // so the file is written there
    frmmove w;
    scripted().inputs = {QStringLiteral("pdf")};
    w.Label3->clicked();
    const auto shown = scripted().of(test::Interaction::Message);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains(programFile(QStringLiteral("setting.txt")))) << shown[0].text.toStdString();
    EXPECT_EQ(shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(w.Combo1->itemText(w.Combo1->count() - 1), QStringLiteral("pdf"));
}

TEST(frmmoveWindow, AddedFilterWorksAsSingleType)
{
    TempDir dir;
    setProgramFolder(dir.path());
    dir.write(QStringLiteral("src/report.doc"));
    dir.write(QStringLiteral("src/memo.docx"));  // short name MEMO~1.DOC
    dir.write(QStringLiteral("src/report.pdf"));
    frmmove w;
    scripted().inputs = {QStringLiteral("doc")};
    w.Label3->clicked();
    w.Combo1->setCurrentIndex(w.Combo1->count() - 1);
    ASSERT_EQ(w.Combo1->currentText(), QStringLiteral("doc"));
    w.Text1->setText(dir.file(QStringLiteral("src")));
    w.Option1[2]->click();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), QStringList{QStringLiteral("report.pdf")});
}

TEST(frmmoveWindow, MenuEntryOpensAnUnownedWindowThatLoadsAfreshAfterClose)
{
    MDIForm1 main;
    ASSERT_TRUE(main.menumove->isEnabled());
    QPointer<QWidget> first = main.showToolWindow(QStringLiteral("menumove"));
    auto* window = qobject_cast<frmmove*>(first.data());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_FALSE(window->isModal());
    EXPECT_TRUE(window->isVisible());

    window->Text1->setText(QStringLiteral("/somewhere"));
    scripted().inputs = {QStringLiteral("pdf")};
    window->Label3->clicked();
    EXPECT_EQ(main.showToolWindow(QStringLiteral("menumove")), window);  // the same instance again
    EXPECT_EQ(window->Text1->text(), QStringLiteral("/somewhere"));

    window->Command6->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    auto* fresh = qobject_cast<frmmove*>(main.showToolWindow(QStringLiteral("menumove")));
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->Text1->text().isEmpty());
    EXPECT_EQ(fresh->Combo1->count(), 5);
    EXPECT_EQ(fresh->Combo1->currentText(), QStringLiteral("*.exe"));
    fresh->close();
}

TEST(frmmoveWindow, CancelStopsBetweenTwoFilesAndSaysHowManyWereHandled)
{
    TempDir dir;
    for (const char* name : {"src/a0.txt", "src/a1.txt", "src/a2.txt", "src/x.exe", "src/sub/b0.txt", "src/sub/b1.txt"})
        dir.write(QString::fromLatin1(name), QByteArray(name).repeated(1000));
    dir.mkdir(QStringLiteral("dest"));
    frmmove w;
    w.Text1->setText(dir.file(QStringLiteral("src")));
    w.Text2->setText(dir.file(QStringLiteral("dest")));
    w.Combo1->setEditText(QStringLiteral("*.txt"));
    w.Option1[1]->click();  // copy

    // The hook is asked on the batch's thread.
    std::mutex askedMutex;
    QStringList asked;
    const QString stopAt = dir.file(QStringLiteral("src/sub/b0.txt"));
    BatchProgress::setTestHook([&](const QString& doing, int) {
        const std::lock_guard<std::mutex> lock(askedMutex);
        asked << doing;
        return doing == stopAt;
    });
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    // Every file looked at up to the chosen one, the files before it copied whole, nothing after it.
    EXPECT_EQ(asked.size(), 5);
    EXPECT_EQ(asked.last(), stopAt);
    expectOnlyInformation(w, BatchProgress::cancelledText(3));
    EXPECT_EQ(entries(dir.file(QStringLiteral("dest"))), (QStringList{"a0.txt", "a1.txt", "a2.txt"}));
    EXPECT_EQ(dir.read(QStringLiteral("dest/a2.txt")), QByteArray("src/a2.txt").repeated(1000));

    // A move stopped at its second file: the first has moved, the rest stay.
    scripted().clear();
    w.Option1[0]->click();
    w.Text2->setText(dir.mkdir(QStringLiteral("moved")));
    const QString second = dir.file(QStringLiteral("src/a1.txt"));
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == second; });
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    expectOnlyInformation(w, BatchProgress::cancelledText(1));
    EXPECT_EQ(entries(dir.file(QStringLiteral("moved"))), QStringList{"a0.txt"});
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), (QStringList{"a1.txt", "a2.txt", "sub", "x.exe"}));
    EXPECT_EQ(entries(dir.file(QStringLiteral("src/sub"))), (QStringList{"b0.txt", "b1.txt"}));

    // Run to its end (well under half a second): no dialog, no message.
    scripted().clear();
    BatchProgress::setTestHook({});
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(w.findChild<QProgressDialog*>(), nullptr);
    EXPECT_EQ(entries(dir.file(QStringLiteral("moved"))), (QStringList{"a0.txt", "a1.txt", "a2.txt", "b0.txt", "b1.txt"}));
}

// With the main menu's trash entry on (as it is at first), 删除 puts each file
// in the trash of its own file system, where the desktop finds and restores
// it; a file on a read-only mount stays. With the entry off, files go for good.
TEST(frmmoveWindow, DeletesGoToTheTrashOfTheirFileSystemOrForGoodWhenTheEntryIsOff)
{
    TempDir dir;
    test::OwnTrash own;
    const QString src = dir.mkdir(QStringLiteral("src"));
    test::LoopMount stick(dir.file(QStringLiteral("src/stick")));
    test::LoopMount readOnly(dir.file(QStringLiteral("src/ro")));
    if (!stick.mounted() || !readOnly.mounted())
        GTEST_SKIP() << "no second file system: " << stick.why().toStdString() << readOnly.why().toStdString();
    const QByteArray gbk("\xC4\xE3\xBA\xC3.txt");
    dir.write(QStringLiteral("src/ok.txt"), "home file");
    test::writeRaw(src, gbk, "raw name");
    dir.write(QStringLiteral("src/stick/s.txt"), "on the stick");
    dir.write(QStringLiteral("src/ro/q.txt"), "kept too");
    dir.write(QStringLiteral("src/ro/r.txt"), "kept");
    ASSERT_TRUE(readOnly.makeReadOnly()) << readOnly.why().toStdString();

    frmmove w;
    w.Text1->setText(src);
    w.Combo1->setEditText(QStringLiteral("*.*"));
    w.Option1[2]->click();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    // The files the read-only mount kept are named, with why, in one message.
    const QString keptQ = dir.file(QStringLiteral("src/ro/q.txt"));
    const QString kept = dir.file(QStringLiteral("src/ro/r.txt"));
    const QString why = QStringLiteral("：无法移到回收站：文件系统只读\n");
    expectOnlyInformation(w, QStringLiteral("以下文件未能删除:\n") + keptQ + why + kept + why +
                                 QStringLiteral("共 2 个文件"));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/ok.txt")) || test::rawExists(src, gbk) ||
                 dir.exists(QStringLiteral("src/stick/s.txt")));
    EXPECT_EQ(dir.read(QStringLiteral("src/ro/r.txt")), QByteArray("kept"));

    // Home file system: the home trash, absolute original paths in exact bytes.
    const QByteArray realSrc = QDir(src).canonicalPath().toUtf8();
    EXPECT_EQ(test::trashEntries(own.trash()), (QList<QByteArray>{"ok.txt", gbk}));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), "ok.txt"), realSrc + "/ok.txt"));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), gbk), realSrc + "/" + gbk));
    EXPECT_TRUE(test::trashInfo(own.trash(), gbk).contains("/%C4%E3%BA%C3.txt\n"));
    // The stick: its own trash, the path from its top.
    const QString stickTrash = dir.file(QStringLiteral("src/stick/.Trash-0"));
    EXPECT_EQ(test::trashEntries(stickTrash), QList<QByteArray>{"s.txt"});
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(stickTrash, "s.txt"), "s.txt"));

    // The desktop lists both under their original paths and puts them back.
    QString error;
    const QMap<QString, QString> listed = test::gioTrashList(&error);
    const QString okPath = QString::fromUtf8(realSrc) + QStringLiteral("/ok.txt");
    const QString stickPath = QString::fromUtf8(realSrc) + QStringLiteral("/stick/s.txt");
    ASSERT_TRUE(listed.contains(okPath) && listed.contains(stickPath)) << error.toStdString();
    EXPECT_TRUE(test::gioTrashRestore(listed[okPath], &error)) << error.toStdString();
    EXPECT_TRUE(test::gioTrashRestore(listed[stickPath], &error)) << error.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("src/ok.txt")), QByteArray("home file"));
    EXPECT_EQ(dir.read(QStringLiteral("src/stick/s.txt")), QByteArray("on the stick"));

    // Entry off: for good, nothing more in any trash; the kept file is
    // named again.
    saveDeleteToTrashSetting(false);
    scripted().clear();
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].startsWith(QStringLiteral("以下文件未能删除:\n") + keptQ + QStringLiteral("：")));
    EXPECT_TRUE(scripted().messages()[0].endsWith(QStringLiteral("\n共 2 个文件")));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/ok.txt")) || dir.exists(QStringLiteral("src/stick/s.txt")));
    EXPECT_EQ(test::trashEntries(own.trash()), QList<QByteArray>{gbk});
    EXPECT_TRUE(test::trashEntries(stickTrash).isEmpty());
    EXPECT_EQ(dir.read(QStringLiteral("src/ro/r.txt")), QByteArray("kept"));
}
