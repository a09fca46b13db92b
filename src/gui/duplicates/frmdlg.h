#pragma once

#include "core/duplicates/duplicatesearch.h"
#include "gui/common/batchprogress.h"
#include "core/batch/batchrunner.h"
#include "core/duplicates/pathlistmodel.h"
#include "gui/common/formutil.h"
#include "core/fs/fso.h"

#include <QDialog>
#include <QListView>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune {

// A list of paths for any number of entries: every entry one line high, a
// long path shortened in its middle (the whole path is its tooltip).
class PathListView : public QListView {
    Q_OBJECT
public:
    explicit PathListView(QWidget* parent = nullptr);
    // The selected entry, or -1.
    int selectedRow() const;
};

// The list of found files: a click on an entry, or the space bar on the
// current one, toggles its mark; any number of entries can be marked.
class MarkListView : public PathListView {
    Q_OBJECT
public:
    explicit MarkListView(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The duplicate finder: a list of files to look for, a list of folders to
// search, and the list of files found there with the same names, which the
// user marks and deletes.
class FrmDlg : public QDialog {
    Q_OBJECT
public:
    explicit FrmDlg(QWidget* parent = nullptr);

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text1 = nullptr;
    ClickLabel* Image1 = nullptr;
    PathListView* List1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;

    QGroupBox* Frame2 = nullptr;
    QLineEdit* Text2 = nullptr;
    PathListView* List2 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;

    QPushButton* Command7 = nullptr;
    QLabel* Label1 = nullptr;
    MarkListView* List3 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command12 = nullptr;
    QPushButton* Command13 = nullptr;

    // The entries of the three lists.
    PathListModel& files() { return *m_files; }
    PathListModel& folders() { return *m_folders; }
    PathListModel& found() { return *m_found; }

    // Appends the files of the tree of `b` that are named like `searchfile`
    // to the found files.
    void dieda2(const File& searchfile, const Folder& b);
    // Appends every file of the tree of `b` to the files to look for, except
    // those already listed.
    void dieda(const Folder& b);

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();
    void Command13_Click();
    void Image1_Click();
    void Check1_Click();

    BatchRunner& runner() { return m_batch.runner(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void message(const QString& text);

    // Deletes the files of the found entries (the marked ones only, or all),
    // with progress and cancel.
    void deleteEntries(bool markedOnly);
    // The same for the entries `rows` with "只删除内容相同的文件" on: only
    // true copies go, each compared again right before.
    void deleteCopiesOf(const std::vector<int>& rows);

    FileSystemObject m_fso;
    DuplicateSearch m_search{m_fso};
    // The folders searched while this window is open: found files are
    // deleted only through them.
    SearchRoots m_roots;
    PathListModel* m_files = nullptr;
    PathListModel* m_folders = nullptr;
    PathListModel* m_found = nullptr;
    bool m_placed = false;
    WindowBatch m_batch{this};
};

}  // namespace kestrune
