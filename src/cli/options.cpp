#include "cli/options.h"

#include "cli/output.h"
#include "core/devtools/worklist.h"
#include "core/fs/fso.h"
#include "core/fs/trash.h"

namespace kestrune::cli {

std::optional<bool> trashChoice(const Parsed& p)
{
    if (p.has("--trash") && p.has("--no-trash"))
        return std::nullopt;
    if (p.has("--trash"))
        return true;
    if (p.has("--no-trash"))
        return false;
    return deleteToTrashSetting();
}

bool buildWorkList(WorkList& list, const QStringList& args, const QString& extension)
{
    const FileSystemObject fso;
    for (const QString& arg : args) {
        if (fso.FolderExists(arg)) {
            try {
                list.addTree(fso.GetFolder(arg), extension);
            } catch (const FsError& e) {
                failure(QStringLiteral("无法打开文件夹"), arg, e.message());
                return false;
            }
        } else {
            list.addTyped(arg);
        }
    }
    return true;
}

}  // namespace kestrune::cli
