#include "support/recordtest.h"

#include "gui/records/frmlog.h"
#include "gui/records/frmrec.h"
#include "gui/common/batchprogress.h"
#include "gui/common/formutil.h"
#include "core/fs/programfolder.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <mutex>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// A program folder of its own with db1.mdb in it.
struct RecorderTest : ::testing::Test {
    TempDir dir;
    QString prog = dir.mkdir(QStringLiteral("prog"));
    QString db = dir.file(QStringLiteral("prog/db1.mdb"));

    void SetUp() override { setProgramFolder(prog); }

    QString makeFolder(const QString& name, const QStringList& files)
    {
        for (const QString& f : files)
            dir.write(name + QLatin1Char('/') + f, "data");
        return dir.mkdir(name);
    }
    size_t files() const { return tableRows(db, QStringLiteral("fileInf")).size(); }
    std::vector<QStringList> logRows() const { return tableRows(db, QStringLiteral("log")); }
};

}  // namespace

TEST_F(RecorderTest, OpensWithItsControlsAtTheirDesignContents)
{
    frmrec w;
    EXPECT_EQ(w.windowTitle(), "文件信息批量记录工具");
    EXPECT_EQ(w.Command1->text(), "选择一个目录");
    EXPECT_EQ(w.Command2->text(), "当前目录");
    EXPECT_EQ(w.Command3->text(), "清空记录");
    EXPECT_EQ(w.Command4->text(), "日 志");
    EXPECT_EQ(w.Command5->text(), "记录");
    EXPECT_EQ(w.Label3->text(), "请输入文件大小");
    EXPECT_EQ(w.Label1->text(), "查询");
    EXPECT_EQ(w.Label2->text(), "差值");
    EXPECT_EQ(w.Text4->text(), "");
    EXPECT_EQ(w.Text1->text(), "2");
    EXPECT_EQ(w.Text3->text(), "1");
    ASSERT_EQ(w.Combo1->count(), 3);
    EXPECT_EQ(w.Combo1->itemText(0), "MB");
    EXPECT_EQ(w.Combo1->itemText(1), "KB");
    EXPECT_EQ(w.Combo1->itemText(2), "Byte");
    EXPECT_EQ(w.Combo1->currentIndex(), 0);
    EXPECT_FALSE(w.Combo1->isEditable());
    EXPECT_EQ(w.Command4->geometry(), twRect(4920, 120, 1335, 375));
    EXPECT_EQ(w.Text4->geometry(), twRect(120, 720, 4695, 375));
    EXPECT_EQ(w.Text1->geometry(), twRect(1560, 1432, 615, 270));
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("Command5")), w.Command5);
    EXPECT_TRUE(w.Text2->isReadOnly());
    EXPECT_EQ(w.MSF1->editTriggers(), QAbstractItemView::NoEditTriggers);
    // A fresh installation: the database is made and the grid shows the
    // empty log under its field names.
    EXPECT_TRUE(QFile::exists(db));
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_TRUE(w.Command1->isEnabled());
    EXPECT_EQ(w.MSF1->model()->rowCount(), 0);
    EXPECT_EQ(w.MSF1->model()->headerData(0, Qt::Horizontal).toString(), "FolderPath");
    EXPECT_EQ(w.MSF1->model()->headerData(1, Qt::Horizontal).toString(), "RecordTime");
}

