#include "documents/frmjmword.h"

#include "shell/batchprogress.h"
#include "shell/fsnames.h"
#include "shell/platform.h"
#include "shell/textutil.h"

#include <QCloseEvent>
#include <QCoreApplication>
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

frmjmword::~frmjmword()
{
    quitInstance();
}

void frmjmword::init()
{
    quitInstance();
    try {
        m_wordapp = createWordApplication(this);
    } catch (const WordError& e) {
        platform().messageBox(this, e.description(), MsgIcon::None);
        return;
    }
    connect(m_wordapp.get(), &WordApplication::DocumentOpen, this, &frmjmword::wordapp_DocumentOpen);
    connect(m_wordapp.get(), &WordApplication::Quit, this, &frmjmword::wordapp_Quit);
}

void frmjmword::quitInstance()
{
    if (!m_wordapp)
        return;
    try {
        m_wordapp->quit();  // raises Quit, which lets go of the instance
    } catch (const WordError&) {
    }
    m_wordapp.reset();
}

void frmjmword::wordapp_Quit()
{
    // Raised from inside the instance's own call: it is deleted once that
    // call has returned.
    if (m_wordapp)
        m_wordapp.release()->deleteLater();
}

void frmjmword::Command2_Click()
{
    if (m_running)
        return;
    init();
    if (!m_wordapp)
        return;
    m_wordapp->setVisible(false);
    if (list().count() == 0) {
        information(QStringLiteral("列表为空,请先添加文档到列表!"));
        return;
    }

    m_running = true;
    const QStringList documents = list().entries();
    BatchProgress progress(this, int(documents.size()));
    int handled = 0;
    for (const QString& entry : documents) {
        const QString path = trimBlanks(entry);
        if (m_closeAsked || !progress.step(path, handled))
            break;
        appendInfo(QStringLiteral("加密文档 ") + displayFileName(path));
        // The line is on screen before the document is opened.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (const std::optional<QString> failed = comp(path))
            appendInfo(*failed);
        ++handled;
    }
    quitInstance();
    m_running = false;

    if (m_closeAsked) {
        close();
        return;
    }
    if (handled < documents.size()) {
        // Cancelled: the documents not handled stay listed.
        for (int i = 0; i < handled; ++i)
            list().removeAt(0);
        refreshCount();
        appendInfo(BatchProgress::cancelledText(handled));
        return;
    }
    clearList();
    appendInfo(QStringLiteral("列表中的所有文档加密完成!"));
}

std::optional<QString> frmjmword::comp(const QString& path)
{
    QString reason;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!m_wordapp)
            break;  // the instance ended
        try {
            m_wordapp->openDocument(path, false);
            return std::nullopt;
        } catch (const WordError& e) {
            reason = e.description();
            // A cancelled password prompt is the user's answer: not asked again.
            if (e.cancelledByUser())
                break;
        }
    }
    if (reason.isEmpty())
        reason = QStringLiteral("文档引擎已经退出");
    return QStringLiteral("  无法打开:") + reason;
}

void frmjmword::wordapp_DocumentOpen(WordDocument* document)
{
    // The boxes as they read now, for this document.
    document->setPassword(Text2->text());
    document->setWritePassword(Text4->text());
    try {
        document->save();
    } catch (const WordError& e) {
        appendInfo(QStringLiteral("  ") + e.description());
    }
    try {
        document->close();
    } catch (const WordError&) {
    }
}

void frmjmword::Form_Unload()
{
    quitInstance();
}

void frmjmword::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        // The document in hand is finished first; the run then ends and
        // closes the window.
        m_closeAsked = true;
        event->ignore();
        return;
    }
    Form_Unload();
    WorkListForm::closeEvent(event);
}

}  // namespace kestrune
