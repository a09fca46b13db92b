#include "gui/documents/frmjmword.h"

#include "gui/common/batchprogress.h"
#include "core/documents/wordrun.h"
#include "core/system/platform.h"
#include "core/system/textutil.h"

#include <QPointer>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace kestrune {

namespace {

// The password boxes show "*" for each character.
const QString kStarMask = QStringLiteral("QLineEdit { lineedit-password-character: 42; }");

WorkListTexts wordTexts()
{
    WorkListTexts t;
    t.caption = QStringLiteral("Word文件批量加密");
    t.extension = QStringLiteral("doc");
    t.addCaption = QStringLiteral("添加到加密列表");
    t.removeCaption = QStringLiteral("从加密列表删除");
    t.duplicate = QStringLiteral("批量加密列表已存在相同项，请勿重复添加");
    t.countSuffix = QStringLiteral("个文档等待加密");
    t.welcome = QStringLiteral("欢迎使用Word文档批量加密工具!");
    t.hint = QStringLiteral("提示:请输入想添加到加密列表的文件路径也可通过浏览找到文件");
    t.filter = QStringLiteral("Word文档|*.doc|所有文件|*.*");
    t.topOffset = 800;
    t.toolHeight = 1140;
    return t;
}

}  // namespace

frmjmword::frmjmword(QWidget* parent) : WorkListForm(wordTexts(), parent)
{
    setObjectName(QStringLiteral("frmjmword"));
    const int top = toolTop();
    Label6 = control<QLabel>(this, "Label6", {120, top, 1500, 255}, QStringLiteral("加密使用的密码:"));
    Label5 = control<QLabel>(this, "Label5", {1650, top, 4500, 255}, QStringLiteral("(要批量解密只需保持密码框为空)"));
    Label7 = control<QLabel>(this, "Label7", {120, top + 390, 780, 255}, QStringLiteral("读密码:"));
    Text2 = control<QLineEdit>(this, "Text2", {900, top + 345, 2400, 315}, QStringLiteral("739"));
    Text2->setEchoMode(QLineEdit::Password);
    Text2->setStyleSheet(kStarMask);
    Label8 = control<QLabel>(this, "Label8", {3600, top + 390, 780, 255}, QStringLiteral("写密码:"));
    Text4 = control<QLineEdit>(this, "Text4", {4380, top + 345, 2400, 315}, QStringLiteral("5917"));
    Text4->setEchoMode(QLineEdit::Password);
    Text4->setStyleSheet(kStarMask);
    Label1 = control<QLabel>(this, "Label1", {120, top + 780, 8190, 255},
                             QStringLiteral("提示:要正常使用本工具,必须确认已安装Word."));
    setTextColour(Label1, QColor(192, 0, 0));
    Command2 = button(this, "Command2", startButtonAt(), QStringLiteral("开始"));

    connect(Command2, &QPushButton::clicked, this, &frmjmword::Command2_Click);
}

frmjmword::~frmjmword() = default;

void frmjmword::Command2_Click()
{
    if (m_batch.busy())
        return;
    // The run reads the boxes now: the window takes no input until it ends.
    WordRunInputs inputs;
    inputs.documents = list().entries();
    inputs.password = Text2->text();
    inputs.writePassword = Text4->text();
    const QPointer<frmjmword> self(this);
    // Password prompts are asked here, on the window's thread.
    const WordApplication::PasswordPrompt prompt = [self](const QString& text) {
        return self ? platform().inputBox(self, text, true) : QString();
    };
    m_batch.run<WordRunResult>(
        [inputs, prompt](ProgressSink& progress) {
            WordRun run(inputs, progress, [&progress, prompt](const QString& text) {
                return progress.ask([prompt, text] { return QVariant(prompt(text)); }).toString();
            });
            return run.run();
        },
        [this](WordRunResult result) { runEnded(result); });
}

void frmjmword::runEnded(const WordRunResult& result)
{
    if (result.engineFailed) {
        platform().messageBox(this, result.engineError, MsgIcon::None);
        return;
    }
    if (result.emptyList) {
        information(QStringLiteral("列表为空,请先添加文档到列表!"));
        return;
    }
    if (result.cancelled) {
        // Cancelled: the documents not handled stay listed.
        for (int i = 0; i < result.handled; ++i)
            list().removeAt(0);
        refreshCount();
        appendInfo(BatchProgress::cancelledText(result.handled));
        return;
    }
    if (result.gaveUp) {
        // The engine kept ending: the documents not tried stay listed and
        // are named.
        const QString notTried = notTriedText(result, list().entries());
        for (int i = 0; i < result.handled; ++i)
            list().removeAt(0);
        refreshCount();
        appendInfo(notTried);
        return;
    }
    clearList();
    appendInfo(QStringLiteral("列表中的所有文档加密完成!"));
}

}  // namespace kestrune
