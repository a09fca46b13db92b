#include "gui/filemanager/frmmove.h"

#include "core/filemanager/batchcheck.h"
#include "core/filemanager/batchresult.h"
#include "core/system/appicon.h"
#include "gui/common/batchprogress.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "core/fs/trash.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrune {

namespace {

const QString kChooseTitle = QStringLiteral("请选择文件夹：");
const QString kFilterPrompt = QStringLiteral("输入要过滤的文件扩展名,如有多个,请务必以分号分隔!示例:chm;doc");

}  // namespace

frmmove::frmmove(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmmove"));
    setWindowTitle(QStringLiteral("文件批量管理"));
    setWindowIcon(appIcon());
    // A sizable window; the controls keep their places when it is resized.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setClientTwips(this, 5760, 3780);

    Label1 = control<QLabel>(this, "Label1", {120, 120, 240, 255}, QStringLiteral("源"));
    Text1 = control<QLineEdit>(this, "Text1", {360, 255, 2775, 300});

    Combo1 = control<QComboBox>(this, "Combo1", {3240, 240, 855, 300});
    Combo1->setEditable(true);
    // Typed text is a pattern of its own: it neither joins the list nor gets
    // completed from it.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr);
    Combo1->addItems({QStringLiteral("*.exe"), QStringLiteral("*.txt"), QStringLiteral("*.jpg"),
                      QStringLiteral("*.rm"), QStringLiteral("*.rar")});

    Command1 = button(this, "Command1", {4200, 0, 1455, 375}, QStringLiteral("选择一个目录"));
    Command2 = button(this, "Command2", {4200, 440, 1455, 375}, QStringLiteral("选择当前目录"));

    Label3 = control<ClickLabel>(this, "Label3", {3000, 600, 1140, 240}, QStringLiteral("添加更多过滤"));
    setSongFont(Label3, 9);
    Label3->setLinkStyle(true);

    Label2 = control<QLabel>(this, "Label2", {120, 840, 240, 255}, QStringLiteral("至"));
    Text2 = control<QLineEdit>(this, "Text2", {360, 960, 2775, 300});
    Check2 = control<QCheckBox>(this, "Check2", {3240, 908, 900, 300}, QStringLiteral("覆盖"));
    Check2->setChecked(true);
    Command4 = button(this, "Command4", {4200, 880, 1455, 375}, QStringLiteral("选择一个目录"));
    Command5 = button(this, "Command5", {4200, 1320, 1455, 375}, QStringLiteral("选择当前目录"));

    Option1Group = new QButtonGroup(this);
    Option1Group->setObjectName(QStringLiteral("Option1"));
    const QString optionCaptions[4] = {QStringLiteral("移动"), QStringLiteral("复制"), QStringLiteral("删除"),
                                       QStringLiteral("强制删除")};
    const int optionLeft[4] = {360, 1240, 2120, 3000};
    for (int i = 0; i < 4; ++i) {
        Option1[size_t(i)] = control<QRadioButton>(this, "Option1", {optionLeft[i], 1440, i == 3 ? 1140 : 840, 270}, optionCaptions[i]);
        Option1[size_t(i)]->setProperty("Index", i);
        Option1Group->addButton(Option1[size_t(i)], i);
    }
    Option1[0]->setChecked(true);

    Check1 = control<QCheckBox>(this, "Check1", {360, 1800, 2400, 270}, QStringLiteral("包含子文件夹"));
    Check1->setChecked(true);
    Check3 = control<QCheckBox>(this, "Check3", {360, 2160, 5040, 240}, QStringLiteral("一次操作多种类型的文件,类型如下:"));
    Text3 = control<QLineEdit>(this, "Text3", {360, 2400, 3855, 300}, QStringLiteral("txt"));

    Label5 = control<QLabel>(this, "Label5", {360, 2760, 5040, 480}, QStringLiteral("提示:在上面的框中输入要过滤的文件扩展名,如有多个,请务必以分号分隔!示例:chm;doc"));
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(Label5, QColor(192, 0, 0));

    Command3 = button(this, "Command3", {1080, 3240, 1215, 375}, QStringLiteral("开始"));
    Command6 = button(this, "Command6", {3120, 3240, 1215, 375}, QStringLiteral("关闭"));

    connect(Command1, &QPushButton::clicked, this, &frmmove::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmmove::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmmove::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmmove::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmmove::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &frmmove::Command6_Click);
    connect(Label3, &ClickLabel::clicked, this, &frmmove::Label3_Click);
    connect(Option1Group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Option1_Click(id);
    });

    Form_Load();
}

