#include "app/mdiform1.h"

#include "core/system/appicon.h"
#include "gui/common/formutil.h"
#include "gui/about/frmtip.h"
#include "core/system/platform.h"
#include "core/fs/trash.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMdiArea>
#include <QMenuBar>

namespace kestrune {

MDIForm1::MDIForm1(QWidget* parent) : MDIForm1(toolWindowCatalog(), parent) {}

MDIForm1::MDIForm1(std::vector<ToolWindowEntry> catalog, QWidget* parent)
    : QMainWindow(parent), m_catalog(std::move(catalog))
{
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(appIcon());
    m_workspace = new QMdiArea(this);
    m_workspace->setObjectName(QStringLiteral("workspace"));
    setCentralWidget(m_workspace);
    buildMenus();
    // Client area 6690 x 4245 twips below the menu bar.
    resize(tw(6690), tw(4245) + menuBar()->sizeHint().height());
}

MDIForm1::~MDIForm1()
{
    // Windows without an owner are not our children: they go with us.
    for (const QPointer<QWidget>& w : std::as_const(m_windows))
        if (w && w->parentWidget() != this)
            delete w.data();
}

QAction* MDIForm1::addItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void MDIForm1::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto addMenu = [&](const char* name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    menuFile = addMenu("menuFile", QStringLiteral("文件工具(&F)"));
    menuRec = addItem(menuFile, "menuRec", QStringLiteral("文件信息记录(&R)"));
    menumove = addItem(menuFile, "menumove", QStringLiteral("文件批量管理(&M)"));
    g1 = addItem(menuFile, "g1", QStringLiteral("重复文件批量删除(&D)"));
    menusame = addItem(menuFile, "menusame", QStringLiteral("查找内容相同的文件(&C)"));
    // Whether the tools' deletes go to the desktop's trash; kept in the
    // user's settings, read by each batch as it starts.
    menuTrash = addItem(menuFile, "menuTrash", QStringLiteral("删除时移到回收站(&T)"));
    menuTrash->setCheckable(true);
    menuTrash->setChecked(deleteToTrashSetting());
    menuexit = addItem(menuFile, "menuexit", QStringLiteral("退出(&X)"));

    menuview = addMenu("menuview", QStringLiteral("文件查看(&V)"));
    menuviewdwg = addItem(menuview, "menuviewdwg", QStringLiteral("DWG文件(&D)"));

    v1 = addMenu("v1", QStringLiteral("系统工具(&S)"));
    menujmword = addItem(v1, "menujmword", QStringLiteral("批量加密Word文档(&W)"));
    menujmdwg = addItem(v1, "menujmdwg", QStringLiteral("批量加密AutoCAD文档(&A)"));
    menureg = addItem(v1, "menureg", QStringLiteral("ocx,dll批量注册(&O)"));

    v2 = addMenu("v2", QStringLiteral("编程工具(&T)"));
    menudecompile = addItem(v2, "menudecompile", QStringLiteral("chm文件批量反编译(&D)"));
    menuCpVb = addItem(v2, "menuCpVb", QStringLiteral("批量编译VB6工程(&C)"));

    menuHelp = addMenu("menuHelp", QStringLiteral("帮助(&H)"));
    menuTip = addItem(menuHelp, "menuTip", QStringLiteral("每日一帖(&X)"));
    menuabout = addItem(menuHelp, "menuabout", QStringLiteral("关于(&A)"));

    connect(menuRec, &QAction::triggered, this, &MDIForm1::menuRec_Click);
    connect(menumove, &QAction::triggered, this, &MDIForm1::menumove_Click);
    connect(g1, &QAction::triggered, this, &MDIForm1::g1_Click);
    connect(menusame, &QAction::triggered, this, &MDIForm1::menusame_Click);
    connect(menuTrash, &QAction::triggered, this, &MDIForm1::menuTrash_Click);
    connect(menuexit, &QAction::triggered, this, &MDIForm1::menuexit_Click);
    connect(menuviewdwg, &QAction::triggered, this, &MDIForm1::menuviewdwg_Click);
    connect(menujmword, &QAction::triggered, this, &MDIForm1::menujmword_Click);
    connect(menureg, &QAction::triggered, this, &MDIForm1::menureg_Click);
    connect(menudecompile, &QAction::triggered, this, &MDIForm1::menudecompile_Click);
    connect(menuCpVb, &QAction::triggered, this, &MDIForm1::menuCpVb_Click);
    connect(menuTip, &QAction::triggered, this, &MDIForm1::menuTip_Click);
    connect(menuabout, &QAction::triggered, this, &MDIForm1::menuabout_Click);

    // The drawing encryption window does not exist: its entry stays greyed.
    menujmdwg->setEnabled(false);
    // Entries whose window is not part of the program are greyed too.
    for (QAction* a : {menuRec, menumove, g1, menusame, menuviewdwg, menujmword, menureg, menudecompile, menuCpVb, menuTip,
                       menuabout}) {
        const ToolWindowEntry* e = entry(a->objectName());
        a->setEnabled(e && e->create);
    }
}

const ToolWindowEntry* MDIForm1::entry(const QString& menuName) const
{
    for (const ToolWindowEntry& e : m_catalog)
        if (e.menuName == menuName)
            return &e;
    return nullptr;
}

QWidget* MDIForm1::toolWindow(const QString& menuName) const
{
    return m_windows.value(menuName).data();
}

QWidget* MDIForm1::showToolWindow(const QString& menuName)
{
    const ToolWindowEntry* e = entry(menuName);
    if (!e || !e->create)
        return nullptr;
    QPointer<QWidget> window = m_windows.value(menuName);
    const bool fresh = !window;
    if (!window) {
        QWidget* created = e->create(e->owned ? this : nullptr);
        if (!created)
            return nullptr;
        // A window that is closed is destroyed; the next choice loads it afresh.
        created->setAttribute(Qt::WA_DeleteOnClose);
        if (e->owned && created->parentWidget() != this)
            created->setParent(this, created->windowFlags() | Qt::Window);
        created->setWindowFlag(Qt::Window, true);
        if (created->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey() ||
            created->windowIcon().isNull())
            created->setWindowIcon(appIcon());
        window = created;
        m_windows.insert(menuName, window);
    }
    // A new window without an owner still opens over the main window.
    auto place = [&] {
        if (fresh && !e->owned)
            centreOn(window.data(), this);
    };
    // Placed before it is shown, which window managers take as the place
    // asked for, and again once its frame is known.
    place();
    if (e->modal) {
        window->setWindowModality(Qt::ApplicationModal);
        window->show();
        place();
        window->raise();
        window->activateWindow();
        // The command returns only when the window is closed.
        QEventLoop loop;
        connect(window.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
        return window.data();
    }
    if (window->isMinimized())
        window->showNormal();
    window->show();
    place();
    window->raise();
    window->activateWindow();
    return window.data();
}

void MDIForm1::MDIForm_Load()
{
    setWindowTitle(QStringLiteral("%1  V%2.%3.%4")
                       .arg(QString::fromLatin1(kAppTitle))
                       .arg(kVersionMajor)
                       .arg(kVersionMinor)
                       .arg(kVersionRevision));
    // From here on a failing step is skipped.
    try {
        centreOnScreen(this);
    } catch (...) {
    }
    try {
        showToolWindow(QStringLiteral("menuTip"));
    } catch (...) {
    }
}

void MDIForm1::menuRec_Click() { showToolWindow(QStringLiteral("menuRec")); }
void MDIForm1::menumove_Click() { showToolWindow(QStringLiteral("menumove")); }
void MDIForm1::g1_Click() { showToolWindow(QStringLiteral("g1")); }
void MDIForm1::menusame_Click() { showToolWindow(QStringLiteral("menusame")); }
void MDIForm1::menuTrash_Click(bool checked)
{
    saveDeleteToTrashSetting(checked);
}
void MDIForm1::menuviewdwg_Click() { showToolWindow(QStringLiteral("menuviewdwg")); }
void MDIForm1::menujmword_Click() { showToolWindow(QStringLiteral("menujmword")); }
void MDIForm1::menureg_Click() { showToolWindow(QStringLiteral("menureg")); }
void MDIForm1::menudecompile_Click() { showToolWindow(QStringLiteral("menudecompile")); }
void MDIForm1::menuCpVb_Click() { showToolWindow(QStringLiteral("menuCpVb")); }
void MDIForm1::menuabout_Click() { showToolWindow(QStringLiteral("menuabout")); }

void MDIForm1::menuTip_Click()
{
    platform().beep();
    TipFromMenu = true;
    showToolWindow(QStringLiteral("menuTip"));
}

void MDIForm1::menuexit_Click()
{
    quitProgram();
}

void MDIForm1::quitProgram()
{
    // End now: every window goes without its close handler and nothing is
    // asked. A batch still running is stopped as its window goes: what it
    // had half written is removed and the programs it started are ended.
    for (const QPointer<QWidget>& w : std::as_const(m_windows)) {
        if (w) {
            w->hide();
            w->deleteLater();
        }
    }
    hide();
    QApplication::exit(0);
}

void MDIForm1::closeEvent(QCloseEvent* event)
{
    // Closing the frame ends the program: the tool windows close with it,
    // each through its own close handling (a running batch is cancelled).
    for (const QPointer<QWidget>& w : std::as_const(m_windows))
        if (w)
            w->close();
    event->accept();
    quitProgram();
}

}  // namespace kestrune
