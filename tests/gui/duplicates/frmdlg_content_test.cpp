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
#include <QIcon>
#include <QPushButton>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// Past the first block read: a last byte of its own is seen only by the whole-file pass.
const QByteArray kBig = QByteArray(70000, 'a') + 'z';

// want/ holds the listed files (one name not UTF-8); tree/ files of their
// names (case aside): copies, traps, a hard link to a listed file.
struct ContentTree {
    struct Case {
        const char* folder;
        QByteArray name;
        QByteArray content;  // empty: a hard link to the listed file
        ContentMark mark;
    };
    TempDir t;
    QStringList listed{writeRaw(t.mkdir("want"), "报告.doc", kBig), writeRaw(t.file("want"), "bad\xFF.txt", kBig)};
    const std::vector<Case> cases{
        {"same", "报告.doc", kBig, ContentMark::Same},
        {"upper", "报告.DOC", kBig, ContentMark::Same},
        {"raw", "bad\xFF.txt", kBig, ContentMark::Same},
        {"lastbyte", "报告.doc", QByteArray(70000, 'a') + 'y', ContentMark::Different},
        {"longer", "bad\xFF.txt", kBig + 'z', ContentMark::Different},
        {"link", "报告.doc", {}, ContentMark::Itself},
    };
    std::vector<QString> paths;  // of `cases`

    explicit ContentTree(FrmDlg& w)
    {
        for (const Case& c : cases) {
            const QString folder = t.mkdir(QStringLiteral("tree/") + QLatin1String(c.folder));
            paths.push_back(c.content.isEmpty() ? joinPath(folder, decodeFileName(c.name))
                                                : writeRaw(folder, c.name, c.content));
            if (c.content.isEmpty()) {
                EXPECT_EQ(::link(encodeFileName(listed[0]).constData(), encodeFileName(paths.back()).constData()), 0);
            }
        }
        w.files().append(listed);
        w.folders().append({t.file("tree"), t.file("want")});
    }
    const FoundContent& of(FrmDlg& w, const QString& path) const
    {
        return w.found().content(int(w.found().entries().indexOf(path)));
    }
};

bool onDisk(const QString& path)
{
    struct stat st;
    return ::lstat(encodeFileName(path).constData(), &st) == 0;
}

QVariant shown(FrmDlg& w, const QString& path, int role)
{
    return w.found().data(w.found().index(int(w.found().entries().indexOf(path))), role);
}

}  // namespace

// Copies, a last byte past the first block, another size, a hard link to the
// listed file and the listed files found in their own folder.
TEST(FrmDlgContent, MarksEachFoundFileAsTheListedFileOrNot)
{
    FrmDlg w;
    ContentTree tree(w);
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().count(), int(tree.cases.size()) + 2);
    EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("查找完毕！")}));
    auto icon = [&](int i) { return shown(w, tree.paths[size_t(i)], Qt::DecorationRole).value<QIcon>().cacheKey(); };
    EXPECT_NE(icon(0), icon(3));
    for (size_t i = 0; i < tree.cases.size(); ++i) {
        const ContentTree::Case& c = tree.cases[i];
        const QString listed = displayFileNameInLine(tree.listed[c.name.startsWith("bad") ? 1 : 0]);
        const QString tips[] = {{}, QStringLiteral("与 %1 内容相同").arg(listed), QStringLiteral("内容不同"),
                                QStringLiteral("即要查找的文件 %1 本身").arg(listed)};
        EXPECT_EQ(tree.of(w, tree.paths[i]).mark, c.mark) << c.folder;
        EXPECT_EQ(shown(w, tree.paths[i], Qt::ToolTipRole).toString(), tips[int(c.mark)]) << c.folder;
        EXPECT_EQ(icon(int(i)), icon(c.mark == ContentMark::Same ? 0 : 3)) << c.folder;
    }
    for (const QString& listed : tree.listed)
        EXPECT_EQ(tree.of(w, listed).mark, ContentMark::Itself);
}

