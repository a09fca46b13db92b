#pragma once

#include "core/duplicates/duplicatesearch.h"
#include "core/duplicates/pathlistmodel.h"
#include "core/fs/fso.h"
#include "core/same/samefinder.h"
#include "gui/common/batchprogress.h"
#include "gui/common/formutil.h"

#include <QDialog>

#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class MarkListView;

// 查找内容相同的文件: a list of folder trees to search (a marked folder is a
// reference folder: its files are the ones kept), an optional minimum size
// and name pattern, and the groups of identical files found there, whose
// files the user checks and deletes or exports.
class frmsame : public QDialog {
    Q_OBJECT
public:
    explicit frmsame(QWidget* parent = nullptr);

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text1 = nullptr;
    ClickLabel* Image1 = nullptr;
    MarkListView* List1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label4 = nullptr;

    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text3 = nullptr;
    QPushButton* Command3 = nullptr;

    QLabel* Label1 = nullptr;
    QTreeWidget* Tree1 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;

    PathListModel& folders() { return *m_folders; }
    const std::vector<SameGroup>& groups() const { return m_groups; }
    // The file item of `file` in group `group` of the result list.
    QTreeWidgetItem* fileItem(int group, int file) const;
    BatchRunner& runner() { return m_batch.runner(); }

public slots:
    void Image1_Click();
    void Command1_Click();  // 添加到列表
    void Command2_Click();  // 从列表删除
    void Command3_Click();  // 开始查找
    void Command4_Click();  // 每组保留一个
    void Command5_Click();  // 取消全选
    void Command6_Click();  // 删除所选
    void Command7_Click();  // 导出...
    void Command8_Click();  // 关闭

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void message(const QString& text);
    void showGroups(std::vector<SameGroup> groups);

    PathListModel* m_folders = nullptr;
    std::vector<SameGroup> m_groups;
    // The folders searched while this window is open: copies are deleted
    // only through them.
    SearchRoots m_roots;
    WindowBatch m_batch{this};
};

}  // namespace kestrune
