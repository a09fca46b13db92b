// The drawing viewer on the offscreen platform: steps "next" through a
// folder of 1,000 drawings (copies of the sample drawings), each step shown
// at once, and enlarges a drawing 30 times before repainting it. Prints the
// median time of one step and of the repaint after the last enlarge. Another
// folder of sample drawings may be given as the argument.
#include "benchutil.h"

#include "gui/documents/dwgthumbnail.h"
#include "gui/documents/frmviewdwg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Counts the paint events a widget receives, so the timings are known to
// include real painting.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

double elapsedMs(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

void printTimes(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-34s median %7.3f ms  90th %7.3f ms  slowest %7.3f ms  (%d runs)\n", what,
                kestrune::bench::median(times), times[times.size() * 9 / 10], times.back(), int(times.size()));
}

}  // namespace

using kestrune::bench::BenchArguments;
using kestrune::bench::readBenchArguments;

namespace {
const char kUsage[] =
    "usage: bench_viewdwg [FOLDER]\n"
    "Steps the drawing viewer through 1,000 drawings copied from FOLDER (by default\n"
    "the test drawings) and times enlarging and repainting.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString samples = !args.positional.isEmpty() ? args.positional.first()
                                     : QCoreApplication::applicationDirPath() + "/../../tests/data/dwg";
    QStringList drawings;
    for (const QString& name : QDir(samples).entryList({QStringLiteral("*.dwg")}, QDir::Files, QDir::Name))
        drawings << QDir(samples).filePath(name);
    if (drawings.isEmpty()) {
        std::fprintf(stderr, "no drawings in %s\n", qPrintable(samples));
        return 1;
    }

    QTemporaryDir folder;
    const int count = 1000;
    for (int i = 0; i < count; ++i)
        QFile::copy(drawings[i % drawings.size()], folder.filePath(QStringLiteral("d%1.dwg").arg(i, 4, 10, QChar('0'))));

    kestrune::FrmViewdwg w;
    w.show();
    QApplication::processEvents();
    PaintCounter counter;
    w.DwgThumbnail1->installEventFilter(&counter);

    // Stepping: the click and the repaint that shows the new drawing.
    w.Text1->setText(folder.filePath(QStringLiteral("d0000.dwg")));
    w.Command1->click();
    std::vector<double> steps;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        w.Picture5_Click();
        w.DwgThumbnail1->repaint();
        steps.push_back(elapsedMs(t));
    }
    printTimes("next drawing (step and repaint)", steps);
    std::printf("%d paints in %d steps\n", counter.paints, count);
    // Step i + 1 shows copy number i + 1, a copy of sample (i + 1) % samples.
    for (int k = 0; k < drawings.size(); ++k) {
        std::vector<double> one;
        for (int i = 0; i < count; ++i)
            if ((i + 1) % count % drawings.size() == k)
                one.push_back(steps[i]);
        printTimes(qPrintable(QStringLiteral("  to a copy of ") + QFileInfo(drawings[k]).fileName()), one);
    }

    // Zoom: 30 enlarges of each sample drawing with a picture, then the repaint.
    std::vector<double> enlarges;
    std::vector<double> repaints;
    QSize enlarged;
    for (int round = 0; round < 10; ++round) {
        for (const QString& drawing : drawings) {
            w.Text1->setText(drawing);
            w.Command1->click();
            if (w.DwgThumbnail1->picture().isNull())
                continue;
            w.DwgThumbnail1->repaint();
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < 30; ++i)
                w.Picture1_Click();
            enlarges.push_back(elapsedMs(t));
            t.restart();
            w.DwgThumbnail1->repaint();
            repaints.push_back(elapsedMs(t));
            enlarged = w.DwgThumbnail1->size();
        }
    }
    if (repaints.empty()) {
        std::fprintf(stderr, "no sample drawing has a picture\n");
        return 1;
    }
    counter.paints = 0;
    w.DwgThumbnail1->repaint();
    if (counter.paints != 1) {
        std::fprintf(stderr, "the drawing was not painted\n");
        return 1;
    }
    printTimes("30 enlarges (without painting)", enlarges);
    printTimes("repaint after the 30th enlarge", repaints);
    std::printf("drawing after 30 enlarges: %d x %d pixels\n", enlarged.width(), enlarged.height());
    return 0;
}
