#include "gui/devtools/frmregsvr.h"

#include "core/devtools/registration.h"
#include "core/fs/fsnames.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "core/system/textutil.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QStyle>
#include <QThread>

namespace kestrune {

Frmregsvr::Frmregsvr(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Frmregsvr"));
    setWindowTitle(QStringLiteral("DLL,OCX批量注册工具"));
    setClientTwips(this, 6780, 2055);

    Image1 = control<QLabel>(this, "Image1", {120, 180, 720, 720});
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(tw(720), tw(720)));
    Image1->setAlignment(Qt::AlignCenter);
    Text4 = control<QLineEdit>(this, "Text4", {960, 390, 4200, 345});
    Command5 = button(this, "Command5", {5280, 360, 1380, 405}, QStringLiteral("注册"));
    Command1 = button(this, "Command1", {960, 1290, 1920, 465}, QStringLiteral("选择一个目录注册"));
    Command2 = button(this, "Command2", {3000, 1290, 1860, 465}, QStringLiteral("当前目录注册"));
    Command3 = button(this, "Command3", {5280, 1290, 1380, 465}, QStringLiteral("关闭"));

    connect(Command1, &QPushButton::clicked, this, &Frmregsvr::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Frmregsvr::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &Frmregsvr::Command5_Click);
    connect(Command3, &QPushButton::clicked, this, &Frmregsvr::Command3_Click);
}

void Frmregsvr::message(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::None);
}

void Frmregsvr::registerAndReport(const Folder& folder, const QString& done)
{
    if (m_batch.busy())
        return;
    FolderRegistration run;
    try {
        run = prepareRegistration(folder);
    } catch (const FsError& e) {
        message(QStringLiteral("无法打开所选文件夹：%1\n%2").arg(displayFileName(folder.Path()), e.message()));
        return;
    }
    if (run.wineMissing) {
        message(QStringLiteral("运行Windows程序需要wine,请先安装wine!"));
        return;
    }
    // All run at once, at most one per core; the window answers meanwhile
    // and the message comes when every registration has ended.
    auto runner = std::make_unique<ProgramRunner>(QThread::idealThreadCount());
    addRegistrations(run, *runner);
    m_batch.runPrograms<ProgramRunner>(std::move(runner), &ProgramRunner::allEnded,
                                       [this, run, done](ProgramRunner& ended) mutable {
                                           collectRegistrations(run, ended);
                                           message(registrationMessage(done, run));
                                       });
}

void Frmregsvr::closeEvent(QCloseEvent* event)
{
    // Closing cancels the registrations as "取消" does; the window closes
    // once the programs have ended.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Frmregsvr::Command1_Click()
{
    const std::optional<QString> chosen =
        platform().chooseFolder(this, QStringLiteral("请选择包含想注册的dll,ocx文件的文件夹："));
    if (!chosen)
        return;
    Folder folder;
    int files = 0;
    try {
        folder = m_fso.GetFolder(*chosen);
        files = folder.FileCount();
    } catch (const FsError& e) {
        message(QStringLiteral("无法打开所选文件夹：%1\n%2").arg(*chosen, e.message()));
        return;
    }
    if (files < 1) {
        message(QStringLiteral("所选目录下面没有文件!"));
        return;
    }
    registerAndReport(folder, QStringLiteral("所选目录全部dll或ocx文件注册完毕!"));
}

void Frmregsvr::Command2_Click()
{
    Folder folder;
    int files = 0;
    try {
        folder = m_fso.GetFolder(programFolder());
        files = folder.FileCount();
    } catch (const FsError&) {
        return;
    }
    if (files >= 1)
        registerAndReport(folder, QStringLiteral("当前目录全部dll或ocx文件注册完毕!"));
}

void Frmregsvr::Command5_Click()
{
    const QString typed = Text4->text();
    // A blank box would name the working folder: refused like a missing one.
    if (trimBlanks(typed).isEmpty() || !m_fso.FolderExists(typed)) {
        message(QStringLiteral("指定的目录不存在!"));
        return;
    }
    Folder folder;
    int files = 0;
    try {
        folder = m_fso.GetFolder(typed);
        files = folder.FileCount();
    } catch (const FsError& e) {
        message(QStringLiteral("无法打开所选文件夹：%1\n%2").arg(typed, e.message()));
        return;
    }
    if (files < 1) {
        message(QStringLiteral("该目录下面没有文件!"));
        return;
    }
    registerAndReport(folder, QStringLiteral("该目录全部dll或ocx文件注册完毕!"));
}

void Frmregsvr::Command3_Click()
{
    close();
}

}  // namespace kestrune
