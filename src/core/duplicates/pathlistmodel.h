#pragma once

#include "core/duplicates/contentmarks.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace kestrune {

// The entries of one of the duplicate finder's lists: paths as text, in the
// order added, each with an optional mark. Appending many entries at once is
// one change for the views, so that lists of a hundred thousand entries stay
// quick.
class PathListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // With `markable` every entry shows its mark as a check box.
    explicit PathListModel(bool markable = false, QObject* parent = nullptr);

    int count() const { return int(m_entries.size()); }
    const QStringList& entries() const { return m_entries; }
    QString entry(int row) const { return m_entries.value(row); }
    // Exact comparison: letter case and blanks count.
    bool contains(const QString& text) const { return m_entries.contains(text); }

    void append(const QString& text);
    void append(const QStringList& texts);
    // Entries with what their contents were found to be (one per text).
    void append(const QStringList& texts, std::vector<FoundContent> contents);
    void removeAt(int row);

    bool isMarked(int row) const;
    void setMarked(int row, bool marked);
    void toggleMarked(int row);
    void setAllMarked(bool marked);
    int markedCount() const;

    // What an entry's contents were found to be (None when not compared).
    const FoundContent& content(int row) const;
    // The pictures entries show for their contents: the same as a listed
    // file, or not (different, the listed file itself, unreadable).
    void setContentIcons(const QVariant& same, const QVariant& notSame);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool m_markable;
    QStringList m_entries;
    std::vector<char> m_marks;  // parallel to m_entries
    std::vector<FoundContent> m_contents;  // parallel to m_entries once any entry has one
    QVariant m_sameIcon;
    QVariant m_notSameIcon;
};

// What adding a typed text to a list came to.
enum class AddOutcome { Blank, Duplicate, Added };

// Adds a typed text to the end of a list unless it is blank (only spaces) or
// already listed exactly (letter case and blanks count). The text is added
// as typed, blanks and all.
AddOutcome addTypedEntry(PathListModel& list, const QString& text);

}  // namespace kestrune
