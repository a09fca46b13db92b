#include "app/windowcatalog.h"

#include "gui/devtools/frmcompile.h"
#include "gui/devtools/frmdecp.h"
#include "gui/devtools/frmregsvr.h"
#include "gui/documents/frmjmword.h"
#include "gui/documents/frmviewdwg.h"
#include "gui/duplicates/frmdlg.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmrec.h"
#include "gui/same/frmsame.h"
#include "gui/about/frmabout.h"
#include "gui/about/frmtip.h"

#include <QWidget>

namespace kestrune {

namespace {
template <typename Window>
std::function<QWidget*(QWidget*)> make()
{
    return [](QWidget* owner) -> QWidget* { return new Window(owner); };
}
}  // namespace

std::vector<ToolWindowEntry> toolWindowCatalog()
{
    // Mode and owner of each tool window; a window joins the program by
    // giving its entry a factory, e.g. make<frmmove>().
    return {
        {QStringLiteral("menuRec"), true, true, make<frmrec>()},
        {QStringLiteral("menujmword"), true, true, make<frmjmword>()},
        {QStringLiteral("g1"), false, true, make<FrmDlg>()},
        {QStringLiteral("menusame"), false, true, make<frmsame>()},
        {QStringLiteral("menuviewdwg"), false, true, make<FrmViewdwg>()},
        {QStringLiteral("menudecompile"), false, true, make<Frmdecp>()},
        {QStringLiteral("menuCpVb"), false, true, make<frmCompile>()},
        {QStringLiteral("menuTip"), false, true, &frmTip::create},
        {QStringLiteral("menumove"), false, false, make<frmmove>()},
        {QStringLiteral("menureg"), false, false, make<Frmregsvr>()},
        {QStringLiteral("menuabout"), false, false, make<frmAbout>()},
    };
}

}  // namespace kestrune
