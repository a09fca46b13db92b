// The library run against an installed program folder that this user may
// not write to (install_test.sh runs it as another user, with the folder of
// an installation in KESTRUNE_INSTALLED_BIN): the user's files go to the
// user's data folder, nothing is written beside the program, and the
// "current folder" buttons still mean the program's folder.

#include "support/recordtest.h"

#include "gui/devtools/frmdecp.h"
#include "core/documents/officeword.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmrec.h"
#include "core/system/appicon.h"
#include "gui/about/frmtip.h"
#include "app/mdiform1.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "core/about/tips.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// How far two pictures of the same size differ: the mean difference of their
// channels, 0 to 255.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
                   std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

struct InstalledProgram : ::testing::Test {
    QString bin = qEnvironmentVariable("KESTRUNE_INSTALLED_BIN");
    QString home = QDir::homePath();
    QString data = home + QStringLiteral("/.local/share/Kestrune");
    QStringList before;

    void SetUp() override
    {
        ASSERT_FALSE(bin.isEmpty()) << "KESTRUNE_INSTALLED_BIN names the installed bin folder";
        // The home is the run's own (see install_test.sh): the default data
        // folder under it is used.
        qunsetenv("XDG_DATA_HOME");
        setProgramFolder(bin);
        // The point of the run: this user cannot write the program's folder.
        ASSERT_FALSE(folderWritable(bin)) << "run as a user who cannot write " << bin.toStdString();
        before = folderEntries(bin);
        resetTips();
    }
    void TearDown() override
    {
        EXPECT_EQ(folderEntries(bin), before) << "nothing may be written beside the program";
        resetTips();
        TipFromMenu = false;
    }
};

}  // namespace

TEST_F(InstalledProgram, RecordsSettingsAndTipsGoToTheUsersDataFolder)
{
    EXPECT_EQ(dataFolder(), data);
    TempDir dir;
    const QString folder = dir.mkdir(QStringLiteral("photos"));
    dir.write(QStringLiteral("photos/a.jpg"), "jpeg");
    dir.write(QStringLiteral("photos/b.png"), "png");

    {
        frmrec w;  // the first use creates the data folder and the database in it
        w.Text4->setText(folder);
        w.Command5->click();
        ASSERT_TRUE(finishBatches());
        EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("该目录文件信息记录完毕!")}));
    }
    const auto rows = tableRows(data + QStringLiteral("/db1.mdb"), QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], QStringLiteral("a.jpg"));
    ASSERT_EQ(tableRows(data + QStringLiteral("/db1.mdb"), QStringLiteral("log")).size(), 1u);

    scripted().clear();
    {
        frmmove w;
        scripted().inputs = {QStringLiteral("chm;doc")};
        w.Label3->clicked();
        EXPECT_TRUE(scripted().messages().isEmpty()) << scripted().messages().join('|').toStdString();
        // "选择当前目录" is still the program's own folder.
        w.Command2->click();
        EXPECT_EQ(w.Text1->text(), bin);
    }
    EXPECT_EQ(readBytes(data + QStringLiteral("/setting.txt")), QByteArray("filter=chm;doc\r\n"));

    TipFromMenu = true;
    {
        frmTip tip;
        EXPECT_EQ(tip.lblTipText->text(), builtInTips().first());
    }
    EXPECT_EQ(readTipsFile(data + QStringLiteral("/readme.txt")).lines, builtInTips());
}

TEST_F(InstalledProgram, HelpersAreFoundBesideTheInstalledProgram)
{
    EXPECT_EQ(defaultWordHelper(), bin + QStringLiteral("/kestrune-word"));

    // The decompiler window runs the installed kestrune-hh.
    const QString sample = qEnvironmentVariable("KESTRUNE_SAMPLE_CHM");
    ASSERT_FALSE(sample.isEmpty()) << "KESTRUNE_SAMPLE_CHM names a help file";
    TempDir dir;
    dir.mkdir(QStringLiteral("src"));
    ASSERT_TRUE(QFile::copy(sample, dir.file(QStringLiteral("src/Guide.chm"))));
    Frmdecp w;
    w.Check3->setChecked(true);
    w.Text2->setText(dir.file(QStringLiteral("src")));
    w.Text1->setText(dir.file(QStringLiteral("out")));
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("全部chm文件反编译完成!")});
    const auto runs = scripted().of(Interaction::Run);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, bin + QStringLiteral("/kestrune-hh"));
    EXPECT_TRUE(dir.exists(QStringLiteral("out/Guide/index.htm")));
    EXPECT_TRUE(dir.exists(QStringLiteral("out/Guide/Guide.hhp")));
}

TEST_F(InstalledProgram, ThemeIconsAreTheWindowsIcon)
{
    const QString icons = bin + QStringLiteral("/../share/icons/hicolor/");
    const QImage drawn = appIconPixmap(256).toImage();
    const QImage png(icons + QStringLiteral("256x256/apps/org.kestrune.Kestrune.png"));
    ASSERT_EQ(png.size(), QSize(256, 256));
    EXPECT_LT(meanDifference(png, drawn), 0.5);

    QSvgRenderer svg(icons + QStringLiteral("scalable/apps/org.kestrune.Kestrune.svg"));
    ASSERT_TRUE(svg.isValid());
    QImage rendered(256, 256, QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    QPainter painter(&rendered);
    svg.render(&painter);
    painter.end();
    // Rendered by another engine: edges may differ a little, shapes and
    // colours may not.
    EXPECT_LT(meanDifference(rendered, drawn), 3.0);
    // A blank or foreign picture is far off.
    QImage blank(256, 256, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    EXPECT_GT(meanDifference(blank, drawn), 30.0);
}
