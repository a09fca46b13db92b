// The duplicate finder compares what it finds with the listed files: marks,
// and "只删除内容相同的文件".

#include "gui/duplicates/frmdlg.h"

#include "core/fs/fsnames.h"
#include "core/system/platform.h"
#include "gui/common/batchprogress.h"
#include "support/batchwait.h"
#include "support/rawnames.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QDir>
#include <QIcon>
#include <QPushButton>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::scripted;
using kestrune::test::TempDir;
using kestrune::test::writeRaw;

namespace {

// Longer than the first block read, so that a last byte of its own is only
// seen by the whole-file pass.
QByteArray bigContent(char last)
{
    return QByteArray(70000, 'a') + last;
}

struct Case {
    const char* folder;
    QByteArray name;
    enum { Copy, LastByte, Longer, HardLink } what;
    ContentMark mark;
};

// The listed files (a plain and a non-UTF-8 name) and, in tree/, files of
// their names: copies, traps, a hard link to a listed file.
struct ContentTree {
    TempDir t;
    QStringList listed;
    std::vector<Case> cases;
    std::vector<QString> paths;  // of `cases`

    ContentTree()
    {
        const QByteArray names[] = {QByteArray("报告.doc"), QByteArray("bad\xFF.txt")};
        for (const QByteArray& name : names)
            listed << writeRaw(t.mkdir("want"), name, bigContent('z'));
        cases = {
            {"same", names[0], Case::Copy, ContentMark::Same},
            {"upper", "报告.DOC", Case::Copy, ContentMark::Same},
            {"raw", names[1], Case::Copy, ContentMark::Same},
            {"lastbyte", names[0], Case::LastByte, ContentMark::Different},
            {"longer", names[1], Case::Longer, ContentMark::Different},
            {"link", names[0], Case::HardLink, ContentMark::Itself},
        };
        for (const Case& c : cases) {
            const QString folder = t.mkdir(QStringLiteral("tree/") + QLatin1String(c.folder));
            QString path;
            switch (c.what) {
            case Case::Copy:
                path = writeRaw(folder, c.name, bigContent('z'));
                break;
            case Case::LastByte:
                path = writeRaw(folder, c.name, bigContent('y'));
                break;
            case Case::Longer:
                path = writeRaw(folder, c.name, bigContent('z') + 'z');
                break;
            case Case::HardLink:
                path = joinPath(folder, decodeFileName(c.name));
                EXPECT_EQ(::link(encodeFileName(listed[0]).constData(), encodeFileName(path).constData()), 0);
                break;
            }
            paths.push_back(QDir::toNativeSeparators(path));
        }
    }

    // The index of the found entry of `path`.
    static int rowOf(FrmDlg& w, const QString& path) { return int(w.found().entries().indexOf(path)); }

    void search(FrmDlg& w)
    {
        w.files().append(listed);
        w.folders().append({t.file("tree"), t.file("want")});
        w.Command7->click();
        ASSERT_TRUE(finishBatches());
    }
};

// Whether a file is at `path` (its exact bytes; names need not be UTF-8).
bool onDisk(const QString& path)
{
    struct stat st;
    return ::lstat(encodeFileName(path).constData(), &st) == 0;
}

qint64 iconKey(const QVariant& v)
{
    return v.value<QIcon>().cacheKey();
}

}  // namespace

// Each file found is marked by its content against the listed file of its
// name (case aside): copies, a last byte past the first block, another size,
// a hard link to the listed file and the listed file found in its own folder.
TEST(FrmDlgContent, MarksEachFoundFileAsTheListedFileOrNot)
{
    ContentTree tree;
    FrmDlg w;
    tree.search(w);
    ASSERT_EQ(w.found().count(), int(tree.cases.size()) + 2);
    EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("查找完毕！")}));

    QAbstractItemModel& m = w.found();
    const qint64 sameIcon = iconKey(m.data(m.index(ContentTree::rowOf(w, tree.paths[0]), 0), Qt::DecorationRole));
    const qint64 otherIcon = iconKey(m.data(m.index(ContentTree::rowOf(w, tree.paths[3]), 0), Qt::DecorationRole));
    EXPECT_NE(sameIcon, otherIcon);
    for (size_t i = 0; i < tree.cases.size(); ++i) {
        const Case& c = tree.cases[i];
        const int row = ContentTree::rowOf(w, tree.paths[i]);
        ASSERT_GE(row, 0) << c.folder;
        const QModelIndex index = m.index(row, 0);
        // The entry's text stays the path the deletes use.
        EXPECT_EQ(w.found().entry(row), tree.paths[i]);
        EXPECT_EQ(w.found().content(row).mark, c.mark) << c.folder;
        const QString listedPath = displayFileNameInLine(c.name == "bad\xFF.txt" ? tree.listed[1] : tree.listed[0]);
        const QString tip = m.data(index, Qt::ToolTipRole).toString();
        switch (c.mark) {
        case ContentMark::Same:
            EXPECT_EQ(tip, QStringLiteral("与 %1 内容相同").arg(listedPath)) << c.folder;
            break;
        case ContentMark::Different:
            EXPECT_EQ(tip, QStringLiteral("内容不同")) << c.folder;
            break;
        default:
            EXPECT_EQ(tip, QStringLiteral("即要查找的文件 %1 本身").arg(listedPath)) << c.folder;
        }
        EXPECT_EQ(iconKey(m.data(index, Qt::DecorationRole)), c.mark == ContentMark::Same ? sameIcon : otherIcon)
            << c.folder;
    }
    for (const QString& listed : tree.listed)
        EXPECT_EQ(w.found().content(ContentTree::rowOf(w, QDir::toNativeSeparators(listed))).mark,
                  ContentMark::Itself);
}

