#include "gui/devtools/worklistform.h"

#include "gui/duplicates/frmdlg.h"
#include "core/system/platform.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace kestrune {

namespace {
const QString kFull = QStringLiteral("列表已满,最多只能容纳32767项!");
}

WorkListForm::WorkListForm(WorkListTexts texts, QWidget* parent) : QDialog(parent), m_texts(std::move(texts))
{
    setWindowTitle(m_texts.caption);
    setClientTwips(this, 8430, belowTool(2580));
    keepOpenOnEscape(this);
    m_list = new WorkList(this);

    Label2 = control<QLabel>(this, "Label2", {120, 120, 8100, 255}, m_texts.hint);
    setTextColour(Label2, QColor(192, 0, 0));
    Text1 = control<QLineEdit>(this, "Text1", {120, 420, 6240, 315});
    Image1 = browsePicture(this, "Image1", {6420, 420, 315, 315});

    List1 = control<PathListView>(this, "List1", {120, 840, 6615, 2295});
    List1->setModel(m_list);
    Command1 = button(this, "Command1", {6855, 840, 1455, 390}, m_texts.addCaption);
    Command3 = button(this, "Command3", {6855, 1320, 1455, 390}, m_texts.removeCaption);
    Command4 = button(this, "Command4", {6855, 1800, 1455, 390}, QStringLiteral("添加目录到列表"));
    Command7 = button(this, "Command7", {6855, 2280, 1455, 390}, QStringLiteral("清空列表"));
    Label4 = control<QLabel>(this, "Label4", {120, 3195, 6615, 255});

    Label3 = control<QLabel>(this, "Label3", {120, belowTool(0), 1500, 255}, QStringLiteral("信息提示:"));
    Text3 = control<QPlainTextEdit>(this, "Text3", {120, belowTool(300), 8190, 1620});
    Text3->setReadOnly(true);
    Command6 = button(this, "Command6", {3465, belowTool(2040), 1500, 420}, QStringLiteral("清空信息框"));
    Command5 = button(this, "Command5", {5865, belowTool(2040), 1500, 420}, QStringLiteral("关闭"));

    connect(Command1, &QPushButton::clicked, this, &WorkListForm::Command1_Click);
    connect(Image1, &ClickLabel::clicked, this, &WorkListForm::Image1_Click);
    connect(Command4, &QPushButton::clicked, this, &WorkListForm::Command4_Click);
    connect(Command3, &QPushButton::clicked, this, &WorkListForm::Command3_Click);
    connect(Command7, &QPushButton::clicked, this, &WorkListForm::Command7_Click);
    connect(Command6, &QPushButton::clicked, this, &WorkListForm::Command6_Click);
    connect(Command5, &QPushButton::clicked, this, &WorkListForm::Command5_Click);

    // Lines a batch writes into the information box arrive in order.
    connect(&m_batch.runner(), &BatchRunner::lineAdded, this, &WorkListForm::appendInfo);

    Form_Load();
}

Twips WorkListForm::startButtonAt() const
{
    return {1065, belowTool(2040), 1500, 420};
}

void WorkListForm::Form_Load()
{
    Text3->setPlainText(workListWelcomeText(m_texts.welcome));
    m_extension = m_texts.extension;
    if (const QWidget* main = ownerWindow(this))
        move(main->pos().x(), main->pos().y() + tw(m_texts.topOffset));
}

void WorkListForm::information(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

void WorkListForm::appendInfo(const QString& line)
{
    QTextCursor cursor = Text3->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(line + QLatin1Char('\n'));
    Text3->setTextCursor(cursor);
    Text3->ensureCursorVisible();
}

void WorkListForm::refreshCount()
{
    Label4->setText(workListCountText(m_list->count(), m_texts.countSuffix));
}

void WorkListForm::clearList()
{
    m_list->clear();
    Label4->clear();
}

void WorkListForm::Command1_Click()
{
    switch (m_list->addTyped(Text1->text())) {
    case WorkList::TypedAdd::Blank:
        information(QStringLiteral("文件路径为空!无法添加!"));
        break;
    case WorkList::TypedAdd::Duplicate:
        // The text stays for the user to correct.
        information(m_texts.duplicate);
        return;
    case WorkList::TypedAdd::Full:
        information(kFull);
        refreshCount();
        return;
    case WorkList::TypedAdd::Added:
        break;
    }
    Text1->clear();
    refreshCount();
}

void WorkListForm::Image1_Click()
{
    const std::optional<QString> chosen = platform().openFile(this, m_texts.filter);
    if (chosen && !chosen->isEmpty())
        Text1->setText(*chosen);
}

void WorkListForm::Command4_Click()
{
    const std::optional<QString> chosen = platform().chooseFolder(this, QStringLiteral("请选择想添加的文件夹："));
    if (!chosen)
        return;
    Folder folder;
    bool empty = false;
    try {
        folder = m_fso.GetFolder(*chosen);
        empty = folder.SubFolderCount() < 1 && folder.FileCount() < 1;
    } catch (const FsError& e) {
        information(QStringLiteral("无法打开所选文件夹：%1\n%2").arg(*chosen, e.message()));
        return;
    }
    if (empty) {
        information(QStringLiteral("所选文件夹是空的!"));
        refreshCount();
        return;
    }
    dieda(folder);
}

void WorkListForm::dieda(const Folder& b)
{
    const QSet<QString> listed = m_list->index();
    const int room = m_list->room();
    const QString extension = m_extension;
    m_batch.run<WorkList::TreeAdd>(
        [root = b.Path(), listed, room, extension](ProgressSink& progress) {
            return WorkList::findInTree(root, extension, listed, room, &progress);
        },
        [this](WorkList::TreeAdd add) {
            // What was found before a cancel is kept.
            m_list->appendFound(add);
            if (add.full)
                information(kFull);
            else if (add.stopped)
                information(BatchProgress::cancelledText(add.added));
            refreshCount();
        });
}

void WorkListForm::closeEvent(QCloseEvent* event)
{
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void WorkListForm::Command3_Click()
{
    m_list->removeAt(List1->selectedRow());
    List1->clearSelection();
    refreshCount();
}

void WorkListForm::Command7_Click()
{
    clearList();
}

void WorkListForm::Command6_Click()
{
    Text3->setPlainText(workListWelcomeText(m_texts.welcome));
}

void WorkListForm::Command5_Click()
{
    close();
}

}  // namespace kestrune
