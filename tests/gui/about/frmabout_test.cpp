#include "gui/common/formutil.h"
#include "gui/about/frmabout.h"
#include "app/mdiform1.h"
#include "core/system/platform.h"
#include "core/system/sysinfo.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::scripted;
using kestrune::test::ScriptedPlatform;
using kestrune::test::TempDir;

namespace {

RegistryValue stringValue(const QByteArray& bytes)
{
    return RegistryValue{kRegTypeString, bytes};
}

void putValue(const QString& key, const QString& name, const RegistryValue& value, quint32 access = 0xF003F)
{
    ScriptedPlatform::RegKey& k = scripted().registry[key];
    k.grantedAccess = access;
    k.values.insert(name, value);
}

// A folder that holds an executable of the given name.
QString folderWithProgram(TempDir& dir, const QString& name)
{
    const QString path = dir.write(name, "#!/bin/sh\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return dir.path();
}

// Points the PATH somewhere else for one test.
class PathGuard {
public:
    explicit PathGuard(const QString& path) : m_old(qgetenv("PATH")) { qputenv("PATH", path.toLocal8Bit()); }
    ~PathGuard() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

}  // namespace

TEST(AboutWindow, ShowsTitleVersionAndDescriptionCentredOnTheMainWindow)
{
    MDIForm1 main;
    main.setGeometry(100, 80, 600, 400);
    main.menuabout_Click();
    auto* about = qobject_cast<frmAbout*>(main.toolWindow(QStringLiteral("menuabout")));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->parentWidget(), nullptr);  // a window of its own, not owned
    EXPECT_EQ(about->windowTitle(), QStringLiteral("关于 Kestrune"));
    EXPECT_EQ(about->lblTitle->text(), QStringLiteral("Kestrune"));
    EXPECT_EQ(about->lblVersion->text(), QStringLiteral("版本 1.3.0"));
    EXPECT_EQ(about->lblDescription->text(), QStringLiteral("精巧的文件管理工具,批量执行各种文件操作,省时省心!"));
    EXPECT_FALSE(about->Image1->pixmap().isNull());
    const QPoint mainCentre = main.frameGeometry().center();
    const QPoint aboutCentre = about->frameGeometry().center();
    EXPECT_LE(qAbs(mainCentre.x() - aboutCentre.x()), 2);
    EXPECT_LE(qAbs(mainCentre.y() - aboutCentre.y()), 2);

    // Choosing the entry again brings the same window forward.
    main.menuabout_Click();
    EXPECT_EQ(main.toolWindow(QStringLiteral("menuabout")), about);
}

TEST(AboutWindow, EnterAndEscapeCloseIt)
{
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        frmAbout about;
        about.show();
        about.Label2->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&about, &press);
        EXPECT_FALSE(about.isVisible()) << key;
    }
}

TEST(AboutWindow, LinksHandTheirAddressesToTheDesktopAndSayNothingOnFailure)
{
    frmAbout about;
    scripted().urlSucceeds = false;
    for (ClickLabel* link : {about.Label2, about.Label3, about.Label4}) {
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        emit link->clicked();
    }
    const auto urls = scripted().of(Interaction::Url);
    ASSERT_EQ(urls.size(), 3u);
    EXPECT_EQ(urls[0].text, kHomePageAddress);
    EXPECT_EQ(urls[1].text, kSkySoftAddress);
    EXPECT_EQ(urls[2].text, kHuajunSoftAddress);
    for (const auto& u : urls)
        EXPECT_TRUE(u.text.startsWith(QStringLiteral("https://")));
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(RegistryValueText, StringsNumbersAndOtherTypes)
{
    const QString key = QStringLiteral("SOFTWARE\\Test");
    putValue(key, "nul", stringValue(QByteArray("C:\\a.exe\0junk", 13)));
    putValue(key, "bare", stringValue(QByteArray("C:\\b.exe")));
    putValue(key, "gbk", stringValue(QByteArray("C:\\\xb9\xa4\xbe\xdf")));  // "C:\工具" in code page 936
    // 0x00050A01: a byte below 0x10 must keep its leading zero digit.
    putValue(key, "dword", RegistryValue{kRegTypeDWord, QByteArray("\x01\x0a\x05\x00", 4)});
    putValue(key, "binary", RegistryValue{3, QByteArray("\x01\x02", 2)});
    putValue(key, "long", stringValue(QByteArray(kRegistryValueBufferSize + 1, 'x')));

    QString text = QStringLiteral("before");
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "nul", text));
    EXPECT_EQ(text, QStringLiteral("C:\\a.exe"));
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "bare", text));
    EXPECT_EQ(text, QStringLiteral("C:\\b.exe"));
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "gbk", text));
    EXPECT_EQ(text, QStringLiteral("C:\\工具"));
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "dword", text));
    EXPECT_EQ(text, QStringLiteral("330241"));
    text = QStringLiteral("kept");
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "binary", text));
    EXPECT_EQ(text, QStringLiteral("kept"));

    // Failures empty the text.
    EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, key, "long", text));
    EXPECT_EQ(text, QString());
    text = QStringLiteral("x");
    EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, key, "absent", text));
    EXPECT_EQ(text, QString());
    text = QStringLiteral("x");
    EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, QStringLiteral("SOFTWARE\\Nothing"), "nul", text));
    EXPECT_EQ(text, QString());
}

