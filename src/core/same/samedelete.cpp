#include "core/same/samedelete.h"

#include "core/batch/batchrunner.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/fs/fsnames.h"
#include "core/fs/fso.h"
#include "core/fs/trash.h"
#include "core/same/samereader.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

// Whether the file at `f.path` is still the regular file the search saw.
bool unchanged(const SameFile& f)
{
    struct stat st;
    if (::lstat(encodeFileName(f.path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return qint64(st.st_size) == f.size && quint64(st.st_dev) == f.device && quint64(st.st_ino) == f.inode
           && qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec == f.modifiedNs;
}

// Why `d.copy` must stay, or nothing when it may go.
std::optional<QString> reasonToKeep(const SameDeletion& d)
{
    if (!unchanged(d.copy))
        return QStringLiteral("自查找以来已改变，未删除");
    if (!unchanged(d.kept))
        return QStringLiteral("保留的文件 %1 自查找以来已改变，未删除").arg(displayFileNameInLine(d.kept.path));
    if (d.copy.device == d.kept.device && d.copy.inode == d.kept.inode)
        return QStringLiteral("与 %1 是同一个文件，未删除").arg(displayFileNameInLine(d.kept.path));
    QString why;
    if (!sameBytes(encodeFileName(d.copy.path), encodeFileName(d.kept.path), &why))
        return why.isEmpty() ? QStringLiteral("与 %1 内容不同，未删除").arg(displayFileNameInLine(d.kept.path))
                             : why;
    // Written to while it was compared.
    if (!unchanged(d.copy) || !unchanged(d.kept))
        return QStringLiteral("自查找以来已改变，未删除");
    return std::nullopt;
}

QByteArray csvField(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

// Problems listed in a message at most; the rest are counted.
constexpr int kListedProblems = 20;

}  // namespace

QString problemLines(const std::vector<SameProblem>& problems)
{
    QStringList lines;
    for (const SameProblem& p : problems) {
        if (lines.size() == kListedProblems) {
            lines << QStringLiteral("……另有 %1 个").arg(problems.size() - kListedProblems);
            break;
        }
        lines << displayFileNameInLine(p.path) + QStringLiteral("：") + p.why;
    }
    return lines.join(QLatin1Char('\n'));
}

std::vector<SameDeletion> planDeletions(const std::vector<SameGroup>& groups,
                                        const std::function<bool(int group, int file)>& wanted, KeepRule rule,
                                        const QStringList& referenceFolders, std::vector<SameProblem>* refused)
{
    std::vector<SameDeletion> out;
    for (int g = 0; g < int(groups.size()); ++g) {
        const SameGroup& group = groups[g];
        const int count = int(group.files.size());
        int keeper = keeperOf(group, rule, referenceFolders);
        bool all = true;
        for (int f = 0; f < count; ++f)
            all = all && wanted(g, f);
        if (all) {
            if (refused)
                refused->push_back({group.files[keeper].path, QStringLiteral("每组至少保留一个文件，未删除")});
        } else if (wanted(g, keeper)) {
            for (int f = 0; f < count; ++f)
                if (!wanted(g, f)) {
                    keeper = f;
                    break;
                }
        }
        for (int f = 0; f < count; ++f)
            if (f != keeper && wanted(g, f))
                out.push_back({group.files[f], group.files[keeper]});
    }
    return out;
}

SameDeleteOutcome deleteCopies(const std::vector<SameDeletion>& deletions, bool toTrash, ProgressSink* progress,
                               const SearchRoots& roots)
{
    SameDeleteOutcome outcome;
    if (progress)
        progress->setTotal(int(deletions.size()));
    const FileSystemObject fso;
    std::optional<TrashCan> trash;
    if (toTrash)
        trash.emplace();
    for (const SameDeletion& d : deletions) {
        if (progress && !progress->step(outcome.handled, d.copy.path)) {
            outcome.cancelled = true;
            break;
        }
        ++outcome.handled;
        if (const std::optional<QString> why = reasonToKeep(d)) {
            outcome.kept.push_back({d.copy.path, *why});
            continue;
        }
        QString why;
        if (deleteFoundFile(fso, roots, d.copy.path, trash ? &*trash : nullptr, &why))
            outcome.deleted << d.copy.path;
        else
            outcome.kept.push_back({d.copy.path, why});
    }
    return outcome;
}

bool writeSameCsv(const QString& path, const std::vector<SameGroup>& groups, QString* why)
{
    QByteArray text("\xEF\xBB\xBF");
    text += "组,文件数,大小(字节),路径,修改时间\r\n";
    for (int g = 0; g < int(groups.size()); ++g) {
        const SameGroup& group = groups[g];
        for (const SameFile& f : group.files) {
            const QString when = QDateTime::fromMSecsSinceEpoch(f.modifiedNs / 1000000).toString(Qt::ISODate);
            text += QByteArray::number(g + 1) + ',' + QByteArray::number(qsizetype(group.files.size())) + ','
                    + QByteArray::number(group.size) + ',' + csvField(displayFileName(f.path)) + ','
                    + csvField(when) + "\r\n";
        }
    }
    // Written beside the target and renamed over it: a failure leaves the
    // old file as it was.
    const QByteArray target = encodeFileName(path);
    const QByteArray temp = target + ".part";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        *why = describeError(errno);
        return false;
    }
    qint64 done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = describeError(errno);
            ::close(fd);
            ::unlink(temp.constData());
            return false;
        }
        done += n;
    }
    if (::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0) {
        *why = describeError(errno);
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

}  // namespace kestrune
