#include "gui/documents/dwgthumbnail.h"
#include "gui/documents/form2.h"
#include "gui/documents/frmviewdwg.h"
#include "gui/common/formutil.h"
#include "app/mdiform1.h"
#include "support/rawnames.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::readBytes;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QString sample(const char* name)
{
    return QStringLiteral(KESTRUNE_TEST_DATA "/dwg/") + QLatin1String(name);
}

// The folder a.dwg, b.txt, c.dwg, d.txt; the drawings are real ones.
void writeFolder(TempDir& dir)
{
    dir.write("a.dwg", readBytes(sample("2000_Line.dwg")));
    dir.write("b.txt", "text");
    dir.write("c.dwg", readBytes(sample("2013_Arc.dwg")));
    dir.write("d.txt", "text");
}

void open(FrmViewdwg& w, const QString& path)
{
    w.Text1->setText(path);
    w.Command1->click();
}

void click(QWidget* widget, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void key(QWidget* widget, int k, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void closePreview()
{
    if (Form2* f = Form2::instance()) {
        f->close();
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace

TEST(DwgViewer, OpensFromTheMenuWithItsControlsInPlace)
{
    MDIForm1 main;
    main.setGeometry(100, 80, 900, 700);
    ASSERT_TRUE(main.menuviewdwg->isEnabled());
    main.menuviewdwg_Click();
    auto* w = qobject_cast<FrmViewdwg*>(main.toolWindow(QStringLiteral("menuviewdwg")));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->parentWidget(), &main);  // owned
    EXPECT_EQ(w->windowTitle(), QStringLiteral("DWG文件查看器"));
    EXPECT_EQ(w->size(), QSize(707, 563));
    EXPECT_LE((w->frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2);

    EXPECT_EQ(w->DwgThumbnail1->parentWidget(), w->Picture3);
    EXPECT_EQ(w->HScroll1->parentWidget(), w->Picture3);
    EXPECT_EQ(w->VScroll1->parentWidget(), w->Picture3);
    EXPECT_EQ(w->Picture3->geometry(), twRect(0, 0, 10575, 6855));
    EXPECT_EQ(w->DwgThumbnail1->geometry(), twRect(0, 0, 10335, 6615));
    EXPECT_EQ(w->HScroll1->geometry(), twRect(0, 6600, 10575, 255));
    EXPECT_EQ(w->VScroll1->geometry(), twRect(10320, 0, 255, 6615));
    EXPECT_FALSE(w->HScroll1->isVisible());
    EXPECT_FALSE(w->VScroll1->isVisible());
    for (QLabel* b : {w->Image1, w->Picture1, w->Picture2, w->Picture4, w->Picture5, w->Image2})
        EXPECT_FALSE(b->pixmap().isNull()) << b->objectName().toStdString();
    EXPECT_EQ(w->Image1->toolTip(), QStringLiteral("浏览"));
    EXPECT_EQ(w->Image2->toolTip(), QStringLiteral("浏览"));
    EXPECT_EQ(w->Label2->text(), QStringLiteral("另存为BMP文件"));
    EXPECT_TRUE(w->Label2->font().underline());
    EXPECT_EQ(w->Label2->font().pointSizeF(), 10.5);
    EXPECT_EQ(w->Label2->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("2"));
    EXPECT_EQ(w->Combo1->count(), 4);
    EXPECT_EQ(w->DwgThumbnail1->StretchBltMode(), 2);

    // Nothing moves on resize.
    w->resize(900, 700);
    EXPECT_EQ(w->Command4->geometry().topLeft(), twRect(8880, 7794, 0, 0).topLeft());
    EXPECT_EQ(w->Picture3->size(), twRect(0, 0, 10575, 6855).size());
    w->close();
}

TEST(DwgViewer, OpenZoomScrollAndOpenAgain)
{
    FrmViewdwg w;
    w.Command1->click();
    EXPECT_EQ(scripted().messages(), QStringList({"请先输入一个有效的文件路径!"}));
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::Information);

    open(w, QStringLiteral("  ") + sample("2000_Line.dwg") + QStringLiteral(" "));
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), sample("2000_Line.dwg"));
    EXPECT_EQ(w.DrawingPath(), sample("2000_Line.dwg"));
    EXPECT_FALSE(w.DwgThumbnail1->picture().isNull());
    EXPECT_EQ(w.folderSteps().FolderNames.size(), 6);  // five samples and entry 0
    EXPECT_EQ(w.folderSteps().FolderPos, 0);

    w.Picture1_Click();
    EXPECT_FALSE(w.HScroll1->isHidden());
    EXPECT_FALSE(w.VScroll1->isHidden());
    w.Picture1_Click();
    w.Picture1_Click();
    EXPECT_NEAR(w.geometry().width, 13755.9, 0.05);
    EXPECT_EQ(w.DwgThumbnail1->size(), QSize(917, 587));
    w.HScroll1->setValue(w.HScroll1->maximum());
    EXPECT_EQ(w.DwgThumbnail1->x(), -917);
    w.VScroll1->setValue(w.VScroll1->maximum() / 2);
    EXPECT_EQ(w.DwgThumbnail1->y(), qRound(-w.geometry().height / 2 / 15));

    // Opening again returns to the home place; the bars stay where they are.
    open(w, sample("2013_Arc.dwg"));
    EXPECT_EQ(w.DwgThumbnail1->geometry(), twRect(0, 0, 10335, 6615));
    EXPECT_FALSE(w.HScroll1->isHidden());
    EXPECT_EQ(w.HScroll1->value(), w.HScroll1->maximum());

    w.Picture2_Click();
    EXPECT_TRUE(w.HScroll1->isHidden());
    EXPECT_TRUE(w.VScroll1->isHidden());
    EXPECT_EQ(w.DwgThumbnail1->size(), QSize(620, 397));

    // Closing forgets the folder.
    w.close();
    EXPECT_TRUE(w.folderSteps().FolderNames.isEmpty());
    EXPECT_TRUE(w.DrawingPath().isEmpty());
}

TEST(DwgViewer, NextAndPreviousStepThroughDrawingsOnly)
{
    TempDir dir;
    writeFolder(dir);
    FrmViewdwg w;
    w.Picture5_Click();  // nothing opened: nothing happens
    w.Picture4_Click();
    EXPECT_TRUE(w.DwgThumbnail1->DwgFileName().isEmpty());

    open(w, dir.file("d.txt"));
    w.Picture1_Click();
    const QRect zoomed = w.DwgThumbnail1->geometry();
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        w.Picture5->clicked();
        seen << QFileInfo(w.DwgThumbnail1->DwgFileName()).fileName();
    }
    EXPECT_EQ(seen, QStringList({"a.dwg", "c.dwg", "a.dwg", "c.dwg"}));
    EXPECT_EQ(w.Text1->text(), dir.file("d.txt"));  // neither the path typed
    EXPECT_EQ(w.DwgThumbnail1->geometry(), zoomed);   // nor the zoom changes
    EXPECT_FALSE(w.DwgThumbnail1->picture().isNull());

    open(w, dir.file("a.dwg"));
    w.Picture4->clicked();
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), dir.file("c.dwg"));

    // Clear, then next: the folder is still known.
    w.Command3->click();
    EXPECT_TRUE(w.DwgThumbnail1->DwgFileName().isEmpty());
    EXPECT_TRUE(w.DwgThumbnail1->picture().isNull());
    w.Picture5_Click();
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), dir.file("a.dwg"));

    // A folder with no drawing: stepping leaves what is shown.
    TempDir plain;
    plain.write("x.txt");
    open(w, plain.file("x.txt"));
    w.Picture5_Click();
    w.Picture4_Click();
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), plain.file("x.txt"));
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(DwgViewer, ChoosingFromTheListAppliesTypingDoesNot)
{
    FrmViewdwg w;
    w.show();
    QLineEdit* edit = w.Combo1->lineEdit();
    edit->setFocus();
    edit->selectAll();
    key(edit, Qt::Key_3, QStringLiteral("3"));
    EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("3"));
    key(edit, Qt::Key_Return);
    w.Text1->setFocus();  // leaving the box
    QApplication::processEvents();
    EXPECT_EQ(w.DwgThumbnail1->StretchBltMode(), 2);
    EXPECT_EQ(w.Combo1->count(), 4);  // nothing added

    // Choosing "4" from the drop-down list applies it at once.
    w.Combo1->showPopup();
    QAbstractItemView* list = w.Combo1->view();
    const QRect item = list->visualRect(w.Combo1->model()->index(3, 0));
    ASSERT_TRUE(item.isValid());
    click(list->viewport(), item.center());
    QApplication::processEvents();
    EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("4"));
    EXPECT_EQ(w.DwgThumbnail1->StretchBltMode(), 4);
    w.close();
}

