#include "core/devtools/worklist.h"

#include "core/filemanager/batchwalk.h"
#include "core/fs/fsnames.h"
#include "core/system/textutil.h"

namespace kestrune {

WorkList::WorkList(QObject* parent) : QAbstractListModel(parent) {}

WorkList::TypedAdd WorkList::addTyped(const QString& text)
{
    if (trimBlanks(text).isEmpty())
        return TypedAdd::Blank;
    if (contains(text))
        return TypedAdd::Duplicate;
    if (isFull())
        return TypedAdd::Full;
    append({text});
    return TypedAdd::Added;
}

WorkList::TreeAdd WorkList::findInTree(const QString& rootPath, const QString& extensionText,
                                       const QSet<QString>& listed, int room, ProgressSink* progress)
{
    TreeAdd result;
    Folder root;
    try {
        root = FileSystemObject().GetFolder(rootPath);
    } catch (const FsError&) {
        return result;
    }
    // One walk reaches every path once: only the entries listed before need
    // a look-up.
    int found = 0;
    result.stopped = !walkListings(
        root, true,
        [&](const Folder&, std::vector<File>& files) {
            for (const File& f : files) {
                if (!matchesTypeList(f.Name(), extensionText))
                    continue;
                QString path = f.Path();
                if (listed.contains(path))
                    continue;
                if (result.found.size() >= room) {
                    result.full = true;
                    return WalkOn::Stop;
                }
                result.found.append(std::move(path));
            }
            found = int(result.found.size());
            return WalkOn::Go;
        },
        {progress, &found});
    if (result.full)
        result.stopped = false;
    return result;
}

void WorkList::appendFound(TreeAdd& add)
{
    add.added = int(add.found.size());
    append(std::move(add.found));
    add.found.clear();
}

WorkList::TreeAdd WorkList::addTree(const Folder& root, const QString& extensionText)
{
    TreeAdd result = findInTree(root.Path(), extensionText, m_index, room());
    appendFound(result);
    return result;
}

void WorkList::append(QStringList texts)
{
    if (texts.isEmpty())
        return;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + int(texts.size()) - 1);
    for (const QString& t : texts)
        m_index.insert(t);
    m_entries.append(std::move(texts));
    endInsertRows();
}

void WorkList::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_index.remove(m_entries.at(row));
    m_entries.removeAt(row);
    endRemoveRows();
}

void WorkList::clear()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    m_index.clear();
    endResetModel();
}

int WorkList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant WorkList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return displayFileName(m_entries.at(index.row()));  // the entry keeps the exact path
    return QVariant();
}

QString workListCountText(int count, const QString& suffix)
{
    return QStringLiteral("列表中有") + QString::number(count) + suffix;
}

QString workListWelcomeText(const QString& welcome)
{
    return welcome + QStringLiteral("\n\n");
}

}  // namespace kestrune
