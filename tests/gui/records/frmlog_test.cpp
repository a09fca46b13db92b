#include "support/recordtest.h"

#include "gui/records/frmlog.h"
#include "core/records/recorder.h"
#include "gui/common/formutil.h"
#include "core/fs/programfolder.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

struct LogWindowTest : ::testing::Test {
    TempDir dir;
    QString prog = dir.mkdir(QStringLiteral("prog"));
    QString db = dir.file(QStringLiteral("prog/db1.mdb"));

    void SetUp() override { setProgramFolder(prog); }

    // Three log entries and two file records, written as a recorder would.
    void fill()
    {
        RecordStore store(db);
        ASSERT_TRUE(store.open({QStringLiteral("fileInf"), QStringLiteral("log")}));
        TableCursor log(store, QStringLiteral("log"));
        TableCursor files(store, QStringLiteral("fileInf"));
        ASSERT_TRUE(log.requery());
        ASSERT_TRUE(files.requery());
        for (const char* folder : {"/first", "/second", "/third"})
            ASSERT_TRUE(addLogRecord(log, QString::fromLatin1(folder), QDateTime::currentDateTime()));
        FileRecord r;
        r.name = QStringLiteral("kept.txt");
        ASSERT_TRUE(files.addNew(r.values()));
        ASSERT_TRUE(files.addNew(r.values()));
    }
    QStringList gridFolders(const Frmlog& w) const
    {
        QStringList folders;
        for (int row = 0; row < w.MSF1->model()->rowCount(); ++row)
            folders << w.MSF1->model()->index(row, 0).data().toString();
        return folders;
    }
};

}  // namespace

TEST_F(LogWindowTest, ShowsTheLogWithItsColumnWidths)
{
    fill();
    Frmlog w;
    EXPECT_EQ(w.windowTitle(), "日志");
    EXPECT_EQ(w.Command1->text(), "删除");
    EXPECT_EQ(w.Command2->text(), "清空");
    EXPECT_EQ(w.Command3->text(), "关闭");
    EXPECT_EQ(w.Command2->geometry(), twRect(1680, 3360, 1215, 375));
    EXPECT_EQ(w.MSF1->columnWidth(0), tw(3000));
    EXPECT_EQ(w.MSF1->columnWidth(1), tw(2000));
    EXPECT_FALSE(w.MSF1->verticalHeader()->isVisible());
    EXPECT_EQ(w.MSF1->model()->headerData(0, Qt::Horizontal).toString(), "FolderPath");
    EXPECT_EQ(w.MSF1->model()->headerData(1, Qt::Horizontal).toString(), "RecordTime");
    EXPECT_EQ(gridFolders(w), QStringList({"/first", "/second", "/third"}));
    EXPECT_FALSE(w.Data2->eof());
    // A date and time stays whole in its column.
    const QString when = w.MSF1->model()->index(0, 1).data().toString();
    EXPECT_EQ(when.size(), 19);
    const int margin = w.MSF1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w.MSF1) + 1;
    EXPECT_LE(w.MSF1->fontMetrics().horizontalAdvance(when) + 2 * margin, w.MSF1->columnWidth(1));
    EXPECT_FALSE(w.MSF1->wordWrap());
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST_F(LogWindowTest, DeleteRemovesTheOldestWhateverRowIsSelected)
{
    fill();
    Frmlog w;
    w.MSF1->selectRow(2);
    w.Command1->click();
    EXPECT_EQ(gridFolders(w), QStringList({"/second", "/third"}));
    // Column widths survive the re-read.
    EXPECT_EQ(w.MSF1->columnWidth(0), tw(3000));
    w.MSF1->selectRow(1);
    w.Command1->click();
    EXPECT_EQ(gridFolders(w), QStringList({"/third"}));
    w.Command1->click();
    EXPECT_TRUE(gridFolders(w).isEmpty());
    EXPECT_TRUE(scripted().messages().isEmpty());  // no confirmation, no message
    w.Command1->click();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::Information);
    EXPECT_TRUE(tableRows(db, QStringLiteral("log")).empty());
    EXPECT_EQ(tableRows(db, QStringLiteral("fileInf")).size(), 2u);
}

TEST_F(LogWindowTest, ClearTwiceClearsThenSaysThereIsNothing)
{
    fill();
    Frmlog w;
    w.Command2->click();
    EXPECT_EQ(scripted().messages(), QStringList({"已清空日志信息"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::None);
    EXPECT_EQ(w.MSF1->model()->rowCount(), 0);
    EXPECT_EQ(w.MSF1->model()->columnCount(), 2);
    w.Command2->click();
    EXPECT_EQ(scripted().messages(), QStringList({"已清空日志信息", "没有记录!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[1].icon, MsgIcon::Information);
    EXPECT_TRUE(tableRows(db, QStringLiteral("log")).empty());
    EXPECT_EQ(tableRows(db, QStringLiteral("fileInf")).size(), 2u);
}

TEST_F(LogWindowTest, EmptyLogAndClosing)
{
    Frmlog w;  // a fresh installation: the database is made
    EXPECT_TRUE(w.Data2->eof());
    w.Command2->click();
    w.Command1->click();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录!", "没有记录!"}));
    w.show();
    ASSERT_TRUE(w.isVisible());
    w.Command3->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(LogWindowTest, DatabaseWithoutLogIsReportedAndLeftAlone)
{
    ASSERT_TRUE(execOn(db, {"CREATE TABLE fileInf (FileName, FileType, filesize, LastModified, ShortName)"}));
    const QByteArray before = readBytes(db);
    {
        Frmlog w;
        ASSERT_EQ(scripted().messages().size(), 1);
        EXPECT_TRUE(scripted().messages()[0].contains(db));
        EXPECT_TRUE(scripted().messages()[0].contains(QStringLiteral("log")));
        EXPECT_FALSE(w.Command1->isEnabled());
        EXPECT_FALSE(w.Command2->isEnabled());
        EXPECT_TRUE(w.Command3->isEnabled());
        w.Command1_Click();
        w.Command2_Click();
        EXPECT_EQ(scripted().messages().size(), 3);
    }
    EXPECT_EQ(readBytes(db), before);
}
