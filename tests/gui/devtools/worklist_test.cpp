// The shared work list, driven through the compiler window's controls.
#include "gui/devtools/frmcompile.h"
#include "gui/duplicates/frmdlg.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::Interaction;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

const QString kDuplicate = QStringLiteral("VB工程批量编译列表已存在相同项，请勿重复添加");
const QString kFull = QStringLiteral("列表已满,最多只能容纳32767项!");

void type(frmCompile& w, const QString& text)
{
    w.Text1->setText(text);
    w.Command1->click();
}

void addFolder(frmCompile& w, const QString& folder)
{
    scripted().folders.push_back(folder);
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
}

}  // namespace

TEST(WorkList, TypedPathsAreKeptAsTypedAndRefusedOnlyWhenExactlyEqual)
{
    frmCompile w;
    type(w, QStringLiteral("   "));
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("文件路径为空!无法添加!")});
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::Information);
    EXPECT_EQ(w.Text1->text(), QString());
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有0个工程文件等待编译"));

    type(w, QStringLiteral("C:\\a.vbp"));
    type(w, QStringLiteral(" C:\\a.vbp"));
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有2个工程文件等待编译"));
    w.Label4->setText(QStringLiteral("untouched"));
    type(w, QStringLiteral("C:\\a.vbp"));
    EXPECT_EQ(scripted().messages().last(), kDuplicate);
    EXPECT_EQ(w.Text1->text(), QStringLiteral("C:\\a.vbp"));
    EXPECT_EQ(w.Label4->text(), QStringLiteral("untouched"));
    type(w, QStringLiteral("c:\\A.VBP"));
    EXPECT_EQ(w.list().entries(),
              (QStringList{QStringLiteral("C:\\a.vbp"), QStringLiteral(" C:\\a.vbp"), QStringLiteral("c:\\A.VBP")}));
    EXPECT_EQ(w.List1->model()->rowCount(), 3);
}

TEST(WorkList, FolderAddTakesMatchingFilesDepthFirstAndOnlyOnce)
{
    TempDir t;
    t.write(QStringLiteral("tree/x.vbp"));
    t.write(QStringLiteral("tree/Y.VBP"));
    t.write(QStringLiteral("tree/readme.txt"));
    t.write(QStringLiteral("tree/oldvbp"));
    t.write(QStringLiteral("tree/a/z.vbp"));
    t.write(QStringLiteral("tree/a/z.vbpx"));
    t.write(QStringLiteral("tree/b/c/w.vbp"));
    frmCompile w;
    type(w, t.file(QStringLiteral("tree/x.vbp")));
    addFolder(w, t.file(QStringLiteral("tree")));
    const QStringList expected{t.file(QStringLiteral("tree/x.vbp")), t.file(QStringLiteral("tree/oldvbp")),
                               t.file(QStringLiteral("tree/Y.VBP")), t.file(QStringLiteral("tree/a/z.vbp")),
                               t.file(QStringLiteral("tree/b/c/w.vbp"))};
    EXPECT_EQ(w.list().entries(), expected);
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有5个工程文件等待编译"));
    EXPECT_EQ(scripted().of(Interaction::Folder).at(0).text, QStringLiteral("请选择想添加的文件夹："));

    addFolder(w, t.file(QStringLiteral("tree")));
    EXPECT_EQ(w.list().entries(), expected);
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(WorkList, EmptyFoldersCancelAndUnreadableFolders)
{
    TempDir t;
    t.mkdir(QStringLiteral("empty"));
    t.mkdir(QStringLiteral("hollow/a/b"));
    t.mkdir(QStringLiteral("hollow/c"));
    frmCompile w;

    scripted().folders.push_back(std::nullopt);
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.Label4->text(), QString());  // a cancel does not even refresh the count

    addFolder(w, t.file(QStringLiteral("hollow")));
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有0个工程文件等待编译"));

    addFolder(w, t.file(QStringLiteral("empty")));
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("所选文件夹是空的!")});

    addFolder(w, t.file(QStringLiteral("gone")));
    ASSERT_EQ(scripted().messages().size(), 2);
    EXPECT_TRUE(scripted().messages().last().startsWith(QStringLiteral("无法打开所选文件夹：") + t.file("gone")));
    EXPECT_EQ(w.list().count(), 0);
}

