#include "gui/same/frmsame.h"

#include "core/batch/batchrunner.h"
#include "core/fs/fsnames.h"
#include "core/fs/trash.h"
#include "gui/duplicates/frmdlg.h"
#include "support/batchwait.h"
#include "support/sametree.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "support/trashsupport.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

struct Shown {
    frmsame w;
    Shown()
    {
        w.show();
        QApplication::processEvents();
    }
    // Types a folder into the list, as the user adds it.
    void add(const QString& folder)
    {
        w.Text1->setText(folder);
        w.Command1->click();
    }
    void search()
    {
        scripted().clear();
        w.Command3->click();
        ASSERT_TRUE(finishBatches());
    }
    std::vector<QString> checkedPaths() const
    {
        std::vector<QString> out;
        for (int g = 0; g < int(w.groups().size()); ++g)
            for (int f = 0; f < int(w.groups()[g].files.size()); ++f)
                if (w.fileItem(g, f)->checkState(0) == Qt::Checked)
                    out.push_back(w.groups()[g].files[f].path);
        return out;
    }
};

// Files `a` and `b` of one content (of this pair only), `a` the older.
void writePair(TempDir& t, const QString& a, const QString& b)
{
    t.write(a, "same content of " + a.toUtf8());
    t.write(b, "same content of " + a.toUtf8());
    const QByteArray old = encodeFileName(t.file(a));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000, 0}};
    ::utimensat(AT_FDCWD, old.constData(), times, 0);
}

}  // namespace

// Every control fits in the window the layout made, texts not cut.
TEST(FrmSameWindow, SizesToItsContent)
{
    Shown s;
    const QRect inside = s.w.rect();
    for (QWidget* c : s.w.findChildren<QWidget*>()) {
        if (!c->isVisible() || c->objectName().isEmpty() || c->parentWidget() != &s.w)
            continue;
        EXPECT_TRUE(inside.contains(c->geometry())) << c->objectName().toStdString();
        if (auto* b = qobject_cast<QPushButton*>(c)) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
    }
    EXPECT_GE(s.w.Frame1->width(), s.w.Frame1->sizeHint().width());
    EXPECT_EQ(s.w.windowTitle(), QStringLiteral("查找内容相同的文件"));
}

// The groups shown are those cmp finds on the trap tree, each under its header.
TEST(FrmSameWindow, ShowsTheGroupsCmpFinds)
{
    TempDir t;
    TempDir outside;
    test::makeTrapTree(t.file("tree"), outside.path());
    Shown s;
    s.add(t.file("tree"));
    s.search();
    EXPECT_EQ(test::byInodeName(test::pathGroups(s.w.groups()), t.file("tree")), test::groupsByCmp(t.file("tree")));
    int rows = 0;
    for (const SameGroup& g : s.w.groups())
        rows += 1 + int(g.files.size());
    ASSERT_EQ(s.w.Tree1->topLevelItemCount(), rows);
    EXPECT_EQ(s.w.Tree1->topLevelItem(0)->text(0), groupHeader(s.w.groups()[0]));
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].startsWith(QStringLiteral("查找完毕！"))) << scripted().messages()[0].toStdString();
}

// "每组保留一个" keeps the oldest, or the file in a marked reference folder;
// "删除所选" deletes the rest, to the trash while the menu entry is on.
TEST(FrmSameWindow, KeepsOnePerGroupAndDeletesTheRest)
{
    for (bool toTrash : {true, false}) {
        test::OwnTrash trash;
        TempDir t;
        writePair(t, "ref/x", "other/x");
        writePair(t, "other/old", "ref/new");
        saveDeleteToTrashSetting(toTrash);
        Shown s;
        s.add(t.file("other"));
        s.add(t.file("ref"));
        s.search();
        ASSERT_EQ(s.w.groups().size(), 2u);
        s.w.Command4->click();
        EXPECT_EQ(s.checkedPaths().size(), 2u);
        for (const QString& p : s.checkedPaths())  // the older one of each pair stays
            EXPECT_TRUE(p == t.file("other/x") || p == t.file("ref/new")) << p.toStdString();
        s.w.folders().setMarked(1, true);  // ref
        s.w.Command4->click();
        const std::vector<QString> checked = s.checkedPaths();
        EXPECT_EQ(checked, (std::vector<QString>{t.file("other/old"), t.file("other/x")})) << toTrash;
        s.w.Command6->click();
        ASSERT_TRUE(finishBatches());
        EXPECT_TRUE(t.exists("ref/x") && t.exists("ref/new"));
        EXPECT_FALSE(t.exists("other/x") || t.exists("other/old"));
        EXPECT_EQ(test::trashEntries(trash.trash()).size(), toTrash ? 2 : 0);
        EXPECT_TRUE(s.w.groups().empty());
        EXPECT_EQ(s.w.Tree1->topLevelItemCount(), 0);
    }
}

// A file changed after the search stays, and the message names it.
TEST(FrmSameWindow, ChangedFileIsKeptAndNamed)
{
    TempDir t;
    writePair(t, "d/a", "d/b");
    Shown s;
    s.add(t.file("d"));
    s.search();
    s.w.Command4->click();
    ASSERT_EQ(s.checkedPaths(), std::vector<QString>{t.file("d/b")});
    t.write("d/b", "SAME content of d/a");
    scripted().clear();
    s.w.Command6->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(t.exists("d/b"));
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].contains(t.file("d/b"))) << scripted().messages()[0].toStdString();
    EXPECT_EQ(s.w.groups().size(), 1u);
}

TEST(FrmSameWindow, ExportsCsvThatReadsBack)
{
    TempDir t;
    writePair(t, "d/年度报告.doc", "d/copy.doc");
    Shown s;
    s.add(t.file("d"));
    s.search();
    scripted().saveFiles.push_back(t.file("out.csv"));
    s.w.Command7->click();
    const QByteArray bytes = t.read("out.csv");
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].contains(t.file("d/copy.doc")) || lines[2].contains(t.file("d/copy.doc")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("年度报告.doc")) || lines[2].contains(QStringLiteral("年度报告.doc")));
}

// A cancel while searching shows the cancel message, no group, and
// nothing is deleted.
TEST(FrmSameWindow, CancelMidSearchLeavesNothing)
{
    TempDir t;
    for (int i = 0; i < 10; ++i)
        writePair(t, QStringLiteral("d%1/a").arg(i), QStringLiteral("d%1/b").arg(i));
    Shown s;
    s.add(t.path());
    BatchProgress::setTestHook([](const QString&, int done) { return done >= 5; });
    s.search();
    BatchProgress::setTestHook({});
    EXPECT_TRUE(s.w.groups().empty());
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].startsWith(QStringLiteral("操作已取消"))) << scripted().messages()[0].toStdString();
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(t.exists(QStringLiteral("d%1/b").arg(i)));
}
