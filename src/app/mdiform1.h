#pragma once

#include "app/windowcatalog.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>

class QAction;
class QMdiArea;
class QMenu;

namespace kestrune {


// The main window: a frame with an empty workspace and the menu bar that
// opens every tool window.
class MDIForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit MDIForm1(QWidget* parent = nullptr);
    // Tests give a catalog of their own.
    explicit MDIForm1(std::vector<ToolWindowEntry> catalog, QWidget* parent = nullptr);
    ~MDIForm1() override;

    // The one place that opens tool windows: creates the window of a menu
    // entry on first use (or after it was closed), shows it modal or
    // modeless, owned or not, and brings an open one to the front. Returns
    // the window (for a modal one: after it was closed, so nullptr).
    QWidget* showToolWindow(const QString& menuName);
    // The open instance of a menu entry's window, if any.
    QWidget* toolWindow(const QString& menuName) const;

    QMdiArea* workspace() const { return m_workspace; }

    // Ends the program as 退出 does (also on SIGTERM, SIGINT and SIGHUP):
    // windows hidden, the event loop left with status 0; running batches
    // stop as their windows go.
    void quitProgram();

    QMenu* menuFile = nullptr;
    QMenu* menuview = nullptr;
    QMenu* v1 = nullptr;
    QMenu* v2 = nullptr;
    QMenu* menuHelp = nullptr;

    QAction* menuRec = nullptr;
    QAction* menumove = nullptr;
    QAction* g1 = nullptr;
    QAction* menusame = nullptr;
    QAction* menuTrash = nullptr;
    QAction* menuexit = nullptr;
    QAction* menuviewdwg = nullptr;
    QAction* menujmword = nullptr;
    QAction* menujmdwg = nullptr;
    QAction* menureg = nullptr;
    QAction* menudecompile = nullptr;
    QAction* menuCpVb = nullptr;
    QAction* menuTip = nullptr;
    QAction* menuabout = nullptr;

public slots:
    void MDIForm_Load();
    void menuRec_Click();
    void menumove_Click();
    void g1_Click();
    void menusame_Click();
    void menuTrash_Click(bool checked);
    void menuexit_Click();
    void menuviewdwg_Click();
    void menujmword_Click();
    void menureg_Click();
    void menudecompile_Click();
    void menuCpVb_Click();
    void menuTip_Click();
    void menuabout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption);
    const ToolWindowEntry* entry(const QString& menuName) const;

    std::vector<ToolWindowEntry> m_catalog;
    QMap<QString, QPointer<QWidget>> m_windows;
    QMdiArea* m_workspace = nullptr;
};

}  // namespace kestrune