// Off at first and remembered; on, 删除 and 删除全部 take only true copies,
// and a copy changed since the search is kept and named.
TEST(FrmDlgContent, SameOnlyBoxIsRememberedAndSparesEveryOtherFile)
{
    const QString setting = settingsAppName() + QStringLiteral("/Duplicates/只删除内容相同的文件");
    {
        FrmDlg fresh;
        EXPECT_EQ(fresh.Check1->text(), QStringLiteral("只删除内容相同的文件"));
        EXPECT_FALSE(fresh.Check1->isChecked());
        EXPECT_GT(fresh.Check1->y(), fresh.List3->geometry().bottom());
        EXPECT_LT(fresh.Check1->geometry().bottom(), fresh.Command12->y());
        fresh.Check1->click();
    }
    EXPECT_EQ(scripted().settings.value(setting), QStringLiteral("1"));
    FrmDlg w;
    ASSERT_TRUE(w.Check1->isChecked());
    ContentTree tree(w);
    w.Command7->click();
    ASSERT_TRUE(finishBatches());

    // 删除 on a different file: kept, and said so.
    scripted().clear();
    w.List3->setCurrentIndex(w.found().index(int(w.found().entries().indexOf(tree.paths[3]))));
    w.Command10->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(onDisk(tree.paths[3]));
    EXPECT_EQ(scripted().messages().size(), 1);

    ASSERT_EQ(::truncate(encodeFileName(tree.paths[1]).constData(), 100), 0);
    scripted().clear();
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    for (size_t i = 0; i < tree.cases.size(); ++i)
        EXPECT_EQ(onDisk(tree.paths[i]), i == 1 || tree.cases[i].mark != ContentMark::Same) << tree.cases[i].folder;
    EXPECT_TRUE(onDisk(tree.listed[0]) && onDisk(tree.listed[1]));
    ASSERT_EQ(scripted().messages().size(), 1);
    const QString text = scripted().messages().first();
    EXPECT_TRUE(text.startsWith(QStringLiteral("已删除 2 个文件。"))) << text.toStdString();
    EXPECT_TRUE(text.contains(displayFileNameInLine(tree.paths[1]) + QStringLiteral("：自查找以来已改变，未删除")));

    // Off again: the plain 删除全部.
    w.Check1->click();
    EXPECT_EQ(scripted().settings.value(setting), QStringLiteral("0"));
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(onDisk(tree.paths[3]));
}

// Stopped while comparing: the rest has no mark, and with the box on none of it is deleted.
TEST(FrmDlgContent, CancelWhileComparingLeavesTheRestUnmarkedAndUndeleted)
{
    FrmDlg w;
    w.Check1->click();
    ContentTree tree(w);
    int met = 0;
    int compared = -1;
    BatchProgress::setTestHook([&](const QString& doing, int done) {
        if (std::find(tree.paths.begin(), tree.paths.end(), doing) == tree.paths.end() || ++met < 2)
            return false;
        compared = done;
        return true;
    });
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    BatchProgress::setTestHook({});
    ASSERT_GT(compared, 0);
    EXPECT_EQ(scripted().messages(), QStringList({BatchProgress::cancelledText(compared)}));
    QSet<QString> marked;
    QStringList unmarked;
    for (int row = 0; row < w.found().count(); ++row) {
        const QString path = w.found().entry(row);
        if (w.found().content(row).mark != ContentMark::None)
            marked.insert(path);
        else if (!unmarked.contains(path))
            unmarked << path;
    }
    EXPECT_EQ(marked.size(), compared);
    EXPECT_EQ(shown(w, unmarked.value(0), Qt::ToolTipRole).toString(), displayFileName(unmarked.value(0)));
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    for (const QString& path : unmarked)
        EXPECT_TRUE(onDisk(path)) << path.toStdString();
}