TEST_F(RecorderTest, PickedFolderIsRecordedWithCutNamesAndLoggedAfterTheMessage)
{
    const QString sixty = QString(60, QLatin1Char('n'));
    const QString folder = makeFolder(QStringLiteral("pick"), {QStringLiteral("a.txt"), QStringLiteral("b.txt"), sixty});
    frmrec w;
    scripted().folders.push_back(folder);
    size_t logAtMessage = 99;
    QDateTime shownAt;
    scripted().onMessage = [&](const QString&) {
        logAtMessage = logRows().size();
        shownAt = QDateTime::currentDateTime();
    };
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(scripted().of(Interaction::Folder).size(), 1u);
    EXPECT_EQ(scripted().of(Interaction::Folder)[0].text, "请选择要记录文件信息的文件夹：");
    EXPECT_EQ(scripted().of(Interaction::Folder)[0].owner, &w);
    ASSERT_EQ(scripted().messages(), QStringList({"所选目录文件信息记录完毕!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::None);
    EXPECT_EQ(logAtMessage, 0u);
    const auto rows = tableRows(db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][0], sixty.left(50));
    const auto log = logRows();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], folder);
    const QDateTime logged = QDateTime::fromString(log[0][1], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_GE(logged.secsTo(QDateTime::currentDateTime()), 0);
    EXPECT_GE(shownAt.secsTo(logged), 0);
    // The grid is not re-read.
    EXPECT_EQ(w.MSF1->model()->rowCount(), 0);

    // Twice doubles records and log entries.
    scripted().folders.push_back(folder);
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(files(), 6u);
    EXPECT_EQ(logRows().size(), 2u);
}

TEST_F(RecorderTest, CancelledPickDoesNothing)
{
    makeFolder(QStringLiteral("pick"), {QStringLiteral("a.txt")});
    frmrec w;
    scripted().folders.push_back(std::nullopt);
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(files(), 0u);
    EXPECT_TRUE(logRows().empty());
}

TEST_F(RecorderTest, CurrentFolderIsTheProgramFolderWithWholeNames)
{
    const QString sixty = QString(60, QLatin1Char('p'));
    dir.write(QStringLiteral("prog/") + sixty, "x");
    dir.write(QStringLiteral("elsewhere/other.txt"), "x");
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.file(QStringLiteral("elsewhere")));
    frmrec w;
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    QDir::setCurrent(saved);
    EXPECT_EQ(scripted().messages(), QStringList({"当前目录文件信息记录完毕!"}));
    const auto rows = tableRows(db, QStringLiteral("fileInf"));
    QStringList names;
    for (const auto& r : rows)
        names << r[0];
    EXPECT_TRUE(names.contains(sixty));
    EXPECT_TRUE(names.contains(QStringLiteral("db1.mdb")));
    EXPECT_FALSE(names.contains(QStringLiteral("other.txt")));
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0][0], prog);
}

TEST_F(RecorderTest, TypedPathIsRecordedAsTypedOrRefused)
{
    const QString sixty = QString(60, QLatin1Char('t'));
    const QString folder = makeFolder(QStringLiteral("typed"), {sixty});
    dir.write(QStringLiteral("typed.bin"), "x");
    makeFolder(QStringLiteral("subsonly/inner"), {QStringLiteral("deep.txt")});
    frmrec w;

    // Empty: refused.
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList({"没有输入要记录路径!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::None);

    // A blank is not empty, names no folder: refused as such, nothing stored.
    // So are a missing folder and a file.
    for (const QString& bad : {QStringLiteral(" "), dir.file(QStringLiteral("nosuch")),
                               dir.file(QStringLiteral("typed.bin"))}) {
        scripted().clear();
        w.Text4->setText(bad);
        w.Command5->click();
        ASSERT_TRUE(finishBatches());
        ASSERT_EQ(scripted().messages(), QStringList({"指定的目录不存在!"})) << bad.toStdString();
        EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::Information);
    }
    EXPECT_EQ(files(), 0u);
    EXPECT_TRUE(logRows().empty());

    // Subfolders only: silence, nothing stored, no log.
    scripted().clear();
    w.Text4->setText(dir.file(QStringLiteral("subsonly")));
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(files(), 0u);
    EXPECT_TRUE(logRows().empty());

    // The text is used unchanged, also in the log.
    const QString typed = folder + QStringLiteral("/");
    w.Text4->setText(typed);
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList({"该目录文件信息记录完毕!"}));
    ASSERT_EQ(files(), 1u);
    EXPECT_EQ(tableRows(db, QStringLiteral("fileInf"))[0][0], sixty);  // the whole name
    ASSERT_EQ(logRows().size(), 1u);
    EXPECT_EQ(logRows()[0][0], typed);
}

TEST_F(RecorderTest, StoreFailureIsReportedInsteadOfCompletion)
{
    QStringList many;
    for (int i = 0; i < 400; ++i)
        many << QStringLiteral("a-rather-long-file-name-to-fill-the-pages-%1.txt").arg(i);
    const QString folder = makeFolder(QStringLiteral("big"), many);
    frmrec w;
    {
        // The store fails halfway through the run with an error that is not
        // the record's own (the run writes through a connection of its own,
        // so the failure is built into the database).
        QSqlQuery q(w.store()->database());
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON fileInf "
                                          "WHEN (SELECT count(*) FROM fileInf) >= 200 "
                                          "BEGIN SELECT abs(-9223372036854775807 - 1); END")));
    }
    w.Text4->setText(folder);
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_NE(scripted().messages()[0], "该目录文件信息记录完毕!");
    EXPECT_TRUE(scripted().messages()[0].contains(QStringLiteral("没有保存任何记录")));
    EXPECT_EQ(files(), 0u);
    EXPECT_TRUE(logRows().empty());
}

