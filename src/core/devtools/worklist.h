#pragma once

#include "core/batch/batchrunner.h"
#include "core/fs/fso.h"

#include <QAbstractListModel>
#include <QSet>
#include <QString>
#include <QStringList>

namespace kestrune {

// The work list of the list-driven tools (project compiler, Word
// encryption): file paths in the order added, no two exactly equal (letter
// case and blanks count). It is the model of the window's list box, so every
// change reaches the view; it needs no widgets itself.
class WorkList : public QAbstractListModel {
    Q_OBJECT
public:
    // Counts and indexes of the list are 16-bit numbers.
    static constexpr int kMaxEntries = 32767;

    explicit WorkList(QObject* parent = nullptr);

    int count() const { return int(m_entries.size()); }
    const QStringList& entries() const { return m_entries; }
    QString entry(int row) const { return m_entries.value(row); }
    // Exact comparison, as the list's own duplicate test makes it.
    bool contains(const QString& text) const { return m_index.contains(text); }
    bool isFull() const { return count() >= kMaxEntries; }

    // What adding a typed path came to.
    enum class TypedAdd { Blank, Duplicate, Full, Added };
    // Appends `text` exactly as typed unless it is blank (spaces only), already
    // listed or the list is full.
    TypedAdd addTyped(const QString& text);

    struct TreeAdd {
        int added = 0;
        bool full = false;     // the list filled up before the walk ended
        bool stopped = false;  // the walk was stopped (what it found before is added)
        QStringList found;     // what findInTree found
    };
    // The walk of addTree on its own, for a batch (which gets the folder's
    // path and opens it on its own thread): `listed` are the entries listed
    // before, `room` how many more the list takes. `progress` is told of
    // each folder and can stop the walk. A root that cannot be opened adds
    // nothing.
    static TreeAdd findInTree(const QString& rootPath, const QString& extensionText, const QSet<QString>& listed,
                              int room, ProgressSink* progress = nullptr);
    // Appends what findInTree found.
    void appendFound(TreeAdd& add);
    const QSet<QString>& index() const { return m_index; }
    int room() const { return kMaxEntries - count(); }
    // Appends the full path of every file of the tree of `root` (depth first,
    // a folder's own files before its subfolders) whose name ends in one of
    // the ";"-separated extensions, unless it is already listed. Folders and
    // files that cannot be read are skipped. Adds nothing more once the list
    // is full.
    TreeAdd addTree(const Folder& root, const QString& extensionText);

    void removeAt(int row);
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void append(QStringList texts);

    QStringList m_entries;
    // The same entries as a set: the duplicate test of a folder add of tens
    // of thousands of files stays one look-up a file.
    QSet<QString> m_index;
};

// The count label: "列表中有", the number, the tool's suffix.
QString workListCountText(int count, const QString& suffix);
// The information box after load and after a reset: the welcome line and an
// empty line.
QString workListWelcomeText(const QString& welcome);

}  // namespace kestrune
