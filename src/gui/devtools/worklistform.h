#pragma once

#include "core/devtools/worklist.h"
#include "gui/common/batchprogress.h"
#include "core/batch/batchrunner.h"
#include "gui/common/formutil.h"
#include "core/fs/fso.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace kestrune {

class PathListView;

// The values in which the list-driven tool windows differ.
struct WorkListTexts {
    QString caption;
    QString extension;      // the tool's extension text, ";"-separated
    QString addCaption;     // Command1
    QString removeCaption;  // Command3
    QString duplicate;      // the message for an entry already listed
    QString countSuffix;    // after the number in the count label
    QString welcome;        // the first line of the information box
    QString hint;           // Label2, above the path box
    QString filter;         // the open dialog of Image1
    int topOffset = 0;      // twips below the main window's top at load
    int toolHeight = 0;     // twips the tool's own controls take above the information box
};

// The part every list-driven tool window shares: the path box with its
// browse picture, the work list with its buttons and count label, and the
// information box with its reset and close buttons. A tool derives from it,
// places its own controls in the band that starts at toolTop() and its
// start button at startButtonAt(), and runs the list.
class WorkListForm : public QDialog {
    Q_OBJECT
public:
    WorkListForm(WorkListTexts texts, QWidget* parent);

    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    ClickLabel* Image1 = nullptr;
    PathListView* List1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command7 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* Text3 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command5 = nullptr;

    WorkList& list() { return *m_list; }
    const WorkListTexts& texts() const { return m_texts; }
    // The form-level extension text, set at load.
    const QString& extensionText() const { return m_extension; }

    // Starts adding the matching files of the tree of `b` that are not
    // listed yet, as a batch; the list grows when it has ended.
    void dieda(const Folder& b);
    BatchRunner& runner() { return m_batch.runner(); }

    // Appends a line to the information box and scrolls to it.
    void appendInfo(const QString& line);
    // The count label after a change of the list.
    void refreshCount();
    // After a run: the list and the count label emptied.
    void clearList();

public slots:
    void Form_Load();
    void Command1_Click();
    void Image1_Click();
    void Command4_Click();
    void Command3_Click();
    void Command7_Click();
    void Command6_Click();
    void Command5_Click();

protected:
    // Where a tool's own controls start (twips from the top of the client area).
    static constexpr int kToolTop = 3540;
    int toolTop() const { return kToolTop; }
    // The place of the tool's start button, in the bottom row.
    Twips startButtonAt() const;
    void information(const QString& text);
    // Closing while a batch runs stops it as "取消" does; the window closes
    // once it has stopped.
    void closeEvent(QCloseEvent* event) override;
    // The window's batch (folder add, and a tool's run).
    WindowBatch m_batch{this};

private:
    int belowTool(int offset) const { return kToolTop + m_texts.toolHeight + offset; }

    WorkListTexts m_texts;
    QString m_extension;
    WorkList* m_list = nullptr;
    FileSystemObject m_fso;
};

}  // namespace kestrune