// "只删除内容相同的文件": off at first, remembered; with it on, 删除, 删除所选
// and 删除全部 take only true copies, and a copy changed since the search is
// kept and named.
TEST(FrmDlgContent, SameOnlyBoxIsRememberedAndSparesEveryOtherFile)
{
    ContentTree tree;
    {
        FrmDlg fresh;
        EXPECT_EQ(fresh.Check1->text(), QStringLiteral("只删除内容相同的文件"));
        EXPECT_FALSE(fresh.Check1->isChecked());
        EXPECT_GT(fresh.Check1->y(), fresh.List3->geometry().bottom());
        EXPECT_LT(fresh.Check1->geometry().bottom(), fresh.Command12->y());
        fresh.Check1->click();
    }
    EXPECT_EQ(scripted().settings.value(settingsAppName() + QStringLiteral("/Duplicates/只删除内容相同的文件")),
              QStringLiteral("1"));
    FrmDlg w;
    ASSERT_TRUE(w.Check1->isChecked());
    tree.search(w);
    auto& sp = scripted();

    // 删除 on a different file: kept, and said so.
    sp.clear();
    w.List3->setCurrentIndex(w.found().index(ContentTree::rowOf(w, tree.paths[3])));
    w.Command10->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(onDisk(tree.paths[3]));
    EXPECT_EQ(sp.messages().size(), 1);

    // A copy written to after the search.
    ASSERT_EQ(::truncate(encodeFileName(tree.paths[1]).constData(), 100), 0);
    sp.clear();
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(onDisk(tree.paths[0]));
    EXPECT_FALSE(onDisk(tree.paths[2]));
    EXPECT_TRUE(onDisk(tree.paths[1]));
    for (size_t i = 3; i < tree.cases.size(); ++i)
        EXPECT_TRUE(onDisk(tree.paths[i])) << tree.cases[i].folder;
    for (const QString& listed : tree.listed)
        EXPECT_TRUE(onDisk(listed));
    ASSERT_EQ(sp.messages().size(), 1);
    const QString text = sp.messages().first();
    EXPECT_TRUE(text.startsWith(QStringLiteral("已删除 2 个文件。"))) << text.toStdString();
    EXPECT_TRUE(text.contains(displayFileNameInLine(tree.paths[1]) + QStringLiteral("：自查找以来已改变，未删除")))
        << text.toStdString();

    // The box off again: 删除全部 is the plain one, which takes the rest.
    w.Check1->click();
    EXPECT_EQ(sp.settings.value(settingsAppName() + QStringLiteral("/Duplicates/只删除内容相同的文件")),
              QStringLiteral("0"));
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(onDisk(tree.paths[3]));
}

// Stopped while it compares: what was compared keeps its mark, the rest has
// none, and with the box on none of it is deleted.
TEST(FrmDlgContent, CancelWhileComparingLeavesTheRestUnmarkedAndUndeleted)
{
    ContentTree tree;
    FrmDlg w;
    w.Check1->click();
    // Stopped as the second file of the tree comes to be compared.
    int met = 0;
    int compared = -1;
    BatchProgress::setTestHook([&](const QString& doing, int done) {
        if (std::find(tree.paths.begin(), tree.paths.end(), doing) == tree.paths.end() || ++met < 2)
            return false;
        compared = done;
        return true;
    });
    tree.search(w);
    BatchProgress::setTestHook({});
    ASSERT_GT(compared, 0);
    EXPECT_EQ(scripted().messages(), QStringList({BatchProgress::cancelledText(compared)}));
    ASSERT_EQ(w.found().count(), int(tree.cases.size()) + 2);
    QSet<QString> marked;
    std::vector<QString> unmarked;
    for (int row = 0; row < w.found().count(); ++row) {
        const QString path = w.found().entry(row);
        if (w.found().content(row).mark != ContentMark::None) {
            marked.insert(path);
        } else {
            unmarked.push_back(path);
            EXPECT_EQ(w.found().data(w.found().index(row), Qt::ToolTipRole).toString(), displayFileName(path));
        }
    }
    EXPECT_EQ(marked.size(), compared);
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    for (const QString& path : unmarked)
        EXPECT_TRUE(onDisk(path)) << path.toStdString();
}
