#include "gui/documents/dwgthumbnail.h"

#include "support/dwgtestfiles.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <functional>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

QString sample(const char* name)
{
    return QStringLiteral(KESTRUNE_TEST_DATA "/dwg/") + QLatin1String(name);
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

}  // namespace

TEST(DwgThumbnail, FileNameRoundTripAndEmpty)
{
    DwgThumbnail control;
    control.resize(512, 204);
    EXPECT_EQ(control.DwgFileName(), QString());
    EXPECT_TRUE(control.picture().isNull());

    control.setDwgFileName(sample("2000_Line.dwg"));
    EXPECT_EQ(control.DwgFileName(), sample("2000_Line.dwg"));
    EXPECT_EQ(control.property("DwgFileName").toString(), sample("2000_Line.dwg"));
    EXPECT_EQ(control.picture(), readDwgPreview(sample("2000_Line.dwg")).image);
    // Twice the picture's size in both directions: nearest repeats each pixel.
    control.setStretchBltMode(StretchNearest);
    const QImage shown = control.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(512, 204));
    for (int y = 0; y < 102; y += 7)
        for (int x = 0; x < 256; x += 5)
            ASSERT_EQ(shown.pixel(2 * x + 1, 2 * y + 1), control.picture().pixel(x, y)) << x << "," << y;

    control.setDwgFileName(QString());
    EXPECT_EQ(control.DwgFileName(), QString());
    EXPECT_TRUE(control.picture().isNull());
    EXPECT_TRUE(control.reason().isEmpty());
    const QImage blank = control.grab().toImage();
    EXPECT_EQ(countPixels(blank, [](QRgb c) { return c != qRgb(255, 255, 255); }), 0);
}

TEST(DwgThumbnail, KeepsProportionsAndCentres)
{
    DwgThumbnail control;
    control.resize(300, 300);
    control.setDwgFileName(sample("2013_Arc.dwg"));
    const QRect r = control.pictureRect();
    EXPECT_EQ(r.width(), 300);
    EXPECT_NEAR(r.height(), 300 * 102 / 256, 1);
    EXPECT_NEAR(r.top(), (300 - r.height()) / 2, 1);
    EXPECT_EQ(control.scaledPicture().size(), r.size());
    const QImage shown = control.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(150, 5), qRgb(255, 255, 255));  // above the picture
    EXPECT_EQ(shown.pixel(2, 150), control.scaledPicture().pixel(2, 150 - r.top()));
}

TEST(DwgThumbnail, NoPictureShowsTheReasonCentred)
{
    DwgThumbnail control;
    control.resize(400, 200);
    control.setDwgFileName(sample("2018_Line.dwg"));
    EXPECT_EQ(control.DwgFileName(), sample("2018_Line.dwg"));
    EXPECT_TRUE(control.picture().isNull());
    EXPECT_EQ(control.reason(), QStringLiteral("该文件没有预览图像"));
    const QImage shown = control.grab().toImage();
    const auto dark = [](QRgb c) { return qGray(c) < 160; };
    EXPECT_GT(countPixels(shown.copy(100, 80, 200, 40), dark), 20);
    EXPECT_EQ(countPixels(shown.copy(0, 0, 400, 60), dark), 0);
    EXPECT_EQ(countPixels(shown.copy(0, 0, 60, 200), dark), 0);

    TempDir dir;
    control.setDwgFileName(dir.write("text.dwg", "not a drawing at all"));
    EXPECT_EQ(control.status(), DwgPreviewStatus::NotDrawing);
    control.setDwgFileName(dir.file("missing.dwg"));
    EXPECT_EQ(control.status(), DwgPreviewStatus::FileUnreadable);
    EXPECT_EQ(control.DwgFileName(), dir.file("missing.dwg"));
}

TEST(DwgThumbnail, StretchModeShrinksACheckerboard)
{
    // An 8x8 checkerboard picture (1 bit per pixel: 0x55 / 0xAA rows) shown in 2x2.
    QList<QByteArray> rows;
    for (int y = 0; y < 8; ++y)
        rows << QByteArray::fromHex(y % 2 ? "AA000000" : "55000000");
    TempDir dir;
    const QString path = dir.write("board.dwg", drawing({{2, dib(1, 8, 8, {Qt::black, Qt::white}, 0, rows)}}));
    DwgThumbnail control;
    control.resize(2, 2);
    control.setDwgFileName(path);
    ASSERT_EQ(control.picture().size(), QSize(8, 8));
    EXPECT_EQ(control.StretchBltMode(), StretchLight);

    const auto all = [&](QRgb colour) {
        const QImage image = control.scaledPicture();
        return image.size() == QSize(2, 2) && countPixels(image, [&](QRgb c) { return c == colour; }) == 4;
    };
    control.setStretchBltMode(StretchDark);
    EXPECT_TRUE(all(qRgb(0, 0, 0)));
    control.setStretchBltMode(StretchLight);
    EXPECT_TRUE(all(qRgb(255, 255, 255)));
    control.setStretchBltMode(StretchSmooth);
    EXPECT_NEAR(qGray(control.scaledPicture().pixel(1, 1)), 128, 1);
    control.setProperty("StretchBltMode", 3);
    EXPECT_EQ(control.StretchBltMode(), 3);
    for (int wrong : {0, 5, -1}) {
        control.setStretchBltMode(wrong);
        EXPECT_EQ(control.StretchBltMode(), 3);
    }
}

TEST(DwgThumbnail, DoubleClickRaisesTheSignal)
{
    DwgThumbnail control;
    control.resize(50, 50);
    int raised = 0;
    QObject::connect(&control, &DwgThumbnail::doubleClicked, [&] { ++raised; });
    const auto doubleClick = [&](Qt::MouseButton button) {
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(10, 10), control.mapToGlobal(QPointF(10, 10)), button,
                          button, Qt::NoModifier);
        QApplication::sendEvent(&control, &event);
    };
    doubleClick(Qt::LeftButton);
    EXPECT_EQ(raised, 1);
    doubleClick(Qt::RightButton);
    EXPECT_EQ(raised, 1);
}

TEST(DwgThumbnail, FarEnlargedControlScalesOnlyWhatIsVisible)
{
    // Enlarged by the viewer's zoom, the control can be far bigger than its
    // container; painting must not scale (or allocate) the whole picture.
    QWidget container;
    container.resize(200, 100);
    auto* control = new DwgThumbnail(&container);
    control->setGeometry(-30000, -12000, 100000, 40000);
    control->setStretchBltMode(StretchSmooth);
    control->setDwgFileName(sample("2013_Arc.dwg"));
    container.show();
    QElapsedTimer timer;
    timer.start();
    const QImage shown = container.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(timer.elapsed(), 3000);
    // The view lies inside the picture (256x102 scaled by 390.625 to 100000x39843).
    const QRect target = control->pictureRect();
    ASSERT_TRUE(target.contains(QRect(30000, 12000, 200, 100)));
    const QImage expected = stretchImage(control->picture(), target.size(), StretchSmooth,
                                         QRect(30000 - target.left(), 12000 - target.top(), 200, 100));
    ASSERT_EQ(expected.size(), QSize(200, 100));
    EXPECT_EQ(shown, expected.convertToFormat(QImage::Format_RGB32));
}
