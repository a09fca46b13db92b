#include "app/commandline.h"
#include "app/mdiform1.h"
#include "gui/documents/dwgthumbnail.h"
#include "gui/documents/frmviewdwg.h"

#include "support/tempdir.h"

#include <QDir>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::InFolder;
using kestrune::test::TempDir;

namespace {

const QString kDrawings = QStringLiteral(KESTRUNE_TEST_DATA "/dwg");

FrmViewdwg* viewerOf(const MDIForm1& w)
{
    return qobject_cast<FrmViewdwg*>(w.toolWindow(QStringLiteral("menuviewdwg")));
}

}  // namespace

TEST(CommandLine, ADrawingOpensInTheViewerInFrontOfTheMainWindow)
{
    MDIForm1 w;
    w.show();
    const QString drawing = kDrawings + QStringLiteral("/2000_Line.dwg");
    openFromCommandLine(w, {drawing});

    FrmViewdwg* viewer = viewerOf(w);
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(viewer->parentWidget(), &w);  // owned: stays in front of the main window
    EXPECT_EQ(viewer->DrawingPath(), drawing);
    EXPECT_EQ(viewer->Text1->text(), drawing);
    EXPECT_EQ(viewer->DwgThumbnail1->DwgFileName(), drawing);
    EXPECT_FALSE(viewer->DwgThumbnail1->picture().isNull());

    // As if opened there: the arrows step through the drawing's folder.
    EXPECT_EQ(viewer->folderSteps().folder(), kDrawings);
    viewer->Picture5_Click();
    viewer->Picture5_Click();
    EXPECT_EQ(viewer->DwgThumbnail1->DwgFileName(), kDrawings + QStringLiteral("/2000_PolyLine2D.dwg"));
}

TEST(CommandLine, ARelativePathIsTakenFromTheWorkingFolder)
{
    InFolder here(kDrawings);
    MDIForm1 w;
    w.show();
    openFromCommandLine(w, {QStringLiteral("2013_Arc.dwg")});
    FrmViewdwg* viewer = viewerOf(w);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->DwgThumbnail1->DwgFileName(), kDrawings + QStringLiteral("/2013_Arc.dwg"));
    EXPECT_FALSE(viewer->DwgThumbnail1->picture().isNull());
}

TEST(CommandLine, AMissingFileOrOneThatIsNoDrawingIsExplainedInTheViewer)
{
    TempDir dir;
    const QString text = dir.write(QStringLiteral("notes.txt"), "just some text\n");
    for (const QString& file : {dir.file(QStringLiteral("gone.dwg")), text}) {
        MDIForm1 w;
        w.show();
        openFromCommandLine(w, {file});
        FrmViewdwg* viewer = viewerOf(w);
        ASSERT_NE(viewer, nullptr) << file.toStdString();
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->DwgThumbnail1->DwgFileName(), file);
        EXPECT_TRUE(viewer->DwgThumbnail1->picture().isNull());
        EXPECT_FALSE(viewer->DwgThumbnail1->reason().isEmpty()) << file.toStdString();
    }
}

TEST(CommandLine, NoFileOpensNoWindow)
{
    MDIForm1 w;
    w.show();
    openFromCommandLine(w, {});
    EXPECT_EQ(viewerOf(w), nullptr);
}