TEST_F(RecorderTest, ClearingFileRecordsKeepsTheLogAndRereadsTheGrid)
{
    const QString folder = makeFolder(QStringLiteral("c"), {QStringLiteral("1"), QStringLiteral("2")});
    frmrec w;
    w.Command3->click();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::Information);

    w.Text4->setText(folder);
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.MSF1->model()->rowCount(), 0);
    scripted().clear();
    w.Command3->click();
    EXPECT_EQ(scripted().messages(), QStringList({"已清空所有已记录文件信息"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::None);
    EXPECT_EQ(files(), 0u);
    EXPECT_EQ(logRows().size(), 2u);
    ASSERT_EQ(w.MSF1->model()->rowCount(), 2);
    EXPECT_EQ(w.MSF1->model()->index(0, 0).data().toString(), folder);
    // The folder and the time whole, neither cut.
    const int margin = w.MSF1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w.MSF1) + 1;
    for (int column : {0, 1}) {
        const QString text = w.MSF1->model()->index(0, column).data().toString();
        EXPECT_LE(w.MSF1->fontMetrics().horizontalAdvance(text) + 2 * margin, w.MSF1->columnWidth(column)) << column;
    }

    // Nothing left: the message again, and recording still works after it.
    scripted().clear();
    w.Command3->click();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录!"}));
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(files(), 2u);
    scripted().clear();
    w.Command3->click();
    EXPECT_EQ(scripted().messages(), QStringList({"已清空所有已记录文件信息"}));
    EXPECT_EQ(files(), 0u);
}

TEST_F(RecorderTest, SizeQueryListsMatchesInTableOrder)
{
    dir.write(QStringLiteral("q/small.txt"), QByteArray(100, 'x'));
    dir.write(QStringLiteral("q/kilo.txt"), QByteArray(2048, 'x'));
    dir.write(QStringLiteral("q/kilo2.txt"), QByteArray(1024, 'x'));
    frmrec w;
    w.Text4->setText(dir.file(QStringLiteral("q")));
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    scripted().clear();

    // Default: 2 MB give or take 1 MB: none.
    emit w.Label1->clicked();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录!"}));
    EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::None);
    EXPECT_TRUE(w.Text2->toPlainText().isEmpty());

    scripted().clear();
    w.Combo1->setCurrentIndex(1);  // KB: 1..3 KB
    emit w.Label1->clicked();
    EXPECT_TRUE(scripted().messages().isEmpty());
    EXPECT_EQ(w.Text2->toPlainText(), "kilo.txt\nkilo2.txt\n");  // listing order
    EXPECT_EQ(w.Text2->textCursor().position(), int(w.Text2->toPlainText().size()));

    w.Combo1->setCurrentIndex(2);  // Byte
    w.Text1->setText(QStringLiteral("150abc"));
    w.Text3->setText(QStringLiteral("50"));
    emit w.Label1->clicked();
    EXPECT_EQ(w.Text2->toPlainText(), "small.txt\n");

    // A size that overflows: the query fails.
    scripted().clear();
    w.Text1->setText(QStringLiteral("1e400"));
    emit w.Label1->clicked();
    EXPECT_EQ(scripted().messages(), QStringList({"没有记录"}));
    EXPECT_TRUE(w.Text2->toPlainText().isEmpty());
    // Changing the unit or the inputs changes nothing else.
    EXPECT_EQ(files(), 3u);
    EXPECT_EQ(w.Text4->text(), dir.file(QStringLiteral("q")));
}

TEST_F(RecorderTest, SizeTextIsSelectedWholeOnFocus)
{
    frmrec w;
    w.Text1->setText(QStringLiteral("123"));
    w.Text1->setCursorPosition(2);
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(w.Text1, &in);
    EXPECT_EQ(w.Text1->selectedText(), "123");
    EXPECT_EQ(w.Text1->cursorPosition(), 0);
    w.Text3->setText(QStringLiteral("45"));
    w.Text3->setCursorPosition(1);
    QApplication::sendEvent(w.Text3, &in);
    EXPECT_EQ(w.Text3->selectedText(), "");
}

TEST_F(RecorderTest, UnreadableDatabaseIsReportedDisabledAndLeftAlone)
{
    dir.write(QStringLiteral("prog/db1.mdb"), accessLikeBytes());
    const QByteArray before = readBytes(db);
    const QString folder = makeFolder(QStringLiteral("f"), {QStringLiteral("a.txt")});
    {
        frmrec w;
        ASSERT_EQ(scripted().messages().size(), 1);
        EXPECT_TRUE(scripted().messages()[0].contains(db));
        EXPECT_EQ(scripted().of(Interaction::Message)[0].icon, MsgIcon::Information);
        EXPECT_FALSE(w.Command1->isEnabled());
        EXPECT_FALSE(w.Command2->isEnabled());
        EXPECT_FALSE(w.Command3->isEnabled());
        EXPECT_FALSE(w.Command4->isEnabled());
        EXPECT_FALSE(w.Command5->isEnabled());
        EXPECT_FALSE(w.Label1->isEnabled());
        // Even when the handlers run, nothing is written.
        scripted().clear();
        w.Text4->setText(folder);
        w.Command5_Click();
        w.Command2_Click();
        w.Command3_Click();
        w.QueryBySize();
        for (const QString& m : scripted().messages())
            EXPECT_FALSE(m.contains(QStringLiteral("完毕"))) << m.toStdString();
    }
    EXPECT_EQ(readBytes(db), before);
    EXPECT_EQ(folderEntries(prog), QStringList({"db1.mdb"}));
}

