// The duplicate search and the folder expander on a tree of 100,000 files in
// 1,000 folders, each timed against one `find DIR -type f | wc -l` of the same
// tree (median of 5 runs, after one warm-up run of each).
//
// bench_duplicates [FOLDER]: with FOLDER the tree is kept there and reused
// when it is already complete (generating it takes minutes on a busy machine).

#include "benchutil.h"

#include "core/duplicates/duplicatesearch.h"
#include "gui/duplicates/frmdlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

constexpr int kTreeFiles = 100000;
constexpr int kTreeFolders = 1000;
constexpr int kListFiles = 1000;
constexpr int kRuns = 5;

double medianOf(const std::function<void()>& work)
{
    work();  // warm-up
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
        times.push_back(timeSeconds(work));
    return median(times);
}

double findReference(const QString& tree)
{
    const QString command = QStringLiteral("find '%1' -type f | wc -l >/dev/null").arg(tree);
    timeCommand(command);
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
        times.push_back(timeCommand(command));
    return median(times);
}

}  // namespace

namespace {
const char kUsage[] =
    "usage: bench_duplicates [FOLDER]\n"
    "Times the duplicate search and the folder expander on 100,000 files against find.\n"
    "FOLDER keeps the generated tree and reuses it when it is complete.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/bench-duplicates-XXXXXX"));
    const QString kept = args.positional.value(0);
    const QString tree = kept.isEmpty() ? root.path() + QStringLiteral("/tree") : kept;
    const QString listed = root.path() + QStringLiteral("/listed");
    const QString complete = tree + QStringLiteral(".complete");  // beside the tree, not in it
    if (kept.isEmpty() || !QFile::exists(complete)) {
        QDir(tree).removeRecursively();
        std::printf("generating %d files in %d folders...\n", kTreeFiles, kTreeFolders);
        std::fflush(stdout);
        generateTree(tree, kTreeFiles, kTreeFolders);
        if (!kept.isEmpty()) {
            QFile mark(complete);
            mark.open(QIODevice::WriteOnly);
        }
    }

    // The files to look for: each bears the name of one file of the tree
    // (named as the tree's generator names them).
    static const char* const kOther[] = {".doc", ".htm", ".dat"};
    QDir().mkpath(listed);
    QStringList files;
    for (int k = 0; k < kListFiles; ++k) {
        const int i = k * (kTreeFiles / kListFiles) + k % 7;
        const QString ext = (i % 4 == 0) ? QStringLiteral(".txt") : QString::fromLatin1(kOther[i % 3]);
        const QString path = QStringLiteral("%1/FILE%2%3").arg(listed).arg(i).arg(ext);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
        files << path;
    }

    const double reference = findReference(tree);

    FileSystemObject fso;
    int found = 0;
    int walks = 0;
    const double search = medianOf([&] {
        DuplicateSearch s(fso);
        PathListModel list3(true);
        const DuplicateSearch::Outcome out = s.run(files, {tree});
        list3.append(out.found);
        found = list3.count();
        walks = out.walks;
    });
    std::printf("search: %d files looked for in one tree, %d found, %d walk(s)\n", kListFiles, found, walks);
    report(QStringLiteral("search 1,000 names in 100,000 files"), search, reference);

    int added = 0;
    const double expand = medianOf([&] {
        FrmDlg w;
        w.dieda(fso.GetFolder(tree));
        waitForBatches();
        added = w.files().count();
    });
    std::printf("expander: %d files added to the list\n", added);
    report(QStringLiteral("dieda: 100,000-file folder into List1"), expand, reference);

    // Every file of the tree looked for in the tree itself: 100,000 names,
    // still one walk.
    FrmDlg whole;
    whole.dieda(fso.GetFolder(tree));
    waitForBatches();
    const QStringList everything = whole.files().entries();
    const double all = medianOf([&] {
        DuplicateSearch s(fso);
        found = int(s.run(everything, {tree}).found.size());
    });
    std::printf("search: %d files looked for in their own tree, %d found\n", int(everything.size()), found);
    report(QStringLiteral("search 100,000 names in 100,000 files"), all, reference);

    // The found list with 100,000 entries: shown, everything marked, drawn.
    QStringList many;
    for (int i = 0; i < kTreeFiles; ++i)
        many << QStringLiteral("%1/d%2/file%3.txt").arg(tree).arg(i % 50).arg(i);
    const double view = medianOf([&] {
        FrmDlg w;
        w.found().append(many);
        w.show();
        QApplication::processEvents();
        w.Command9_Click();
        w.List3->scrollToBottom();
        w.grab();
        w.Command8_Click();
        w.grab();
    });
    std::printf("%-40s ours %8.3f s\n", "100,000 found: show, mark all, draw", view);
    return 0;
}
