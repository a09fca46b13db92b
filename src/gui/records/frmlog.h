#pragma once

#include "core/records/recordstore.h"

#include <QDialog>

#include <memory>

class QPushButton;
class QStandardItemModel;
class QTableView;

namespace kestrune {

// The run log: one row per recording run; deletes the oldest entry or all.
class Frmlog : public QDialog {
    Q_OBJECT
public:
    explicit Frmlog(QWidget* parent = nullptr);
    ~Frmlog() override;

    QTableView* MSF1 = nullptr;
    QPushButton* Command1 = nullptr;  // 删除
    QPushButton* Command2 = nullptr;  // 清空
    QPushButton* Command3 = nullptr;  // 关闭

    RecordStore* store() const { return m_store.get(); }
    std::unique_ptr<TableCursor> Data2;

public slots:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    // Re-reads Data2 and refills the grid.
    void refresh();

    std::unique_ptr<RecordStore> m_store;
    QStandardItemModel* m_model = nullptr;
};

}  // namespace kestrune