TEST_F(RecorderTest, LogWindowOpensModallyAndItsDeletionsShowHereOnlyAfterReRead)
{
    const QString folder = makeFolder(QStringLiteral("l"), {QStringLiteral("a")});
    frmrec w;
    w.Text4->setText(folder);
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    w.Command3->click();  // re-reads the grid: two log rows
    ASSERT_EQ(w.MSF1->model()->rowCount(), 2);

    bool sawModal = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* log = qobject_cast<Frmlog*>(top); log && log->isVisible()) {
                sawModal = log->isModal() || log->windowModality() != Qt::NonModal;
                log->Command1->click();  // deletes the oldest
                ASSERT_TRUE(finishBatches());
                log->Command3->click();  // closes
            }
        }
    });
    w.Command4->click();
    EXPECT_TRUE(sawModal);
    EXPECT_EQ(logRows().size(), 1u);
    EXPECT_EQ(w.MSF1->model()->rowCount(), 2);  // not re-read here
}

TEST_F(RecorderTest, CaptionsFitTheirControls)
{
    frmrec w;
    Frmlog log;
    for (QWidget* window : {static_cast<QWidget*>(&w), static_cast<QWidget*>(&log)}) {
        for (QPushButton* b : window->findChildren<QPushButton*>())
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << b->text().toStdString();
        for (QLabel* l : window->findChildren<QLabel*>()) {
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
            EXPECT_LE(l->fontMetrics().height(), l->height() + 2) << l->text().toStdString();
        }
        for (QComboBox* c : window->findChildren<QComboBox*>()) {
            QStyleOptionComboBox option;
            option.initFrom(c);
            const QRect field =
                c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c);
            for (int i = 0; i < c->count(); ++i)
                EXPECT_LE(c->fontMetrics().horizontalAdvance(c->itemText(i)), field.width())
                    << c->itemText(i).toStdString();
        }
        for (QWidget* c : window->findChildren<QWidget*>()) {
            if (c->parentWidget() != window)
                continue;
            // Inside the client area (the log grid's table width is one pixel wider).
            EXPECT_LE(c->geometry().right(), window->width()) << c->objectName().toStdString();
            EXPECT_LE(c->geometry().bottom(), window->height()) << c->objectName().toStdString();
        }
        const QString out = qEnvironmentVariable("KESTRUNE_RENDER_DIR");
        if (!out.isEmpty())
            window->grab().save(out + QLatin1Char('/') + window->objectName() + QStringLiteral(".png"));
    }
}

TEST_F(RecorderTest, CancelledRunKeepsNothingAndWritesNoLogEntry)
{
    const QString folder =
        makeFolder(QStringLiteral("six"), {"f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"});
    frmrec w;
    w.Text4->setText(folder);
    w.Command5->click();  // one whole run first, so there is something to keep
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(files(), 6u);
    ASSERT_EQ(logRows().size(), 1u);
    const QByteArray before = readBytes(db);

    // The hook is asked on the batch's thread.
    std::mutex askedMutex;
    QStringList asked;
    BatchProgress::setTestHook([&](const QString& doing, int done) {
        const std::lock_guard<std::mutex> lock(askedMutex);
        asked << doing;
        EXPECT_EQ(done, asked.size() - 1);
        return doing.endsWith(QStringLiteral("/f3.txt"));
    });
    scripted().clear();
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    BatchProgress::setTestHook({});

    EXPECT_EQ(asked, QStringList({folder + "/f0.txt", folder + "/f1.txt", folder + "/f2.txt", folder + "/f3.txt"}));
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_EQ(scripted().messages()[0], BatchProgress::cancelledText(3) + QStringLiteral("\n本次没有保存任何记录。"));
    EXPECT_EQ(readBytes(db), before);
    EXPECT_EQ(files(), 6u);
    EXPECT_EQ(logRows().size(), 1u);

    // The window goes on as before: the next run is stored whole.
    scripted().clear();
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages(), QStringList({"该目录文件信息记录完毕!"}));
    EXPECT_EQ(files(), 12u);
    EXPECT_EQ(logRows().size(), 2u);
}
