#include "gui/documents/frmviewdwg.h"

#include "gui/documents/dwgthumbnail.h"
#include "gui/documents/form2.h"
#include "core/system/appicon.h"
#include "gui/common/formutil.h"
#include "core/fs/fsnames.h"
#include "core/system/platform.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>

namespace kestrune {

namespace {

// The pictures of the picture buttons, drawn at any size.
enum class ViewerIcon { Browse, Previous, Next, Shrink, Enlarge, Preview };

QPixmap viewerIcon(ViewerIcon kind, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QColor ink(40, 70, 130);
    const QColor paper(250, 250, 245);
    switch (kind) {
    case ViewerIcon::Browse: {
        // An open folder.
        p.setPen(QPen(QColor(150, 110, 30), 1.5));
        p.setBrush(QColor(235, 190, 80));
        p.drawRect(QRectF(3, 8, 22, 18));
        p.drawRect(QRectF(3, 5, 9, 4));
        p.setBrush(QColor(250, 215, 110));
        QPainterPath flap;
        flap.moveTo(7, 13);
        flap.lineTo(29, 13);
        flap.lineTo(25, 26);
        flap.lineTo(3, 26);
        flap.closeSubpath();
        p.drawPath(flap);
        break;
    }
    case ViewerIcon::Previous:
    case ViewerIcon::Next: {
        // A solid triangle pointing the way of the step.
        QPainterPath arrow;
        if (kind == ViewerIcon::Previous) {
            arrow.moveTo(6, 16);
            arrow.lineTo(25, 4);
            arrow.lineTo(25, 28);
        } else {
            arrow.moveTo(26, 16);
            arrow.lineTo(7, 4);
            arrow.lineTo(7, 28);
        }
        arrow.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(arrow);
        break;
    }
    case ViewerIcon::Shrink:
    case ViewerIcon::Enlarge: {
        // A magnifying glass with a minus or a plus.
        p.setPen(QPen(ink, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 19), QPointF(28, 28));
        p.setPen(QPen(ink, 2.5));
        p.setBrush(paper);
        p.drawEllipse(QPointF(13, 13), 9.5, 9.5);
        p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8.5, 13), QPointF(17.5, 13));
        if (kind == ViewerIcon::Enlarge)
            p.drawLine(QPointF(13, 8.5), QPointF(13, 17.5));
        break;
    }
    case ViewerIcon::Preview: {
        // A small window holding a picture.
        p.setPen(QPen(ink, 2));
        p.setBrush(paper);
        p.drawRect(QRectF(3, 5, 26, 22));
        p.fillRect(QRectF(4, 6, 24, 4), ink);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 160, 90));
        QPainterPath hill;
        hill.moveTo(5, 25);
        hill.lineTo(13, 15);
        hill.lineTo(19, 21);
        hill.lineTo(22, 18);
        hill.lineTo(27, 25);
        hill.closeSubpath();
        p.drawPath(hill);
        p.setBrush(QColor(230, 170, 40));
        p.drawEllipse(QPointF(22, 14), 2.5, 2.5);
        break;
    }
    }
    return pixmap;
}

// A picture box or image that works as a button: its picture centred, a
// raised border for the picture boxes, a pointing hand.
void makePictureButton(ClickLabel* label, ViewerIcon icon, bool raised)
{
    if (raised) {
        label->setFrameStyle(QFrame::Panel | QFrame::Raised);
        label->setLineWidth(1);
    }
    const int side = qMin(label->width(), label->height()) - (raised ? 6 : 4);
    label->setPixmap(viewerIcon(icon, qMax(8, side)));
    label->setAlignment(Qt::AlignCenter);
    label->setCursor(Qt::PointingHandCursor);
}

}  // namespace

