#include "core/duplicates/contentmarks.h"

#include "core/batch/batchrunner.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/fs/fsnames.h"
#include "core/same/samereader.h"
#include "core/system/textutil.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <sys/stat.h>

namespace kestrune {

namespace {

QString notRegularText()
{
    return QStringLiteral("不是普通文件，未比较");
}

// The regular file at `path` as it is now; a link is looked at itself
// (`follow` false) or through (`follow` true).
std::optional<SameFile> statFile(const QString& path, bool follow, QString* why)
{
    struct stat st;
    const QByteArray bytes = encodeFileName(path);
    if ((follow ? ::stat(bytes.constData(), &st) : ::lstat(bytes.constData(), &st)) != 0) {
        *why = describeError(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = notRegularText();
        return std::nullopt;
    }
    SameFile f;
    f.path = path;
    f.size = qint64(st.st_size);
    f.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    f.device = quint64(st.st_dev);
    f.inode = quint64(st.st_ino);
    return f;
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QDir::separator()) + 1);
}

// The listed files, each looked at once, by the key of their names.
class ListedFiles {
public:
    explicit ListedFiles(const QStringList& listed)
    {
        for (const QString& entry : listed) {
            const QString path = trimBlanks(entry);
            const QString key = nameKey(trimBlanks(nameOf(path)));
            std::vector<QString>& paths = m_byKey[key];
            if (std::find(paths.begin(), paths.end(), path) == paths.end())
                paths.push_back(path);
        }
    }

    // The listed files of a name that could be looked at, and why the others
    // could not.
    std::vector<const SameFile*> named(const QString& name, QStringList* problems)
    {
        std::vector<const SameFile*> out;
        for (const QString& path : m_byKey.value(nameKey(name))) {
            auto it = m_files.find(path);
            if (it == m_files.end()) {
                Looked looked;
                // A listed entry is what the user typed or chose: a link
                // stands for the file it leads to.
                looked.file = statFile(path, true, &looked.why);
                it = m_files.insert(path, looked);
            }
            if (it->file)
                out.push_back(&*it->file);
            else
                *problems << displayFileNameInLine(path) + QStringLiteral("：") + it->why;
        }
        return out;
    }

private:
    struct Looked {
        std::optional<SameFile> file;
        QString why;
    };
    QHash<QString, std::vector<QString>> m_byKey;
    QHash<QString, Looked> m_files;
};

// Whole-file hashes, each file read once.
class Hashes {
public:
    explicit Hashes(std::function<bool()> stop) : m_stop(std::move(stop)) {}

    const std::optional<ContentHash>& of(const SameFile& f, QString* why)
    {
        auto it = m_hashes.find(f.path);
        if (it == m_hashes.end()) {
            Hashed h;
            h.hash = m_reader.hashFrom(0, encodeFileName(f.path), {f.size, f.device, f.inode}, &h.why, nullptr,
                                       m_stop);
            it = m_hashes.insert(f.path, h);
        }
        if (!it->hash)
            *why = it->why;
        return it->hash;
    }

private:
    struct Hashed {
        std::optional<ContentHash> hash;
        QString why;
    };
    std::function<bool()> m_stop;
    ContentReader m_reader;
    QHash<QString, Hashed> m_hashes;
};

FoundContent compare(const QString& path, ListedFiles& listed, Hashes& hashes)
{
    FoundContent c;
    QString why;
    // A found link is not followed: it may lead anywhere.
    const std::optional<SameFile> found = statFile(path, false, &why);
    if (!found) {
        c.mark = ContentMark::Unreadable;
        c.found.path = path;
        c.why = why;
        return c;
    }
    c.found = *found;
    QStringList problems;
    const std::vector<const SameFile*> candidates = listed.named(nameOf(path), &problems);
    // A listed file found in a searched tree is the file looked for, not a
    // copy of it (nor of another listed file of its name).
    for (const SameFile* l : candidates)
        if (l->device == found->device && l->inode == found->inode) {
            c.mark = ContentMark::Itself;
            c.listed = *l;
            return c;
        }
    for (const SameFile* l : candidates) {
        if (l->size != found->size)
            continue;
        const std::optional<ContentHash> mine = hashes.of(*found, &why);
        if (!mine) {
            c.mark = ContentMark::Unreadable;
            c.why = why;
            return c;
        }
        const std::optional<ContentHash> theirs = hashes.of(*l, &why);
        if (!theirs) {
            problems << displayFileNameInLine(l->path) + QStringLiteral("：") + why;
            continue;
        }
        if (*mine != *theirs)
            continue;
        why.clear();
        if (sameBytes(encodeFileName(path), encodeFileName(l->path), &why)) {
            c.mark = ContentMark::Same;
            c.listed = *l;
            return c;
        }
        if (!why.isEmpty())
            problems << why;
    }
    // Different from what could be read; unknown when a listed file could not be.
    if (problems.isEmpty()) {
        c.mark = ContentMark::Different;
    } else {
        c.mark = ContentMark::Unreadable;
        c.why = problems.join(QLatin1Char('\n'));
    }
    return c;
}

}  // namespace

QString contentMarkText(const FoundContent& content)
{
    switch (content.mark) {
    case ContentMark::None:
        break;
    case ContentMark::Same:
        return QStringLiteral("与 %1 内容相同").arg(displayFileNameInLine(content.listed.path));
    case ContentMark::Different:
        return QStringLiteral("内容不同");
    case ContentMark::Itself:
        return QStringLiteral("即要查找的文件 %1 本身").arg(displayFileNameInLine(content.listed.path));
    case ContentMark::Unreadable:
        return QStringLiteral("无法比较内容：%1").arg(content.why);
    }
    return QString();
}

ContentMarks markFoundContents(const QStringList& listed, const QStringList& found, ProgressSink* progress)
{
    ContentMarks out;
    out.contents.resize(size_t(found.size()));
    ListedFiles listedFiles(listed);
    Hashes hashes([progress] { return progress && progress->stopped(); });
    QHash<QString, qsizetype> compared;  // path -> its first entry
    compared.reserve(found.size());
    if (progress)
        progress->setTotal(int(QSet<QString>(found.begin(), found.end()).size()));
    for (qsizetype i = 0; i < found.size(); ++i) {
        const QString& path = found.at(i);
        const auto seen = compared.constFind(path);
        if (seen != compared.constEnd()) {
            out.contents[size_t(i)] = out.contents[size_t(seen.value())];
            continue;
        }
        if (progress && !progress->step(out.compared, path)) {
            out.cancelled = true;
            break;
        }
        FoundContent c = compare(path, listedFiles, hashes);
        // Stopped while it was read: not compared.
        if (progress && progress->stopped()) {
            out.cancelled = true;
            break;
        }
        out.contents[size_t(i)] = std::move(c);
        compared.insert(path, i);
        ++out.compared;
    }
    return out;
}

}  // namespace kestrune
