// Times the work list's folder add against find(1) on a generated tree:
// 200,000 files in 2,000 folders, 32,767 of them *.vbp (the list's limit),
// added into an empty list; median of 5 runs each.
#include "benchutil.h"

#include "core/devtools/worklist.h"
#include "gui/duplicates/frmdlg.h"
#include "core/fs/fso.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {
const char kUsage[] =
    "usage: bench_worklist [FILES [FOLDERS]]\n"
    "Times the work list's folder add against find on FILES files (200,000) in\n"
    "FOLDERS folders (2,000).\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 2);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = countArgument(args, 0, 200000, kUsage);
    const int folders = countArgument(args, 1, 2000, kUsage);
    const int matching = WorkList::kMaxEntries;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kestrune-bench-XXXXXX"));
    const QString root = dir.path() + QStringLiteral("/tree");
    std::printf("generating %d files in %d folders, %d of them *.vbp...\n", files, folders, matching);
    generateTree(root, files, folders, 6, QStringLiteral(".vbp"), matching);

    FileSystemObject fso;
    const QString find = QStringLiteral("find %1 -name '*.vbp' | wc -l >/dev/null").arg(shellQuote(root));
    int added = 0;
    bool full = false;
    // The list is shown in a list view, as in the window.
    auto addOnce = [&] {
        WorkList list;
        PathListView view;
        view.setModel(&list);
        const WorkList::TreeAdd r = list.addTree(fso.GetFolder(root), QStringLiteral("vbp"));
        added = r.added;
        full = r.full;
    };
    std::vector<double> ours, reference;
    // One warm-up run each so that both walk a cached tree.
    timeCommand(find);
    addOnce();
    for (int run = 0; run < 5; ++run) {
        ours.push_back(timeSeconds(addOnce));
        reference.push_back(timeCommand(find));
    }
    std::printf("folder add listed %d files%s\n", added, full ? " (list full)" : "");
    report(QStringLiteral("folder add vs find -name | wc -l"), median(ours), median(reference));
    return added == qMin(matching, files / 6 + 1) ? 0 : 1;
}