FrmViewdwg::FrmViewdwg(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("FrmViewdwg"));
    setWindowTitle(QStringLiteral("DWG文件查看器"));
    setWindowIcon(appIcon());
    setClientTwips(this, 10605, 8445);

    Picture3 = control<QWidget>(this, "Picture3", {0, 0, 10575, 6855});
    Picture3->setAutoFillBackground(true);
    QPalette white = Picture3->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture3->setPalette(white);
    DwgThumbnail1 = control<DwgThumbnail>(Picture3, "DwgThumbnail1", {0, 0, 10335, 6615});
    HScroll1 = control<QScrollBar>(Picture3, "HScroll1", {0, 6600, 10575, 255}, Qt::Horizontal);
    VScroll1 = control<QScrollBar>(Picture3, "VScroll1", {10320, 0, 255, 6615}, Qt::Vertical);

    Label3 = control<QLabel>(this, "Label3", {360, 7170, 1395, 255}, QStringLiteral("StretchBltMode"));
    Combo1 = control<QComboBox>(this, "Combo1", {1800, 7110, 510, 315});
    Label1 = control<QLabel>(this, "Label1", {3000, 7170, 1215, 255}, QStringLiteral("输入文件路径:"));
    Text1 = control<QLineEdit>(this, "Text1", {4200, 7080, 2055, 330});
    Image1 = control<ClickLabel>(this, "Image1", {6240, 7020, 480, 480}, QString());
    Command1 = button(this, "Command1", {6840, 7080, 1215, 375}, QStringLiteral("打开"));
    Command3 = button(this, "Command3", {8160, 7080, 1215, 375}, QStringLiteral("清屏"));
    Picture4 = control<ClickLabel>(this, "Picture4", {3240, 7920, 240, 240}, QString());
    Picture2 = control<ClickLabel>(this, "Picture2", {3840, 7740, 480, 480}, QString());
    Picture1 = control<ClickLabel>(this, "Picture1", {4680, 7740, 480, 480}, QString());
    Image2 = control<ClickLabel>(this, "Image2", {5520, 7740, 480, 480}, QString());
    Picture5 = control<ClickLabel>(this, "Picture5", {6240, 7920, 240, 240}, QString());
    Label2 = control<ClickLabel>(this, "Label2", {6810, 7875, 1800, 315}, QStringLiteral("另存为BMP文件"));
    Command4 = button(this, "Command4", {8880, 7794, 1215, 375}, QStringLiteral("退出"));

    // The viewport: the bars lie over the drawing and wait for a zoom.
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        bar->setRange(0, 100);
        bar->setSingleStep(1);
        bar->setPageStep(10);
        bar->hide();
    }
    // The stretching mode is applied only when chosen from the list, never
    // while typed: nothing is added to the list or matched on Enter.
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr);
    QObject::disconnect(Combo1->lineEdit(), SIGNAL(editingFinished()), Combo1, nullptr);
    Combo1->setEditText(QStringLiteral("2"));
    Text1->setPalette(white);
    Image1->setToolTip(QStringLiteral("浏览"));
    Image2->setToolTip(QStringLiteral("浏览"));
    makePictureButton(Image1, ViewerIcon::Browse, false);
    makePictureButton(Picture4, ViewerIcon::Previous, true);
    makePictureButton(Picture2, ViewerIcon::Shrink, true);
    makePictureButton(Picture1, ViewerIcon::Enlarge, true);
    makePictureButton(Image2, ViewerIcon::Preview, false);
    makePictureButton(Picture5, ViewerIcon::Next, true);
    // The link: blue, underlined 10.5-point 宋体, or the nearest CJK face.
    QFont linkFont = Label2->font();
    linkFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                          QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                          QStringLiteral("WenQuanYi Micro Hei")});
    linkFont.setPointSizeF(10.5);
    Label2->setFont(linkFont);
    Label2->setLinkStyle(true);
    Label2->resize(Label2->sizeHint().width(), Label2->height());

    connect(Command1, &QPushButton::clicked, this, &FrmViewdwg::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmViewdwg::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmViewdwg::Command4_Click);
    connect(Image1, &ClickLabel::clicked, this, &FrmViewdwg::Image1_Click);
    connect(Picture1, &ClickLabel::clicked, this, &FrmViewdwg::Picture1_Click);
    connect(Picture2, &ClickLabel::clicked, this, &FrmViewdwg::Picture2_Click);
    connect(Picture4, &ClickLabel::clicked, this, &FrmViewdwg::Picture4_Click);
    connect(Picture5, &ClickLabel::clicked, this, &FrmViewdwg::Picture5_Click);
    connect(Image2, &ClickLabel::clicked, this, &FrmViewdwg::Image2_Click);
    connect(Label2, &ClickLabel::clicked, this, &FrmViewdwg::Label2_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &FrmViewdwg::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &FrmViewdwg::VScroll1_Change);
    connect(Combo1, &QComboBox::activated, this, &FrmViewdwg::Combo1_Click);
    connect(DwgThumbnail1, &DwgThumbnail::doubleClicked, this, &FrmViewdwg::DwgThumbnail1_DblClick);

    Form_Load();
}

void FrmViewdwg::Form_Load()
{
    m_geometry.load();
    Combo1->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    Combo1->setEditText(QStringLiteral("2"));
}

void FrmViewdwg::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    const QWidget* owner = ownerWindow(this);
    centreOn(this, owner);
}

void FrmViewdwg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmViewdwg::Form_Resize()
{
    // Nothing moves; the size the drawing has now becomes its home size.
    m_geometry.resized();
}