TEST(RegistryValueText, AKeyOpenOnlyForReadingCountsAsNotFound)
{
    const QString key = QStringLiteral("SOFTWARE\\ReadOnly");
    putValue(key, "v", stringValue("x"), 0x20019);  // KEY_READ only
    QString text = QStringLiteral("before");
    EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, key, "v", text));
    EXPECT_EQ(text, QString());
    scripted().registry[key].grantedAccess = kSysInfoKeyAccess;
    EXPECT_TRUE(GetKeyValue(kHKeyLocalMachine, key, "v", text));
    EXPECT_EQ(text, QStringLiteral("x"));
}

TEST(SystemInformation, FirstRegistryLocationWins)
{
    TempDir dir;
    putValue(kMsInfoKey, kMsInfoPathValue, stringValue("/opt/msinfo/first"));
    putValue(kSharedToolsLocationKey, kSharedToolsMsInfoValue,
             stringValue(folderWithProgram(dir, kMsInfoProgramName).toLocal8Bit()));
    PathGuard path(dir.path());
    frmAbout about;
    about.cmdSysInfo->click();
    const auto starts = scripted().of(Interaction::Start);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].text, QStringLiteral("/opt/msinfo/first"));
    EXPECT_TRUE(starts[0].arguments.isEmpty());
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(SystemInformation, OnlyTheSecondLocationWithTheProgramPresent)
{
    TempDir dir;
    const QString folder = folderWithProgram(dir, kMsInfoProgramName);
    putValue(kSharedToolsLocationKey, kSharedToolsMsInfoValue, stringValue(folder.toLocal8Bit()));
    // The first key exists but may only be read: it does not count.
    putValue(kMsInfoKey, kMsInfoPathValue, stringValue("/never/started"), 0x20019);
    PathGuard path{QString()};
    frmAbout about;
    about.StartSysInfo();
    const auto starts = scripted().of(Interaction::Start);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].text, dir.file(kMsInfoProgramName));
}

TEST(SystemInformation, SecondLocationWithoutTheProgramIsUnavailable)
{
    TempDir dir;
    putValue(kSharedToolsLocationKey, kSharedToolsMsInfoValue, stringValue(dir.path().toLocal8Bit()));
    TempDir emptyPath;
    PathGuard path(emptyPath.path());
    frmAbout about;
    about.cmdSysInfo->click();
    EXPECT_TRUE(scripted().of(Interaction::Start).empty());
    const auto messages = scripted().of(Interaction::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("此时系统信息不可用"));
    EXPECT_EQ(messages[0].icon, MsgIcon::None);
    EXPECT_EQ(messages[0].owner, &about);
}

TEST(SystemInformation, WithoutRegistryTheDesktopToolOnThePathIsStarted)
{
    TempDir dir;
    folderWithProgram(dir, QStringLiteral("kinfocenter"));
    folderWithProgram(dir, QStringLiteral("gnome-system-monitor"));
    PathGuard path(dir.path());
    frmAbout about;
    about.cmdSysInfo->click();
    const auto starts = scripted().of(Interaction::Start);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].text, dir.file(QStringLiteral("kinfocenter")));  // candidates in order
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(SystemInformation, AProgramThatCannotBeStartedIsUnavailable)
{
    putValue(kMsInfoKey, kMsInfoPathValue, stringValue("/opt/msinfo/broken"));
    scripted().startSucceeds = false;
    frmAbout about;
    about.cmdSysInfo->click();
    EXPECT_EQ(scripted().of(Interaction::Start).size(), 1u);
    EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("此时系统信息不可用")}));
}
