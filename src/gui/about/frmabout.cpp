#include "gui/about/frmabout.h"

#include "core/system/appicon.h"
#include "gui/common/formutil.h"
#include "core/system/platform.h"
#include "core/system/sysinfo.h"
#include "version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace kestrune {

const QString kHomePageAddress = QStringLiteral("https://kestrune.org/");
const QString kSkySoftAddress = QStringLiteral("https://www.skycn.com/");
const QString kHuajunSoftAddress = QStringLiteral("https://www.onlinedown.net/");

frmAbout::frmAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于"));
    setFixedSize(tw(5730), tw(3555));
    setSizeGripEnabled(false);

    Image1 = control<QLabel>(this, "Image1", {240, 240, 720, 720});
    Image1->setPixmap(appIconPixmap(tw(720)));

    lblTitle = control<QLabel>(this, "lblTitle", {1200, 240, 3900, 480}, QStringLiteral("应用程序标题"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() > 0 ? titleFont.pointSizeF() * 1.6 : 14.0);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = control<QLabel>(this, "lblVersion", {1200, 780, 3900, 255}, QStringLiteral("版本:"));

    lblDescription = control<QLabel>(this, "lblDescription", {1200, 1170, 4290, 960}, QStringLiteral("精巧的文件管理工具,批量执行各种文件操作,省时省心!"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Line1 = control<QFrame>(this, "Line1", {225, 2280, 5280, 30});
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    auto makeLink = [this](const char* name, const QString& text, int top) {
        auto* link = control<ClickLabel>(this, name, {240, top, 2400, 285}, text);
        link->setLinkStyle(true);
        // Only the text itself is the link, not the blank beside it.
        link->resize(link->sizeHint().width(), link->height());
        return link;
    };
    Label2 = makeLink("Label2", QStringLiteral("我的博客"), 2490);
    Label3 = makeLink("Label3", QStringLiteral("天空软件下载"), 2820);
    Label4 = makeLink("Label4", QStringLiteral("华军软件下载"), 3150);

    cmdOK = control<QPushButton>(this, "cmdOK", {4080, 2505, 1425, 375}, QStringLiteral("确定"));
    // The default button: Enter presses it; Escape closes the dialog as well.
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    cmdSysInfo = button(this, "cmdSysInfo", {4080, 3015, 1425, 375}, QStringLiteral("系统信息(&S)"));

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    connect(Label2, &ClickLabel::clicked, this, &frmAbout::Label2_Click);
    connect(Label3, &ClickLabel::clicked, this, &frmAbout::Label3_Click);
    connect(Label4, &ClickLabel::clicked, this, &frmAbout::Label4_Click);

    Form_Load();
}

void frmAbout::Form_Load()
{
    centreOn(this, ownerWindow(this));
    const QString title = QString::fromLatin1(kAppTitle);
    setWindowTitle(QStringLiteral("关于 ") + title);
    lblVersion->setText(
        QStringLiteral("版本 %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    lblTitle->setText(title);
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    startSysInfo(this);
}

bool frmAbout::GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    return kestrune::GetKeyValue(KeyRoot, KeyName, SubKeyRef, KeyVal);
}

// Each link hands its address to the desktop and returns at once; nothing is
// said when the page does not open.
void frmAbout::Label2_Click()
{
    platform().openUrl(kHomePageAddress);
}

void frmAbout::Label3_Click()
{
    platform().openUrl(kSkySoftAddress);
}

void frmAbout::Label4_Click()
{
    platform().openUrl(kHuajunSoftAddress);
}

}  // namespace kestrune