void frmmove::Form_Load()
{
    Combo1->setCurrentIndex(0);
    centreOn(this, ownerWindow(this));
    FilterOp = 1;
}

void frmmove::information(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

void frmmove::Command1_Click()
{
    if (const auto path = platform().chooseFolder(this, kChooseTitle))
        Text1->setText(*path);
}

void frmmove::Command4_Click()
{
    if (const auto path = platform().chooseFolder(this, kChooseTitle))
        Text2->setText(*path);
}

void frmmove::Command2_Click()
{
    Text1->setText(programFolder());
}

void frmmove::Command5_Click()
{
    Text2->setText(programFolder());
}

void frmmove::Option1_Click(int index)
{
    const bool destination = index != 2 && index != 3;
    Label2->setVisible(destination);
    Text2->setVisible(destination);
    Check2->setVisible(destination);
    FilterOp = qint16(index + 1);
}

void frmmove::Command3_Click()
{
    if (!m_fso)
        m_fso.emplace();
    const BatchFolders folders = checkBatchFolders(*m_fso, Text1->text(), Text2->text(), FilterOp);
    if (folders.refusal != BatchRefusal::None) {
        information(batchRefusalText(folders.refusal));
        return;
    }
    m_source = folders.source;
    sf(m_source, Check1->checkState() != Qt::Unchecked);
}

void frmmove::sf(const Folder& folder, bool cas)
{
    if (m_batch.busy())
        return;
    BatchInputs inputs;
    inputs.multiType = Check3->checkState() == Qt::Checked;
    inputs.typeList = Text3->text();
    inputs.singleType = Combo1->currentText();
    inputs.operation = FilterOp;
    inputs.destination = Text2->text();
    inputs.overwrite = Check2->isChecked();
    inputs.toTrash = deleteToTrashSetting();
    const QPointer<frmmove> self(this);
    const std::function<QVariant()> typeListMissing = [self] {
        if (self)
            self->information(QStringLiteral("已选中操作多种类型文件,但没有指定!"));
        return QVariant();
    };
    m_batch.run<BatchWalkResult>(
        [root = folder.Path(), cas, inputs, typeListMissing](ProgressSink& progress) {
            BatchInputs in = inputs;
            in.typeListMissing = [&progress, typeListMissing] { progress.ask(typeListMissing); };
            return runBatchWalk(root, cas, in, &progress);
        },
        [this, operation = inputs.operation](BatchWalkResult result) {
            // A walk that runs to its end and handles every file shows
            // nothing; a cancel and the files left undone are told in one
            // message.
            const QString text = batchEndMessage(result, operation);
            if (!text.isEmpty())
                information(text);
        });
}

void frmmove::closeEvent(QCloseEvent* event)
{
    // Closing stops the batch as "取消" does; the window closes once the
    // file in hand is finished or undone.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmmove::Label3_Click()
{
    const QString answer = platform().inputBox(this, kFilterPrompt);
    m_lastFilter = trimBlanks(answer);

    const QString settingFile = dataFile(QStringLiteral("setting.txt"));
    try {
        if (!m_fso)
            m_fso.emplace();
        TextStream stream = m_fso->CreateDataTextFile(settingFile);
        stream.WriteLine(QStringLiteral("filter=") + m_lastFilter);
        stream.Close();
    } catch (const FsError& e) {
        // The list still gets the filters; the user learns that they were
        // not kept.
        information(QStringLiteral("无法写入文件 %1：%2").arg(settingFile, e.message()));
    }

    if (m_lastFilter.isEmpty())
        return;
    for (const QString& piece : m_lastFilter.split(QLatin1Char(';')))
        Combo1->addItem(trimBlanks(piece));
}

void frmmove::Command6_Click()
{
    close();
}

}  // namespace kestrune