void FrmViewdwg::closeEvent(QCloseEvent* event)
{
    m_steps.clear();
    m_drawingPath.clear();
    event->accept();
}

void FrmViewdwg::information(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

void FrmViewdwg::placeDrawing()
{
    DwgThumbnail1->setGeometry(m_geometry.pixels());
    HScroll1->setVisible(m_geometry.hScrollVisible);
    VScroll1->setVisible(m_geometry.vScrollVisible);
}

bool FrmViewdwg::hasPicture() const
{
    // A name without a picture (a missing file, a drawing saved without a
    // preview) leaves nothing to show or save; the control says why.
    return !DwgThumbnail1->DwgFileName().isEmpty() && !DwgThumbnail1->picture().isNull();
}

// ---------------------------------------------------------------------------
// Opening, clearing, stepping

void FrmViewdwg::Image1_Click()
{
    if (const std::optional<QString> name =
            platform().openFile(this, QStringLiteral("AutoCAD文件|*.dwg|所有文件|*.*"))) {
        m_pickedPath = *name;
        Text1->setText(displayFileName(*name));
    }
}

void FrmViewdwg::openDrawing(const QString& path)
{
    m_pickedPath = path;
    Text1->setText(displayFileName(path));
    Command1_Click();
}

void FrmViewdwg::Command1_Click()
{
    QString path = Text1->text().trimmed();
    if (!m_pickedPath.isEmpty() && Text1->text() == displayFileName(m_pickedPath))
        path = m_pickedPath;
    if (path.isEmpty()) {
        information(QStringLiteral("请先输入一个有效的文件路径!"));
        return;
    }
    m_geometry.home();
    placeDrawing();
    m_drawingPath = path;
    DwgThumbnail1->setDwgFileName(m_drawingPath);
    m_steps.open(m_drawingPath, m_fso);
}

void FrmViewdwg::Command3_Click()
{
    m_geometry.home();
    placeDrawing();
    DwgThumbnail1->setDwgFileName(QString());
}

void FrmViewdwg::Command4_Click()
{
    close();
}

void FrmViewdwg::Picture5_Click()
{
    if (const std::optional<QString> path = m_steps.next())
        DwgThumbnail1->setDwgFileName(*path);
}

void FrmViewdwg::Picture4_Click()
{
    if (const std::optional<QString> path = m_steps.previous())
        DwgThumbnail1->setDwgFileName(*path);
}

// ---------------------------------------------------------------------------
// Zoom and scroll

void FrmViewdwg::zoom(double factor)
{
    m_geometry.zoom(factor);
    placeDrawing();
}

void FrmViewdwg::Picture1_Click()
{
    zoom(1.1);
}

void FrmViewdwg::Picture2_Click()
{
    zoom(0.9);
}

void FrmViewdwg::HScroll1_Change()
{
    m_geometry.scrollHorizontal(HScroll1->value(), HScroll1->maximum());
    placeDrawing();
}

void FrmViewdwg::VScroll1_Change()
{
    m_geometry.scrollVertical(VScroll1->value(), VScroll1->maximum());
    placeDrawing();
}

void FrmViewdwg::Combo1_Click()
{
    bool ok = false;
    const int mode = Combo1->currentText().trimmed().toInt(&ok);
    if (ok)
        DwgThumbnail1->setStretchBltMode(mode);
}

// ---------------------------------------------------------------------------
// Preview and saving

void FrmViewdwg::Image2_Click()
{
    if (!hasPicture()) {
        information(QStringLiteral("没有可供预览的DWG文件!"));
        return;
    }
    Form2* preview = Form2::showFor(this);
    preview->Image1->setPixmap(QPixmap::fromImage(DwgThumbnail1->picture()));
}

void FrmViewdwg::DwgThumbnail1_DblClick()
{
    if (!hasPicture())
        return;
    Form2::showFor(this)->setPicture(DwgThumbnail1->picture());
}

void FrmViewdwg::Label2_Click()
{
    if (!hasPicture()) {
        information(QStringLiteral("没有打开DWG文件,无法保存为位图!"));
        return;
    }
    // The save dialog asks before an existing file is replaced; a name it
    // returns is one the user has agreed to write.
    const QString file = platform().saveFile(this, QStringLiteral("位图文件|*.bmp|所有文件|*.*"));
    if (file.isEmpty())
        return;
    if (const std::optional<QString> why = saveBitmap(DwgThumbnail1->picture(), file))
        information(QStringLiteral("无法写入文件 %1：%2").arg(file, *why));
}

}  // namespace kestrune
