#pragma once

#include <QAbstractListModel>
#include <QStringList>

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
    void removeAt(int row);

    bool isMarked(int row) const;
    void setMarked(int row, bool marked);
    void toggleMarked(int row);
    void setAllMarked(bool marked);
    int markedCount() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool m_markable;
    QStringList m_entries;
    std::vector<char> m_marks;  // parallel to m_entries
};

// What adding a typed text to a list came to.
enum class AddOutcome { Blank, Duplicate, Added };

// Adds a typed text to the end of a list unless it is blank (only spaces) or
// already listed exactly (letter case and blanks count). The text is added
// as typed, blanks and all.
AddOutcome addTypedEntry(PathListModel& list, const QString& text);

}  // namespace kestrune
