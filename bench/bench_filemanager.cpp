// The batch file manager against find(1): deleting the *.txt files of a
// tree, and copying them into one folder. Each run works on a fresh copy of
// a generated tree.
//
//   bench_filemanager [files] [folders] [runs] [work folder]

#include "benchutil.h"

#include "filemanager/frmmove.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

int countFiles(const QString& root, const QString& pattern)
{
    int n = 0;
    QDirIterator it(root, {pattern}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

bool run(const QString& command)
{
    return timeCommand(command) >= 0;
}

// A fresh copy of the template tree at `tree`.
bool freshTree(const QString& templ, const QString& tree)
{
    return run(QStringLiteral("rm -rf %1 && cp -a %2 %1").arg(shellQuote(tree), shellQuote(templ)));
}

// The window set up as a user would for one batch.
void prepare(frmmove& w, const QString& source, int option, const QString& destination)
{
    w.Text1->setText(source);
    w.Combo1->setEditText(QStringLiteral("*.txt"));
    w.Check1->setChecked(true);
    w.Check3->setChecked(false);
    w.Option1[size_t(option)]->click();
    w.Text2->setText(destination);
    w.Check2->setChecked(true);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int files = args.size() > 1 ? args[1].toInt() : 200000;
    const int folders = args.size() > 2 ? args[2].toInt() : 2000;
    const int runs = args.size() > 3 ? args[3].toInt() : 5;
    const QString base = args.size() > 4 ? args[4] : QDir::tempPath();

    QTemporaryDir work(QDir(base).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder in %s\n", qPrintable(base));
        return 1;
    }
    const QString templ = work.filePath(QStringLiteral("template"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    const QString dest = work.filePath(QStringLiteral("dest"));
    std::printf("generating %d files in %d folders...\n", files, folders);
    std::fflush(stdout);
    generateTree(templ, files, folders, 4);
    const int txt = countFiles(templ, QStringLiteral("*.txt"));
    std::printf("%d *.txt files\n", txt);

    std::vector<double> oursDelete, refDelete, oursCopy, refCopy;
    bool correct = true;
    frmmove window;
    for (int i = 0; i < runs; ++i) {
        // Delete.
        freshTree(templ, tree);
        prepare(window, tree, 2, QString());
        oursDelete.push_back(timeBatch([&] { window.Command3_Click(); }));
        correct = correct && countFiles(tree, QStringLiteral("*.txt")) == 0 &&
                  countFiles(tree, QStringLiteral("*")) == files - txt;
        freshTree(templ, tree);
        refDelete.push_back(timeCommand(QStringLiteral("find %1 -name '*.txt' -delete").arg(shellQuote(tree))));

        // Copy into one folder.
        freshTree(templ, tree);
        run(QStringLiteral("rm -rf %1 && mkdir %1").arg(shellQuote(dest)));
        prepare(window, tree, 1, dest);
        oursCopy.push_back(timeBatch([&] { window.Command3_Click(); }));
        correct = correct && countFiles(dest, QStringLiteral("*")) == txt;
        run(QStringLiteral("rm -rf %1 && mkdir %1").arg(shellQuote(dest)));
        refCopy.push_back(
            timeCommand(QStringLiteral("find %1 -name '*.txt' -exec cp -f -t %2 {} +").arg(shellQuote(tree), shellQuote(dest))));
        correct = correct && countFiles(dest, QStringLiteral("*")) == txt;
        std::printf("run %d: delete %.3f / %.3f s, copy %.3f / %.3f s\n", i + 1, oursDelete.back(), refDelete.back(),
                    oursCopy.back(), refCopy.back());
        std::fflush(stdout);
    }
    run(QStringLiteral("rm -rf %1 %2").arg(shellQuote(tree), shellQuote(dest)));

    report(QStringLiteral("delete *.txt (median of %1)").arg(runs), median(oursDelete), median(refDelete));
    report(QStringLiteral("copy *.txt into one folder (median of %1)").arg(runs), median(oursCopy), median(refCopy));
    if (!correct) {
        std::printf("the batch did not leave the expected files\n");
        return 1;
    }
    return 0;
}
