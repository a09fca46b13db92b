#include "gui/common/formutil.h"
#include "gui/about/frmtip.h"
#include "app/mdiform1.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "core/about/tips.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

class TipWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetTips();
        TipFromMenu = false;
        setProgramFolder(dir.path());
    }
    void TearDown() override
    {
        resetTips();
        TipFromMenu = false;
    }

    static QString startupKey() { return settingsAppName() + QStringLiteral("/Options/在启动时显示提示"); }
    QString readme() const { return dir.file("readme.txt"); }
    void writeTips(const QString& text) { dir.write("readme.txt", toGb18030(text)); }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TempDir dir;
};

}  // namespace

TEST_F(TipWindow, FirstRunWritesTheBuiltInTipsAndShowsTheFirst)
{
    frmTip tip;
    EXPECT_FALSE(tip.unloadedAtLoad());
    EXPECT_EQ(test::readBytes(readme()),
              toGb18030(builtInTips().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    EXPECT_TRUE(tip.lblTipText->text().startsWith(QStringLiteral("Kestrune有多种")));
    EXPECT_EQ(TipList.size(), 11);  // the failed first read adds nothing
    EXPECT_EQ(TipIndex, 1);
    EXPECT_TRUE(tip.chkLoadTipsAtStartup->isChecked());
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("1"));
    EXPECT_EQ(tip.windowTitle(), QStringLiteral("日积月累"));
    EXPECT_EQ(tip.cmdNextTip->geometry(), twRect(4080, 600, 1455, 375));
    EXPECT_EQ(tip.lblTipText->parentWidget(), tip.Picture1);
}

TEST_F(TipWindow, EmptyFileIsReplacedByTheBuiltInTips)
{
    writeTips(QString());
    frmTip tip;
    EXPECT_EQ(readTipsFile(readme()).lines, builtInTips());
    EXPECT_EQ(tip.lblTipText->text(), builtInTips().first());
}

TEST_F(TipWindow, ThreeLinesCycleAndAReopenedWindowGoesOn)
{
    writeTips(QStringLiteral("一\r\n二\r\n三\r\n"));
    {
        frmTip tip;
        EXPECT_EQ(tip.lblTipText->text(), QStringLiteral("一"));
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            tip.cmdNextTip->click();
            shown << tip.lblTipText->text();
        }
        EXPECT_EQ(shown, QStringList({"二", "三", "一"}));
    }
    // The file is not rewritten when it has tips.
    EXPECT_EQ(test::readBytes(readme()), toGb18030(QStringLiteral("一\r\n二\r\n三\r\n")));

    resetTips();
    MDIForm1 main;
    main.menuTip_Click();
    EXPECT_EQ(scripted().of(Interaction::Beep).size(), 1u);
    auto* first = qobject_cast<frmTip*>(main.toolWindow(QStringLiteral("menuTip")));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->lblTipText->text(), QStringLiteral("一"));
    first->cmdOK->click();
    flushDeletes();
    EXPECT_EQ(main.toolWindow(QStringLiteral("menuTip")), nullptr);

    main.menuTip_Click();
    auto* second = qobject_cast<frmTip*>(main.toolWindow(QStringLiteral("menuTip")));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->lblTipText->text(), QStringLiteral("二"));
    EXPECT_EQ(TipList.size(), 6);
    EXPECT_EQ(TipList, QStringList({"一", "二", "三", "一", "二", "三"}));
}

TEST_F(TipWindow, BlankLinesAreTipsOfTheirOwn)
{
    writeTips(QStringLiteral("\r\n\r\n"));
    frmTip tip;
    EXPECT_EQ(TipList, QStringList({"", ""}));
    EXPECT_EQ(tip.lblTipText->text(), QString());
    // Not taken for an empty file: nothing was rewritten.
    EXPECT_EQ(test::readBytes(readme()), QByteArray("\r\n\r\n"));

    resetTips();
    writeTips(QStringLiteral("<b>粗体</b>\r\n"));
    frmTip markup;
    EXPECT_EQ(markup.lblTipText->text(), QStringLiteral("<b>粗体</b>"));
    EXPECT_EQ(markup.lblTipText->textFormat(), Qt::PlainText);
}

TEST_F(TipWindow, SettingZeroKeepsItClosedAtStartUpButNotFromTheMenu)
{
    writeTips(QStringLiteral("一\r\n"));
    scripted().settings[startupKey()] = QStringLiteral("0");
    MDIForm1 main;
    main.MDIForm_Load();
    EXPECT_EQ(main.toolWindow(QStringLiteral("menuTip")), nullptr);
    EXPECT_TRUE(TipList.isEmpty());  // it closed before reading anything
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("0"));

    main.menuTip_Click();
    EXPECT_TRUE(TipFromMenu);
    QWidget* tip = main.toolWindow(QStringLiteral("menuTip"));
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->parentWidget(), &main);
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("1"));
}

