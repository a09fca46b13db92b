#include "core/duplicates/pathlistmodel.h"

#include "core/duplicates/duplicatesearch.h"
#include "core/fs/fsnames.h"

#include <algorithm>

namespace kestrune {

PathListModel::PathListModel(bool markable, QObject* parent) : QAbstractListModel(parent), m_markable(markable) {}

void PathListModel::append(const QString& text)
{
    append(QStringList{text});
}

void PathListModel::append(const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + int(texts.size()) - 1);
    m_entries.append(texts);
    m_marks.resize(size_t(m_entries.size()), 0);
    if (!m_contents.empty())
        m_contents.resize(size_t(m_entries.size()));
    endInsertRows();
}

void PathListModel::append(const QStringList& texts, std::vector<FoundContent> contents)
{
    if (texts.isEmpty())
        return;
    contents.resize(size_t(texts.size()));
    m_contents.resize(size_t(m_entries.size()));
    m_contents.insert(m_contents.end(), std::make_move_iterator(contents.begin()),
                      std::make_move_iterator(contents.end()));
    append(texts);
}

const FoundContent& PathListModel::content(int row) const
{
    static const FoundContent none;
    if (row < 0 || size_t(row) >= m_contents.size())
        return none;
    return m_contents[size_t(row)];
}

void PathListModel::setContentIcons(const QVariant& same, const QVariant& notSame)
{
    m_sameIcon = same;
    m_notSameIcon = notSame;
}

void PathListModel::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.removeAt(row);
    m_marks.erase(m_marks.begin() + row);
    if (size_t(row) < m_contents.size())
        m_contents.erase(m_contents.begin() + row);
    endRemoveRows();
}

bool PathListModel::isMarked(int row) const
{
    return row >= 0 && row < count() && m_marks[size_t(row)] != 0;
}

void PathListModel::setMarked(int row, bool marked)
{
    if (row < 0 || row >= count() || (m_marks[size_t(row)] != 0) == marked)
        return;
    m_marks[size_t(row)] = marked ? 1 : 0;
    const QModelIndex i = index(row);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void PathListModel::toggleMarked(int row)
{
    setMarked(row, !isMarked(row));
}

void PathListModel::setAllMarked(bool marked)
{
    if (m_marks.empty())
        return;
    std::fill(m_marks.begin(), m_marks.end(), marked ? 1 : 0);
    emit dataChanged(index(0), index(count() - 1), {Qt::CheckStateRole});
}

int PathListModel::markedCount() const
{
    return int(std::count(m_marks.begin(), m_marks.end(), 1));
}

int PathListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant PathListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const FoundContent& c = content(index.row());
    switch (role) {
    case Qt::DisplayRole:
        // Shown readable; the entry keeps the exact path it stands for.
        return displayFileName(m_entries.at(index.row()));
    case Qt::ToolTipRole:
        if (c.mark != ContentMark::None)
            return contentMarkText(c);
        return displayFileName(m_entries.at(index.row()));
    case Qt::DecorationRole:
        if (c.mark == ContentMark::None)
            return QVariant();
        return c.mark == ContentMark::Same ? m_sameIcon : m_notSameIcon;
    case Qt::CheckStateRole:
        if (m_markable)
            return m_marks[size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags PathListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Marks are toggled by the view on a click anywhere on the entry, not by
    // the check box alone: the entries are not "user checkable" for Qt.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

AddOutcome addTypedEntry(PathListModel& list, const QString& text)
{
    if (trimBlanks(text).isEmpty())
        return AddOutcome::Blank;
    if (list.contains(text))
        return AddOutcome::Duplicate;
    list.append(text);
    return AddOutcome::Added;
}

}  // namespace kestrune
