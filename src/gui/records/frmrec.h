#pragma once

#include "core/records/recorder.h"
#include "core/records/recordstore.h"
#include "gui/common/batchprogress.h"
#include "core/batch/batchrunner.h"
#include "gui/common/formutil.h"
#include "core/fs/fso.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace kestrune {

// The recorder: records the files of one folder at a time into db1.mdb,
// clears the file records, shows the run log and opens the log window, and
// finds recorded files by size.
class frmrec : public QDialog {
    Q_OBJECT
public:
    explicit frmrec(QWidget* owner = nullptr);
    ~frmrec() override;

    QPushButton* Command1 = nullptr;  // 选择一个目录
    QPushButton* Command2 = nullptr;  // 当前目录
    QPushButton* Command3 = nullptr;  // 清空记录
    QPushButton* Command4 = nullptr;  // 日 志
    QLineEdit* Text4 = nullptr;
    QPushButton* Command5 = nullptr;  // 记录
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QComboBox* Combo1 = nullptr;
    ClickLabel* Label1 = nullptr;  // 查询: starts the size query
    QLabel* Label2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPlainTextEdit* Text2 = nullptr;  // the names the size query found
    QTableView* MSF1 = nullptr;

    // The connection and the two cursors: fileInf and log.
    RecordStore* store() const { return m_store.get(); }
    std::unique_ptr<TableCursor> Data1;
    std::unique_ptr<TableCursor> Data2;

public slots:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Text1_GotFocus();
    void Label1_Click();
    void QueryBySize();

    BatchRunner& runner() { return m_batch.runner(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // One recording run of folder `path`, with the message that closes it.
    void recordRun(const QString& path, int nameLimit, const QString& doneMessage);
    void recordEnded(const RecordRun& run, const QString& path, const QString& doneMessage);
    // Re-reads Data2 and refills the grid.
    void refreshLog();
    void setRecordControlsEnabled(bool enabled);

    std::unique_ptr<RecordStore> m_store;
    FileSystemObject m_fso;
    QStandardItemModel* m_logModel = nullptr;
    WindowBatch m_batch{this};
};

// Fills a grid model with a table's field names and rows, keeping its
// columns (and so the widths given to them).
void fillGridModel(QStandardItemModel* model, const TableContents& contents);

}  // namespace kestrune
