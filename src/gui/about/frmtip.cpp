#include "gui/about/frmtip.h"

#include "gui/common/formutil.h"
#include "core/fs/fso.h"
#include "core/about/tips.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace kestrune {

bool TipFromMenu = false;

namespace {

// The longest tips do not fit the label at the window's font: they are shown
// in a smaller one (never below this), so no tip is cut off. A tip too long
// even for that one can still be read whole in the label's tool tip.
constexpr qreal kSmallestTipPointSize = 7.0;

bool textFits(const QLabel* label, const QFont& font)
{
    const QRect area(0, 0, label->width(), label->height());
    const QRect needed = QFontMetrics(font).boundingRect(
        area, int(Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop), label->text());
    return needed.height() <= area.height() && needed.width() <= area.width();
}

void fitTextToLabel(QLabel* label, const QFont& baseFont)
{
    QFont font = baseFont;
    qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
    font.setPointSizeF(size);
    while (!textFits(label, font) && size > kSmallestTipPointSize) {
        size = qMax(size - 0.5, kSmallestTipPointSize);
        font.setPointSizeF(size);
    }
    label->setFont(font);
    label->setToolTip(textFits(label, font) ? QString() : label->text());
}

}  // namespace

QPixmap tipBulbPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // Glow, glass, filament, screw base.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 150, 110));
    p.drawEllipse(QPointF(16, 12), 11.5, 11.5);
    QRadialGradient glass(QPointF(13, 9), 10);
    glass.setColorAt(0, QColor(255, 255, 230));
    glass.setColorAt(1, QColor(250, 210, 60));
    p.setBrush(glass);
    p.setPen(QPen(QColor(170, 120, 20), 1.2));
    QPainterPath bulb;
    bulb.moveTo(12, 21);
    bulb.cubicTo(11, 17, 7, 15, 7, 11);
    bulb.cubicTo(7, 5.5, 11, 2.5, 16, 2.5);
    bulb.cubicTo(21, 2.5, 25, 5.5, 25, 11);
    bulb.cubicTo(25, 15, 21, 17, 20, 21);
    bulb.closeSubpath();
    p.drawPath(bulb);
    p.setPen(QPen(QColor(190, 90, 10), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(13, 20), QPointF(14, 13), QPointF(16, 15), QPointF(18, 13), QPointF(19, 20)}));
    p.setPen(QPen(QColor(90, 90, 100), 1.0));
    p.setBrush(QColor(170, 170, 180));
    p.drawRoundedRect(QRectF(11.5, 21, 9, 7), 1.5, 1.5);
    p.drawLine(QPointF(11.5, 23.3), QPointF(20.5, 23.3));
    p.drawLine(QPointF(11.5, 25.6), QPointF(20.5, 25.6));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(QRectF(14, 28, 4, 2.5), 1, 1);
    return pm;
}

frmTip::frmTip(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmTip"));
    setWindowTitle(QStringLiteral("日积月累"));
    setFixedSize(tw(5685), tw(3285));
    setSizeGripEnabled(false);

    Picture1 = control<QLabel>(this, "Picture1", {120, 120, 3735, 2715});
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setAutoFillBackground(true);
    QPalette white = Picture1->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    Picture1->setPalette(white);
    Picture1->setPixmap(tipBulbPixmap(32));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setMargin(1);

    Label1 = control<QLabel>(Picture1, "Label1", {540, 180, 2655, 255}, QStringLiteral("您知道吗..."));
    QFont heading = Label1->font();
    heading.setBold(true);
    Label1->setFont(heading);

    lblTipText = control<QLabel>(Picture1, "lblTipText", {180, 840, 3255, 1635});
    lblTipText->setWordWrap(true);
    // A tip is shown as it stands in the file, never as markup.
    lblTipText->setTextFormat(Qt::PlainText);
    lblTipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = control<QPushButton>(this, "cmdOK", {4080, 120, 1455, 375}, QStringLiteral("确定"));
    // The default button: Enter presses it; Escape closes the dialog as well.
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    cmdNextTip = button(this, "cmdNextTip", {4080, 600, 1455, 375}, QStringLiteral("下一条提示(&N)"));

    chkLoadTipsAtStartup =
        control<QCheckBox>(this, "chkLoadTipsAtStartup", {120, 2940, 2055, 315}, QStringLiteral("在启动时显示提示(&S)"));
    chkLoadTipsAtStartup->setChecked(false);

    connect(cmdOK, &QPushButton::clicked, this, &frmTip::cmdOK_Click);
    connect(cmdNextTip, &QPushButton::clicked, this, &frmTip::cmdNextTip_Click);
    connect(chkLoadTipsAtStartup, &QCheckBox::stateChanged, this, &frmTip::chkLoadTipsAtStartup_Click);

    centreOn(this, ownerWindow(this));
    Form_Load();
}

QWidget* frmTip::create(QWidget* owner)
{
    auto* window = new frmTip(owner);
    if (window->unloadedAtLoad()) {
        delete window;
        return nullptr;
    }
    return window;
}

void frmTip::Form_Load()
{
    // Not asked for from the menu and not wanted at start-up: close before
    // ever being shown.
    if (!TipFromMenu && !showTipsAtStartup()) {
        m_unloadedAtLoad = true;
        return;
    }
    // Ticking writes "1": opening the window from the menu turns the
    // start-up display back on.
    chkLoadTipsAtStartup->setChecked(true);

    const QString path = tipsFilePath();
    if (LoadTips(path))
        return;
    if (!m_readError.isEmpty()) {
        // The file is there but cannot be read: writing the built-in tips
        // over it would destroy what it holds, so it is left alone.
        showUnavailable(QStringLiteral("无法读取提示文件 %1：%2").arg(path, m_readError));
        return;
    }
    try {
        writeBuiltInTips(path);
    } catch (const FsError& e) {
        showUnavailable(QStringLiteral("无法写入提示文件 %1：%2").arg(path, e.message()));
        return;
    }
    LoadTips(path);
}

bool frmTip::LoadTips(const QString& sFile)
{
    m_readError.clear();
    const TipsFileContent content = readTipsFile(sFile);
    if (content.status == TipsFileContent::Unreadable) {
        m_readError = content.error.isEmpty() ? QStringLiteral("读取失败") : content.error;
        return false;
    }
    if (content.status != TipsFileContent::Read)
        return false;
    TipList << content.lines;
    AdvanceTip();
    return true;
}

void frmTip::DisplayCurrentTip()
{
    QString tip;
    if (!currentTip(&tip))
        return;
    lblTipText->setText(shortenedTip(tip));
    fitTextToLabel(lblTipText, font());
}

void frmTip::AdvanceTip()
{
    advanceTipIndex();
    DisplayCurrentTip();
}

void frmTip::showUnavailable(const QString& reason)
{
    lblTipText->setText(QStringLiteral("提示暂时不可用。") + reason);
    fitTextToLabel(lblTipText, font());
}

void frmTip::cmdOK_Click()
{
    close();
}

void frmTip::cmdNextTip_Click()
{
    AdvanceTip();
}

void frmTip::chkLoadTipsAtStartup_Click()
{
    saveShowTipsAtStartup(chkLoadTipsAtStartup->isChecked());
}

}  // namespace kestrune
