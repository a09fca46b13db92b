#include "devtools/worklist.h"

#include "filemanager/batchwalk.h"
#include "shell/fsnames.h"
#include "shell/textutil.h"

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

WorkList::TreeAdd WorkList::addTree(const Folder& root, const QString& extensionText)
{
    TreeAdd result;
    // One walk reaches every path once: only the entries listed before need
    // a look-up.
    QStringList found;
    const int room = kMaxEntries - count();
    walkFiles(root, true, [&](const File& f) {
        if (result.full || !matchesTypeList(f.Name(), extensionText))
            return;
        QString path = f.Path();
        if (m_index.contains(path))
            return;
        if (found.size() >= room)
            result.full = true;
        else
            found.append(std::move(path));
    });
    result.added = int(found.size());
    append(std::move(found));
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
