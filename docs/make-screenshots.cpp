// make-screenshots OUTDIR DATADIR: draws the main window and every tool
// window, each with real content, into OUTDIR as PNG files (offscreen: run
// with QT_QPA_PLATFORM=offscreen). DATADIR is the tests' data folder, for the
// drawings. Everything the windows write goes to a temporary folder that
// plays the program's folder; the user's settings are not touched.
//
// The windows are filled and driven through their own controls, one step
// after another; a step that starts a batch is followed by the next only
// once every batch has ended.

#include "app/mdiform1.h"
#include "app/startup.h"
#include "gui/devtools/frmcompile.h"
#include "gui/devtools/frmdecp.h"
#include "gui/devtools/frmregsvr.h"
#include "gui/documents/form2.h"
#include "gui/documents/frmjmword.h"
#include "gui/documents/frmviewdwg.h"
#include "gui/duplicates/frmdlg.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmlog.h"
#include "gui/records/frmrec.h"
#include "gui/same/frmsame.h"
#include "core/batch/batchrunner.h"
#include "gui/about/frmabout.h"
#include "gui/about/frmtip.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using namespace kestrune;

namespace {

// Messages go to standard error, questions are cancelled, and the settings
// store is left alone (the tip window asks for its start-up choice).
class PicturePlatform : public HeadlessPlatform {
public:
    QString getSetting(const QString&, const QString&, const QString&, const QString& defaultValue) override
    {
        return defaultValue;
    }
    void saveSetting(const QString&, const QString&, const QString&, const QString&) override {}
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

// Eight bits a pixel and the strongest compression keep the pictures small;
// windows have few colours. Where a window has more than 256 (smooth text on
// grey panels), its 256 most frequent colours are kept and every other pixel
// takes the nearest of them: a fixed palette would turn smooth text into
// jagged black and grey panels into white.
QImage toPalette(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, qsizetype> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x] | 0xff000000u];
    }
    std::vector<std::pair<qsizetype, QRgb>> byCount;
    byCount.reserve(size_t(counts.size()));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.emplace_back(it.value(), it.key());
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QList<QRgb> table;
    for (size_t i = 0; i < byCount.size() && i < 256; ++i)
        table << byCount[i].second;
    return rgb.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-screenshots OUTDIR DATADIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString data = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    prepareApplication(app);
    PicturePlatform quiet;
    setPlatform(&quiet);

    QTemporaryDir temp;
    const QString home = temp.path() + QStringLiteral("/Kestrune");
    QDir().mkpath(home);
    setProgramFolder(home);

    // A small tree of everyday files: 资料 holds the originals, 备份 copies
    // of some of them under other folders.
    const QString docs = temp.path() + QStringLiteral("/资料");
    const QString backup = temp.path() + QStringLiteral("/备份");
    for (const char* name : {"年度报告.doc", "会议纪要.txt", "预算表.xls", "说明.chm", "图纸/总平面图.dwg",
                             "图纸/一层平面.dwg", "照片/封面.jpg"})
        writeFile(docs + QLatin1Char('/') + QString::fromUtf8(name), QByteArray(1024 + qstrlen(name) * 97, 'k'));
    for (const char* name : {"2025/预算表.xls", "旧/会议纪要.txt", "旧/其他.txt"})
        writeFile(backup + QLatin1Char('/') + QString::fromUtf8(name), QByteArray(2048, 'b'));
    // One true copy among them, which the duplicate finder marks as such.
    writeFile(backup + QStringLiteral("/2025/年度报告.doc"), QByteArray(1024 + qstrlen("年度报告.doc") * 97, 'k'));

    // Downloads that are copies of documents under other names, for the
    // window that finds identical files.
    const QString downloads = temp.path() + QStringLiteral("/下载");
    for (const char* name : {"年度报告.doc", "预算表.xls"})
        writeFile(downloads + QLatin1Char('/') + QString::fromUtf8(name).replace(QLatin1Char('.'), QStringLiteral("(1).")),
                  QByteArray(1024 + qstrlen(name) * 97, 'k'));

    int failures = 0;
    auto saveImage = [&](const QImage& image, const char* name) {
        const QImage picture = toPalette(image);
        const QString file = out + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png");
        if (!picture.save(file, "PNG", 0)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            ++failures;
            return;
        }
        std::printf("%s\n", qPrintable(file));
    };
    auto save = [&](QWidget* window, const char* name) { saveImage(window->grab().toImage(), name); };

    MDIForm1 main;
    main.resize(800, 520);
    main.setWindowTitle(QStringLiteral("Kestrune  V%1").arg(QCoreApplication::applicationVersion()));
    main.show();

    std::unique_ptr<frmrec> rec;
    std::unique_ptr<FrmDlg> dlg;
    std::unique_ptr<FrmViewdwg> viewer;
    std::unique_ptr<frmsame> same;

    std::vector<std::function<void()>> steps{
        // The main window with its first menu open, the menu drawn in.
        [&] {
            const QRect item = main.menuBar()->actionGeometry(main.menuFile->menuAction());
            main.menuFile->popup(main.menuBar()->mapToGlobal(item.bottomLeft()));
        },
        [&] {
            QImage picture = main.grab().toImage();
            QPainter painter(&picture);
            painter.drawImage(main.mapFromGlobal(main.menuFile->pos()), main.menuFile->grab().toImage());
            painter.end();
            main.menuFile->hide();
            saveImage(picture, "main");
        },
        // The recorder: two folders recorded, then the window opened again,
        // which reads the run log into its grid.
        [&] {
            rec = std::make_unique<frmrec>(&main);
            rec->show();
            rec->Text4->setText(docs);
            rec->Command5_Click();
        },
        [&] {
            rec->Text4->setText(docs + QStringLiteral("/图纸"));
            rec->Command5_Click();
        },
        [&] {
            rec.reset();
            rec = std::make_unique<frmrec>(&main);
            rec->Text4->setText(docs);
            rec->show();
            // The files of about 2 KB, give or take 1.
            rec->Text1->setText(QStringLiteral("2"));
            rec->Combo1->setCurrentIndex(1);
            rec->Text3->setText(QStringLiteral("1"));
            rec->Label1_Click();
        },
        [&] { save(rec.get(), "records"); },
        [&] {
            auto* log = new Frmlog(rec.get());
            log->setAttribute(Qt::WA_DeleteOnClose);
            log->show();
            save(log, "records-log");
            log->close();
            rec.reset();
        },
        // The file manager, set up to copy the documents of one type.
        [&] {
            auto window = std::make_unique<frmmove>(&main);
            window->Text1->setText(docs);
            window->Text2->setText(backup);
            window->Check2->setChecked(true);
            window->show();
            save(window.get(), "filemanager");
        },
        // The duplicate finder: the files of 资料 looked for in 备份.
        [&] {
            dlg = std::make_unique<FrmDlg>(&main);
            dlg->show();
            for (const char* name : {"年度报告.doc", "会议纪要.txt", "预算表.xls"}) {
                dlg->Text1->setText(docs + QLatin1Char('/') + QString::fromUtf8(name));
                dlg->Command1_Click();
            }
            dlg->Text2->setText(backup);
            dlg->Command2_Click();
            dlg->Command7_Click();
        },
        [&] {
            save(dlg.get(), "duplicates");
            dlg.reset();
        },
        // Identical files in three folders, all but one of each group checked.
        [&] {
            same = std::make_unique<frmsame>(&main);
            same->show();
            for (const QString& folder : {docs, backup, downloads}) {
                same->Text1->setText(folder);
                same->Command1_Click();
            }
            same->folders().setMarked(0, true);
            same->Command3_Click();
        },
        [&] {
            same->Command4_Click();
            save(same.get(), "same");
            same.reset();
        },
        // The drawing viewer with a drawing's preview, and the preview window.
        [&] {
            viewer = std::make_unique<FrmViewdwg>(&main);
            viewer->show();
            viewer->openDrawing(data + QStringLiteral("/dwg/2013_Arc.dwg"));
            save(viewer.get(), "drawing-viewer");
            viewer->Image2_Click();
            if (Form2* preview = Form2::instance())
                save(preview, "drawing-preview");
            else
                ++failures;
        },
        [&] {
            if (Form2* preview = Form2::instance())
                preview->close();
            viewer.reset();
        },
        // The Word window with a list of documents.
        [&] {
            auto window = std::make_unique<frmjmword>(&main);
            window->show();
            for (const char* name : {"年度报告.doc", "2025/年度报告.doc"}) {
                window->Text1->setText((qstrncmp(name, "2025", 4) ? docs : backup) + QLatin1Char('/') +
                                       QString::fromUtf8(name));
                window->Command1_Click();
            }
            save(window.get(), "word");
        },
        // The help decompiler and the library registration, set up.
        [&] {
            auto window = std::make_unique<Frmdecp>(&main);
            window->Text1->setText(docs);
            window->Text2->setText(temp.path() + QStringLiteral("/帮助"));
            window->Check1->setChecked(true);
            window->show();
            save(window.get(), "help-decompiler");
        },
        [&] {
            auto window = std::make_unique<Frmregsvr>(&main);
            window->Text4->setText(temp.path() + QStringLiteral("/控件"));
            window->show();
            save(window.get(), "registration");
        },
        // The project compiler with a list of projects.
        [&] {
            auto window = std::make_unique<frmCompile>(&main);
            window->show();
            for (const char* name : {"工程/主程序.vbp", "工程/报表.vbp"}) {
                window->Text1->setText(temp.path() + QLatin1Char('/') + QString::fromUtf8(name));
                window->Command1_Click();
            }
            save(window.get(), "compiler");
        },
        // The tip of the day and the About window.
        [&] {
            auto window = std::make_unique<frmTip>(&main);
            window->show();
            save(window.get(), "tip");
        },
        [&] {
            auto window = std::make_unique<frmAbout>(&main);
            window->show();
            save(window.get(), "about");
        },
    };

    std::size_t next = 0;
    QTimer pace;
    pace.setInterval(20);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (BatchRunner::runningCount() > 0)
            return;
        if (next == steps.size()) {
            pace.stop();
            app.exit(failures == 0 ? 0 : 1);
            return;
        }
        steps[next++]();
    });
    pace.start();
    const int status = app.exec();
    setPlatform(nullptr);
    return status;
}
