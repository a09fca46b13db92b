#include "gui/devtools/frmcompile.h"

#include "core/devtools/programlaunch.h"
#include "core/fs/fsnames.h"
#include "core/system/platform.h"
#include "core/system/textutil.h"

#include <QLineEdit>

namespace kestrune {

namespace {

WorkListTexts compileTexts()
{
    WorkListTexts t;
    t.caption = QStringLiteral("VB6工程批量编译");
    t.extension = QStringLiteral("vbp");
    t.addCaption = QStringLiteral("添加到编译列表");
    t.removeCaption = QStringLiteral("从编译列表删除");
    t.duplicate = QStringLiteral("VB工程批量编译列表已存在相同项，请勿重复添加");
    t.countSuffix = QStringLiteral("个工程文件等待编译");
    t.welcome = QStringLiteral("欢迎使用VB工程批量编译工具!");
    t.hint = QStringLiteral("提示:请输入想添加到编译列表的文件路径也可通过浏览找到文件");
    t.filter = QStringLiteral("工程文件|*.vbp|所有文件|*.*");
    t.topOffset = 0;
    t.toolHeight = 780;
    return t;
}

}  // namespace

frmCompile::frmCompile(QWidget* parent) : WorkListForm(compileTexts(), parent)
{
    setObjectName(QStringLiteral("frmCompile"));
    const int top = toolTop();
    Label1 = control<QLabel>(this, "Label1", {120, top, 8190, 255},
                             QStringLiteral("请在下框设置VB6编译器(通常情况下是vb6.exe)的路径:"));
    Text2 = control<QLineEdit>(this, "Text2", {120, top + 300, 7815, 315},
                               QStringLiteral("D:\\Program Files\\Microsoft Visual Studio\\VB98\\VB6.EXE"));
    Image2 = browsePicture(this, "Image2", {7995, top + 300, 315, 315});
    Command2 = button(this, "Command2", startButtonAt(), QStringLiteral("开始编译"));

    connect(Command2, &QPushButton::clicked, this, &frmCompile::Command2_Click);
    connect(Image2, &ClickLabel::clicked, this, &frmCompile::Image2_Click);
}

void frmCompile::Image2_Click()
{
    const std::optional<QString> chosen = platform().openFile(this, QStringLiteral("可执行文件|*.exe|所有文件|*.*"));
    if (chosen && !chosen->isEmpty())
        Text2->setText(*chosen);
}

void frmCompile::Command2_Click()
{
    if (list().count() == 0) {
        information(QStringLiteral("列表为空,请先添加工程文件到列表!"));
        return;
    }
    if (const std::optional<QString> refused = prepareCompiler(Text2->text(), m_compiler)) {
        information(*refused);
        return;
    }

    const QStringList projects = list().entries();
    for (const QString& entry : projects) {
        const QString project = trimBlanks(entry);
        const std::optional<QString> failed = comp(project);
        appendInfo(QStringLiteral("编译工程 ") + displayFileName(project));  // the compiler gets its exact bytes
        if (failed)
            appendInfo(QStringLiteral("无法启动编译器:") + *failed);
    }
    clearList();
}

std::optional<QString> frmCompile::comp(const QString& project)
{
    // The compilers run on by themselves, also after this window or the
    // program is closed.
    return startCompile(m_compiler, project);
}

}  // namespace kestrune