TEST(DwgViewer, PreviewAndSaveRefuseWithoutAPicture)
{
    TempDir dir;
    FrmViewdwg w;
    auto refusals = [&w] {
        scripted().clear();
        w.Image2_Click();
        w.Label2_Click();
        return scripted().messages();
    };
    const QStringList both = {"没有可供预览的DWG文件!", "没有打开DWG文件,无法保存为位图!"};
    EXPECT_EQ(refusals(), both);
    EXPECT_EQ(scripted().log[0].icon, MsgIcon::Information);
    EXPECT_EQ(scripted().log[1].icon, MsgIcon::Information);

    // A name that gives no picture: the control says why; nothing to show or save.
    for (const QString& path : {dir.file("missing.dwg"), sample("r11_entities-2d.dwg")}) {
        open(w, path);
        EXPECT_FALSE(w.DwgThumbnail1->reason().isEmpty());
        EXPECT_EQ(refusals(), both) << path.toStdString();
        EXPECT_TRUE(scripted().of(Interaction::SaveFile).empty());
        w.DwgThumbnail1_DblClick();
        EXPECT_EQ(Form2::instance(), nullptr);
    }
}

TEST(DwgViewer, SavesTheControlsPictureAsABitmap)
{
    TempDir dir;
    FrmViewdwg w;
    open(w, sample("2000_Line.dwg"));
    const QImage picture = w.DwgThumbnail1->picture();
    ASSERT_FALSE(picture.isNull());

    // Cancelled: nothing written, nothing said.
    w.Label2->clicked();
    ASSERT_EQ(scripted().of(Interaction::SaveFile).size(), 1u);
    EXPECT_EQ(scripted().log[0].text, QStringLiteral("位图文件|*.bmp|所有文件|*.*"));
    EXPECT_TRUE(scripted().messages().isEmpty());

    // The save dialog asks before replacing (Qt's does); the double's
    // answer is a name the user has already agreed to replace.
    const QString target = dir.write("plan.bmp", "an older file");
    scripted().saveFiles.push_back(target);
    w.Label2->clicked();
    EXPECT_TRUE(scripted().messages().isEmpty());
    QImageReader reader(target);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage back = reader.read();
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), picture.convertToFormat(QImage::Format_RGB32));

    // A save that cannot be written says so and leaves the old file.
    const QString missing = dir.file("no/such/plan.bmp");
    scripted().saveFiles.push_back(missing);
    w.Label2_Click();
    ASSERT_EQ(scripted().messages().size(), 1);
    EXPECT_TRUE(scripted().messages()[0].startsWith(QStringLiteral("无法写入文件 ") + missing + QStringLiteral("：")));
    EXPECT_GT(scripted().messages()[0].size(), (QStringLiteral("无法写入文件 ") + missing).size() + 1);
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::Information);
}

