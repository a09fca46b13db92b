#include "gui/devtools/frmdecp.h"

#include "core/devtools/decompilebatch.h"
#include "gui/common/batchprogress.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "core/system/textutil.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QShowEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrune {

namespace {
const QString kChooseTitle = QStringLiteral("请选择文件夹：");
// The decompiler, installed beside the program.
const QString kDecompiler = QStringLiteral("kestrune-hh");
}  // namespace

Frmdecp::Frmdecp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Frmdecp"));
    setWindowTitle(QStringLiteral("chm批量反编译"));
    setClientTwips(this, 5220, 3675);
    setFixedSize(size());

    Label1 = control<QLabel>(this, "Label1", {120, 165, 300, 255}, QStringLiteral("源"));
    Text2 = control<QLineEdit>(this, "Text2", {420, 120, 3255, 315});
    Command4 = button(this, "Command4", {3780, 90, 1320, 375}, QStringLiteral("选择一个目录"));
    Command5 = button(this, "Command5", {3780, 510, 1320, 375}, QStringLiteral("选择当前目录"));
    Check1 = control<QCheckBox>(this, "Check1", {420, 540, 2400, 300}, QStringLiteral("包含子文件夹"));
    Check1->setChecked(true);

    Label2 = control<QLabel>(this, "Label2", {120, 1125, 300, 255}, QStringLiteral("至"));
    Text1 = control<QLineEdit>(this, "Text1", {420, 1080, 3255, 315});
    Command1 = button(this, "Command1", {3780, 1050, 1320, 375}, QStringLiteral("选择一个目录"));
    Command2 = button(this, "Command2", {3780, 1470, 1320, 375}, QStringLiteral("选择当前目录"));
    Check2 = control<QCheckBox>(this, "Check2", {420, 1500, 2400, 300}, QStringLiteral("存放到源目录"));

    Label3 = control<QLabel>(this, "Label3", {60, 2040, 5130, 270},
                             QStringLiteral("注:反编译产生的文件会自动放到以chm文件命名的子目录下"));
    setTextColour(Label3, QColor(0, 0, 255));
    Check3 = control<QCheckBox>(this, "Check3", {60, 2430, 5130, 300},
                                QStringLiteral("生成hhp文件(Microsoft HTML Help Workshop工程文件)"));
    Check3->setChecked(true);

    Command3 = button(this, "Command3", {1080, 3060, 1215, 420}, QStringLiteral("反编译"));
    Command6 = button(this, "Command6", {2925, 3060, 1215, 420}, QStringLiteral("关闭"));

    connect(Command1, &QPushButton::clicked, this, &Frmdecp::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Frmdecp::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Frmdecp::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Frmdecp::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Frmdecp::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Frmdecp::Command6_Click);
    connect(Check2, &QCheckBox::toggled, this, &Frmdecp::Check2_Click);
}

Frmdecp::~Frmdecp() = default;

void Frmdecp::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Placed when it first shows, once its frame is known.
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

void Frmdecp::Form_Load()
{
    const QWidget* owner = ownerWindow(this);
    centreOn(this, owner);
}

void Frmdecp::information(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

void Frmdecp::Command4_Click()
{
    if (const auto path = platform().chooseFolder(this, kChooseTitle))
        Text2->setText(*path);
}

void Frmdecp::Command5_Click()
{
    Text2->setText(programFolder());
}

void Frmdecp::Command1_Click()
{
    if (const auto path = platform().chooseFolder(this, kChooseTitle))
        Text1->setText(*path);
}

void Frmdecp::Command2_Click()
{
    Text1->setText(programFolder());
}

void Frmdecp::Check2_Click()
{
    const bool toSource = Check2->isChecked();
    if (toSource)
        Text1->setText(Text2->text());
    Command1->setEnabled(!toSource);
    Command2->setEnabled(!toSource);
}

void Frmdecp::Command6_Click()
{
    close();
}

void Frmdecp::closeEvent(QCloseEvent* event)
{
    // Closing cancels the batch as "取消" does; the window closes once the
    // walk and the decompilers have stopped.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Frmdecp::sf(const Folder& folder, bool cas)
{
    const QString prefix = destinationPrefix(Text1->text());
    const QString program = programFile(kDecompiler);
    const bool writeProjects = Check3->isChecked();
    const int parallel = maxParallel;
    // Whether the walk was cancelled: its decompiles are then never started.
    auto walkStopped = std::make_shared<bool>(false);
    m_batch.run<HelpFiles, DecompileBatch>(
        [path = folder.Path(), cas, prefix](ProgressSink& progress) {
            return findHelpFiles(path, cas, prefix, &progress);
        },
        [program, writeProjects, parallel, walkStopped](HelpFiles found) {
            *walkStopped = found.stopped;
            auto batch = std::make_unique<DecompileBatch>(program, writeProjects, parallel);
            if (!found.stopped)
                for (DecompileJob& job : found.jobs)
                    batch->add(std::move(job));
            return batch;
        },
        &DecompileBatch::finished,
        [this, walkStopped](DecompileBatch& batch) { batchEnded(batch, *walkStopped); });
}

void Frmdecp::batchEnded(const DecompileBatch& batch, bool walkStopped)
{
    const bool cancelled = walkStopped || batch.cancelled();
    const QStringList failed = batch.failures();
    const QStringList unlisted = batch.unlisted();
    QString text = cancelled ? QStringLiteral("反编译已取消!") : QStringLiteral("全部chm文件反编译完成!");
    if (!failed.isEmpty())
        text += QStringLiteral("\n以下文件反编译失败:\n") + failed.join(QLatin1Char('\n'));
    if (!unlisted.isEmpty())
        text += QStringLiteral("\n以下文件的名称无法写入工程文件,未列入:\n") + unlisted.join(QLatin1Char('\n'));
    information(text);
}

void Frmdecp::Command3_Click()
{
    if (m_batch.busy())
        return;
    Text1->setText(trimBlanks(Text1->text()));
    if (Text1->text().isEmpty()) {
        information(QStringLiteral("请设定目标路径!"));
        return;
    }
    Text1->setText(destinationPrefix(Text1->text()));

    if (!m_fso)
        m_fso.emplace();
    Folder source;
    try {
        if (!trimBlanks(Text2->text()).isEmpty())
            source = m_fso->GetFolder(Text2->text());
    } catch (const FsError&) {
    }
    if (source.Path().isEmpty()) {
        information(QStringLiteral("指定的源目录不存在!"));
        return;
    }
    const QString program = programFile(kDecompiler);
    if (!QFileInfo(program).isExecutable()) {
        information(QStringLiteral("找不到反编译程序 %1!").arg(program));
        return;
    }
    sf(source, Check1->isChecked());
}

}  // namespace kestrune