TEST_F(TipWindow, StartUpShowsItWhenTheSettingIsAbsent)
{
    writeTips(QStringLiteral("一\r\n"));
    MDIForm1 main;
    main.MDIForm_Load();
    QWidget* tip = main.toolWindow(QStringLiteral("menuTip"));
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_TRUE(scripted().of(Interaction::Beep).empty());
}

TEST_F(TipWindow, UntickingWritesZeroAtOnceAndTickingOne)
{
    writeTips(QStringLiteral("一\r\n"));
    frmTip tip;
    tip.show();
    tip.chkLoadTipsAtStartup->click();
    EXPECT_TRUE(tip.isVisible());
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("0"));
    tip.chkLoadTipsAtStartup->click();
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("1"));
}

TEST_F(TipWindow, EnterAndEscapeCloseIt)
{
    writeTips(QStringLiteral("一\r\n"));
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        frmTip tip;
        tip.show();
        tip.chkLoadTipsAtStartup->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&tip, &press);
        EXPECT_FALSE(tip.isVisible()) << key;
    }
}

TEST_F(TipWindow, UnreadableFileIsReportedAndLeftAlone)
{
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), readme()));
    frmTip tip;
    EXPECT_FALSE(tip.unloadedAtLoad());
    EXPECT_TRUE(tip.lblTipText->text().startsWith(QStringLiteral("提示暂时不可用。无法读取提示文件")));
    EXPECT_TRUE(tip.lblTipText->text().contains(readme()));
    EXPECT_TRUE(QFileInfo(readme()).isSymLink());  // not replaced by the built-in tips
    EXPECT_TRUE(TipList.isEmpty());
}

TEST_F(TipWindow, UnwritableFileIsReported)
{
    dir.mkdir("readme.txt");
    frmTip tip;
    EXPECT_TRUE(tip.lblTipText->text().startsWith(QStringLiteral("提示暂时不可用。无法写入提示文件")));
    EXPECT_TRUE(TipList.isEmpty());
    // Next still does no harm with nothing to show.
    tip.cmdNextTip->click();
    EXPECT_TRUE(tip.lblTipText->text().startsWith(QStringLiteral("提示暂时不可用")));
}

TEST_F(TipWindow, EveryBuiltInTipFitsItsLabelAndAnOverlongOneCanBeReadWhole)
{
    frmTip tip;
    const QRect area(0, 0, tip.lblTipText->width(), tip.lblTipText->height());
    for (int i = 0; i < builtInTips().size(); ++i) {
        const QRect needed = QFontMetrics(tip.lblTipText->font())
                                 .boundingRect(area, int(Qt::TextWordWrap | Qt::AlignTop), tip.lblTipText->text());
        EXPECT_LE(needed.height(), area.height()) << i;
        EXPECT_TRUE(tip.lblTipText->toolTip().isEmpty()) << i;
        tip.cmdNextTip->click();
    }
    // Back at the first tip, at the window's own font size.
    EXPECT_EQ(tip.lblTipText->font().pointSizeF(), tip.font().pointSizeF());

    TipList << QString(2000, QChar(0x5B57));
    TipIndex = TipList.size() - 1;
    tip.cmdNextTip->click();
    EXPECT_EQ(tip.lblTipText->toolTip(), TipList.last());
}

TEST_F(TipWindow, AnOverlongTipShowsItsStartAndTheWindowComesUpAtOnce)
{
    // A first line of 11 MB: words and Chinese text without a line end.
    QByteArray line;
    const QByteArray words = QStringLiteral("很长的提示 a long tip that goes on ").toUtf8();
    while (line.size() < 11 * 1024 * 1024)
        line += words;
    dir.write("readme.txt", line + "\r\n短提示\r\n");

    QElapsedTimer clock;
    clock.start();
    frmTip tip;
    tip.show();
    QCoreApplication::processEvents();
    // Laying the whole line out took 20 s and more; reading the file a
    // fraction of a second.
    EXPECT_LT(clock.elapsed(), 4000);

    const QString shown = tip.lblTipText->text();
    EXPECT_EQ(shown.size(), kLongestTip + 1);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_TRUE(QString::fromUtf8(line).startsWith(shown.chopped(1)));
    // It does not fit: the tool tip holds the same start, no more.
    EXPECT_EQ(tip.lblTipText->toolTip(), shown);
    EXPECT_EQ(TipList.first(), shown);

    tip.cmdNextTip->click();
    EXPECT_EQ(tip.lblTipText->text(), QStringLiteral("短提示"));
    EXPECT_TRUE(tip.lblTipText->toolTip().isEmpty());
}