TEST(DwgViewer, PreviewWindowIsOneCentredOnTheViewer)
{
    closePreview();
    FrmViewdwg w;
    w.setGeometry(150, 120, 707, 563);
    w.show();
    open(w, sample("2000_Line.dwg"));
    const QImage picture = w.DwgThumbnail1->picture().convertToFormat(QImage::Format_RGB32);

    // A double-click on the drawing: the picture as the window's
    // background, unscaled from the top-left corner.
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(20, 20), w.DwgThumbnail1->mapToGlobal(QPointF(20, 20)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.DwgThumbnail1, &dbl);
    Form2* preview = Form2::instance();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->parentWidget(), nullptr);
    EXPECT_FALSE(preview->isModal());
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("预览"));
    EXPECT_EQ(preview->size(), QSize(665, 491));
    EXPECT_LE((preview->frameGeometry().center() - w.frameGeometry().center()).manhattanLength(), 2);
    const QImage background = preview->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); y += 9)
        for (int x = 0; x < picture.width(); x += 13)
            ASSERT_EQ(background.pixel(x, y), picture.pixel(x, y)) << x << "," << y;

    // The preview button: the same window, not moved, its Image1 stretching
    // the picture over the window.
    preview->move(10, 10);
    const QPoint moved = preview->pos();
    open(w, sample("2013_Arc.dwg"));
    w.Image2->clicked();
    EXPECT_EQ(Form2::instance(), preview);
    EXPECT_EQ(preview->pos(), moved);
    EXPECT_EQ(preview->Image1->geometry(), twRect(0, 0, 9975, 7335));
    EXPECT_TRUE(preview->Image1->hasScaledContents());
    EXPECT_EQ(preview->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              w.DwgThumbnail1->picture().convertToFormat(QImage::Format_RGB32));

    // The preview stays when the viewer closes.
    w.Command4->click();
    EXPECT_TRUE(preview->isVisible());
    closePreview();
    EXPECT_EQ(Form2::instance(), nullptr);
}