TEST(WorkList, StopsAtItsLimitWithAMessage)
{
    TempDir t;
    t.write(QStringLiteral("tree/a.vbp"));
    t.write(QStringLiteral("tree/b.vbp"));
    t.write(QStringLiteral("tree/sub/c.vbp"));
    frmCompile w;
    for (int i = 0; i < WorkList::kMaxEntries - 2; ++i)
        ASSERT_EQ(w.list().addTyped(QString::number(i)), WorkList::TypedAdd::Added);

    addFolder(w, t.file(QStringLiteral("tree")));
    EXPECT_EQ(scripted().messages(), QStringList{kFull});
    EXPECT_EQ(w.list().count(), WorkList::kMaxEntries);
    EXPECT_EQ(w.list().entries().mid(WorkList::kMaxEntries - 2),
              (QStringList{t.file(QStringLiteral("tree/a.vbp")), t.file(QStringLiteral("tree/b.vbp"))}));
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有32767个工程文件等待编译"));

    type(w, QStringLiteral("D:\\more.vbp"));
    EXPECT_EQ(scripted().messages().last(), kFull);
    EXPECT_EQ(w.Text1->text(), QStringLiteral("D:\\more.vbp"));
    // An entry already listed is still reported as such.
    type(w, QStringLiteral("7"));
    EXPECT_EQ(scripted().messages().last(), kDuplicate);
}

TEST(WorkList, RemoveClearAndResetTheInformationBox)
{
    frmCompile w;
    const QString welcome = QStringLiteral("欢迎使用VB工程批量编译工具!\n\n");
    EXPECT_EQ(w.Text3->toPlainText(), welcome);
    for (const char* p : {"a.vbp", "b.vbp", "c.vbp"})
        type(w, QString::fromLatin1(p));

    w.Command3->click();  // nothing selected
    EXPECT_EQ(w.list().count(), 3);
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有3个工程文件等待编译"));
    w.List1->setCurrentIndex(w.List1->model()->index(1, 0));
    w.Command3->click();
    EXPECT_EQ(w.list().entries(), (QStringList{QStringLiteral("a.vbp"), QStringLiteral("c.vbp")}));
    EXPECT_EQ(w.Label4->text(), QStringLiteral("列表中有2个工程文件等待编译"));
    // A removed entry can be added again.
    type(w, QStringLiteral("b.vbp"));
    EXPECT_EQ(w.list().count(), 3);

    w.Command7->click();
    EXPECT_EQ(w.list().count(), 0);
    EXPECT_EQ(w.Label4->text(), QString());
    type(w, QStringLiteral("a.vbp"));
    EXPECT_EQ(w.list().count(), 1);

    w.appendInfo(QStringLiteral("编译工程 x"));
    EXPECT_EQ(w.Text3->toPlainText(), welcome + QStringLiteral("编译工程 x\n"));
    EXPECT_EQ(w.Text3->textCursor().position(), w.Text3->toPlainText().size());
    w.Command6->click();
    EXPECT_EQ(w.Text3->toPlainText(), welcome);
}

TEST(WorkList, BrowsingFillsThePathBoxOnlyWhenAFileIsChosen)
{
    frmCompile w;
    w.Text1->setText(QStringLiteral("kept"));
    w.Image1->clicked();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("kept"));
    scripted().openFiles.push_back(QStringLiteral("/p/a.vbp"));
    w.Image1->clicked();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/p/a.vbp"));
    EXPECT_EQ(w.Text2->text(), QStringLiteral("D:\\Program Files\\Microsoft Visual Studio\\VB98\\VB6.EXE"));
    EXPECT_EQ(w.list().count(), 0);
    EXPECT_EQ(scripted().of(Interaction::OpenFile).at(0).text, QStringLiteral("工程文件|*.vbp|所有文件|*.*"));
}
