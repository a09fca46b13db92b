#include "app/windowcatalog.h"

#include "devtools/frmcompile.h"
#include "devtools/frmdecp.h"
#include "devtools/frmregsvr.h"
#include "documents/frmjmword.h"
#include "documents/frmviewdwg.h"
#include "duplicates/frmdlg.h"
#include "filemanager/frmmove.h"
#include "records/frmrec.h"
#include "shell/frmabout.h"
#include "shell/frmtip.h"

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