TEST(DwgViewer, BrowseFillsThePathOnly)
{
    FrmViewdwg w;
    w.Image1->clicked();  // cancelled
    EXPECT_TRUE(w.Text1->text().isEmpty());
    scripted().openFiles.push_back(sample("2018_Line.dwg"));
    w.Image1_Click();
    EXPECT_EQ(w.Text1->text(), sample("2018_Line.dwg"));
    EXPECT_TRUE(w.DwgThumbnail1->DwgFileName().isEmpty());
    const auto dialogs = scripted().of(Interaction::OpenFile);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].text, QStringLiteral("AutoCAD文件|*.dwg|所有文件|*.*"));
}

// Drawings named in GBK (帮助.dwg, as old archives leave them) are reached by
// their bytes when stepped to and when picked in the file dialog, whose name
// the path box shows readable.
TEST(DwgViewer, DrawingsNamedInGbkAreSteppedToAndOpenedFromTheDialog)
{
    TempDir dir;
    dir.write("a.txt", "text");
    const QString gbk = kestrune::test::writeRaw(dir.path(), "\xB0\xEF\xD6\xFA.dwg", readBytes(sample("2013_Arc.dwg")));
    FrmViewdwg w;
    open(w, dir.file("a.txt"));
    w.Picture5->clicked();
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), gbk);
    EXPECT_EQ(w.DwgThumbnail1->status(), DwgPreviewStatus::Ok);
    EXPECT_EQ(w.DwgThumbnail1->picture(), readDwgPreview(sample("2013_Arc.dwg")).image);
    w.Image2_Click();
    ASSERT_NE(Form2::instance(), nullptr);
    closePreview();

    scripted().openFiles.push_back(gbk);
    w.Image1_Click();
    EXPECT_EQ(w.Text1->text(), dir.path() + QStringLiteral("/帮助.dwg"));
    w.Command3->click();
    w.Command1->click();
    EXPECT_EQ(w.DwgThumbnail1->DwgFileName(), gbk);
    EXPECT_FALSE(w.DwgThumbnail1->picture().isNull());
    EXPECT_EQ(w.folderSteps().folder(), dir.path());
    EXPECT_TRUE(scripted().messages().isEmpty());
}

// With KESTRUNE_GRAB_DIR set, leaves a picture of the window with a
// drawing open and zoomed there, to look at.
TEST(DwgViewer, LooksRightWithADrawingOpenAndZoomed)
{
    FrmViewdwg w;
    w.show();
    open(w, sample("2000_Line.dwg"));
    ASSERT_FALSE(w.DwgThumbnail1->picture().isNull());
    w.Picture1_Click();
    w.Picture1_Click();
    w.HScroll1->setValue(20);
    const QImage shot = w.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(707, 563));
    // The bars are drawn over the drawing, inside the viewport.
    EXPECT_TRUE(w.Picture3->geometry().contains(w.HScroll1->geometry().translated(w.Picture3->pos())));
    for (QWidget* c : {static_cast<QWidget*>(w.Label3), static_cast<QWidget*>(w.Label1),
                       static_cast<QWidget*>(w.Label2), static_cast<QWidget*>(w.Command4)})
        EXPECT_GE(c->width(), c->sizeHint().width()) << c->objectName().toStdString();
    const QByteArray dir = qgetenv("KESTRUNE_GRAB_DIR");
    if (!dir.isEmpty()) {
        shot.save(QString::fromLocal8Bit(dir) + QStringLiteral("/frmviewdwg.png"));
        w.Image2_Click();
        ASSERT_NE(Form2::instance(), nullptr);
        Form2::instance()->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/form2.png"));
        closePreview();
    }
    w.close();
}
