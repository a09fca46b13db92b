// 查找内容相同的文件 on a generated tree of 100,000 files in 1,000 folders
// (a fifth of them copies, sizes from 0 to 64 MB, a few GB in all) with the
// traps of content comparison: same size and other content, the same first
// 64 KB and a different last byte, hard links, empty files. Warm cache: each
// tool runs once before it is timed, then the median of 3 runs. The groups
// must equal those of `jdupes -r` (each hard-linked file counted once).
//
// The peers come with the project's package lists (scripts/packages.d/bench.txt,
// installed by scripts/setup.sh); a peer that is missing is passed over.

#include "benchutil.h"

#include "core/same/samefinder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <set>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

const char kUsage[] =
    "usage: bench_same [--files N] [FOLDER]\n"
    "Times 查找内容相同的文件 on a generated tree (N files, 100,000 by default, in 1,000\n"
    "folders, about 3 GB) against `jdupes -r`, `rdfind -dryrun true` and `rmlint -T df`,\n"
    "and checks its groups against jdupes's. Reports each ratio and the memory per file.\n"
    "FOLDER keeps the generated tree there and reuses it when it is complete; without\n"
    "it the tree goes into a temporary folder and is removed at the end.\n"
    "scripts/setup.sh installs the peers (scripts/packages.d/bench.txt); a missing one\n"
    "is passed over.\n";

constexpr int kRuns = 3;

quint64 splitmix(quint64& state)
{
    quint64 z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void fill(std::vector<char>& buffer, qint64 size, quint64 id)
{
    buffer.resize(size_t(size));
    quint64 state = id * 7919 + 1;
    for (qint64 i = 0; i + 8 <= size; i += 8) {
        const quint64 v = splitmix(state);
        std::memcpy(buffer.data() + i, &v, 8);
    }
    for (qint64 i = size & ~qint64(7); i < size; ++i)
        buffer[size_t(i)] = char(splitmix(state));
}

bool writeFile(const QByteArray& path, const std::vector<char>& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    return done == bytes.size();
}

// A size from 1 byte to 64 MB, most files small.
qint64 drawSize(quint64& rng)
{
    const quint64 r = splitmix(rng) % 100000;
    auto within = [&](qint64 low, qint64 high) { return low + qint64(splitmix(rng) % quint64(high - low)); };
    if (r < 70000)
        return within(1, 8 << 10);
    if (r < 95000)
        return within(8 << 10, 32 << 10);
    if (r < 99500)
        return within(64 << 10, 256 << 10);
    if (r < 99980)
        return within(256 << 10, 4 << 20);
    return within(4 << 20, 64 << 20);
}

struct Original {
    QByteArray path;
    qint64 size;
    quint64 id;
};

// Writes the tree; returns its bytes.
qint64 generate(const QString& root, int files)
{
    const QByteArray base = QFile::encodeName(root);
    std::vector<QByteArray> folders;
    for (int top = 0; top < 100; ++top) {
        const QByteArray t = base + "/d" + QByteArray::number(top);
        folders.push_back(t);
        for (int sub = 0; sub < 9; ++sub)
            folders.push_back(t + "/s" + QByteArray::number(sub));
    }
    for (const QByteArray& f : folders)
        QDir().mkpath(QFile::decodeName(f));
    std::vector<Original> originals;
    std::vector<size_t> largeOriginals;  // over 64 KB
    std::vector<char> buffer;
    quint64 rng = 42;
    quint64 nextId = 1;
    qint64 bytes = 0;
    for (int i = 0; i < files; ++i) {
        const QByteArray path = folders[size_t(i) % folders.size()] + "/f" + QByteArray::number(i) + ".dat";
        const int kind = i % 200;
        const bool haveOriginals = !originals.empty();
        if (kind == 0) {
            writeFile(path, {});
        } else if (kind == 1 && haveOriginals) {
            // A hard link: the same file under another name.
            const Original& o = originals[splitmix(rng) % originals.size()];
            if (::link(o.path.constData(), path.constData()) != 0)
                writeFile(path, {});
        } else if (kind == 4 && !largeOriginals.empty()) {
            // The same first 64 KB and more, a different last byte.
            const Original& o = originals[largeOriginals[splitmix(rng) % largeOriginals.size()]];
            fill(buffer, o.size, o.id);
            buffer.back() = char(buffer.back() ^ 1);
            writeFile(path, buffer);
            bytes += o.size;
        } else if ((i % 5 == 2 || kind == 3) && haveOriginals) {
            // A copy (a fifth of the files), or the same size with other content.
            const Original& o = originals[splitmix(rng) % originals.size()];
            fill(buffer, o.size, kind == 3 ? nextId++ : o.id);
            writeFile(path, buffer);
            bytes += o.size;
        } else {
            const Original o{path, drawSize(rng), nextId++};
            fill(buffer, o.size, o.id);
            writeFile(path, buffer);
            bytes += o.size;
            if (o.size > (64 << 10))
                largeOriginals.push_back(originals.size());
            originals.push_back(o);
        }
    }
    ::sync();
    return bytes;
}

// A group as the set of its inodes, so that groups compare whichever name
// of a hard-linked file a tool chose; groups of one inode are dropped.
using InodeGroups = std::set<std::set<std::pair<quint64, quint64>>>;

void addGroup(InodeGroups& out, const std::vector<QByteArray>& paths)
{
    std::set<std::pair<quint64, quint64>> inodes;
    for (const QByteArray& p : paths) {
        struct stat st;
        if (::lstat(p.constData(), &st) == 0)
            inodes.insert({quint64(st.st_dev), quint64(st.st_ino)});
    }
    if (inodes.size() > 1)
        out.insert(inodes);
}

InodeGroups jdupesGroups(const QByteArray& output)
{
    InodeGroups out;
    std::vector<QByteArray> group;
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty()) {
            addGroup(out, group);
            group.clear();
        } else {
            group.push_back(line);
        }
    }
    addGroup(out, group);
    return out;
}

qint64 statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1, {QStringLiteral("--files")});
    QCoreApplication app(argc, argv);
    int files = 100000;
    if (args.options.contains(QStringLiteral("--files"))) {
        bool ok = false;
        files = args.options.value(QStringLiteral("--files")).toInt(&ok);
        if (!ok || files < 1) {
            std::fprintf(stderr, "bench_same: --files wants a count\n%s", kUsage);
            return 2;
        }
    }

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/bench-same-XXXXXX"));
    const QString kept = args.positional.value(0);
    const QString tree = kept.isEmpty() ? temp.path() + QStringLiteral("/tree") : kept;
    const QString complete = tree + QStringLiteral(".complete");
    if (kept.isEmpty() || !QFile::exists(complete)) {
        QDir(tree).removeRecursively();
        std::printf("generating %d files in 1,000 folders...\n", files);
        std::fflush(stdout);
        const qint64 bytes = generate(tree, files);
        std::printf("tree: %.2f GB in %s\n", double(bytes) / 1e9, qPrintable(tree));
        if (!kept.isEmpty()) {
            QFile mark(complete);
            mark.open(QIODevice::WriteOnly);
        }
    }

    // Ours, in this process: the median of the runs after a warm-up, and
    // the memory the search adds (peak resident set over the one before).
    SameOptions options;
    options.folders = {tree};
    SameResult result = findSameFiles(options, nullptr);
    ::malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");  // resets the peak
    clear.close();
    const qint64 before = statusKb("VmRSS:");
    std::vector<double> times;
    const double cpuBefore = cpuSeconds();
    for (int i = 0; i < kRuns; ++i) {
        result = SameResult{};  // the last run's result is not part of this one's memory
        times.push_back(timeSeconds([&] { result = findSameFiles(options, nullptr); }));
    }
    const double ours = median(times);
    const double oursCpu = (cpuSeconds() - cpuBefore) / kRuns;
    const qint64 peak = statusKb("VmHWM:");
    qint64 wasted = 0;
    for (const SameGroup& g : result.groups)
        wasted += g.wasted();
    std::printf("ours: %d files walked, %d groups, %.2f GB wasted, %.2f GB read, %d unreadable\n",
                result.filesWalked, int(result.groups.size()), double(wasted) / 1e9, double(result.bytesRead) / 1e9,
                int(result.unreadable.size()));
    std::printf("%-40s %8.3f s wall, %8.3f s processor (mean)\n", "ours (median)", ours, oursCpu);
    std::printf("memory: %lld KB over %lld KB before, %.0f bytes per file walked (goal: at most 200)\n",
                peak - before, before, double(peak - before) * 1024.0 / std::max(1, result.filesWalked));

    InodeGroups mine;
    for (const SameGroup& g : result.groups) {
        std::vector<QByteArray> paths;
        for (const SameFile& f : g.files)
            paths.push_back(QFile::encodeName(f.path));
        addGroup(mine, paths);
    }

    const QString q = shellQuote(tree);
    const QString out = temp.path() + QStringLiteral("/jdupes.txt");
    const struct {
        const char* name;
        QString command;
    } peers[] = {
        {"jdupes", QStringLiteral("jdupes -r -q %1 > %2").arg(q, shellQuote(out))},
        {"rdfind", QStringLiteral("cd %1 && rdfind -dryrun true -outputname /dev/null %2 > /dev/null")
                       .arg(shellQuote(temp.path()), q)},
        {"rmlint", QStringLiteral("cd %1 && rmlint -T df -o fdupes:/dev/null %2 > /dev/null")
                       .arg(shellQuote(temp.path()), q)},
    };
    double fastest = 0;
    for (const auto& peer : peers) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(peer.name)).isEmpty()) {
            std::printf("%s: not installed, passed over (apt-get install %s)\n", peer.name, peer.name);
            continue;
        }
        timeCommand(peer.command);  // warm-up
        std::vector<double> peerTimes;
        const double childBefore = childCpuSeconds();
        for (int i = 0; i < kRuns; ++i)
            peerTimes.push_back(timeCommand(peer.command));
        const double t = median(peerTimes);
        const double cpu = (childCpuSeconds() - childBefore) / kRuns;
        report(QStringLiteral("against %1").arg(QLatin1String(peer.name)), ours, t);
        std::printf("%-40s ours %8.3f s   %-9s %8.3f s   ratio %.2f (processor time)\n", "", oursCpu, peer.name, cpu,
                    cpu > 0 ? oursCpu / cpu : 0.0);
        if (t > 0 && (fastest == 0 || t < fastest))
            fastest = t;
    }
    if (fastest > 0)
        report(QStringLiteral("against the fastest peer"), ours, fastest);

    QFile jd(out);
    if (jd.open(QIODevice::ReadOnly)) {
        const InodeGroups theirs = jdupesGroups(jd.readAll());
        std::printf("groups against jdupes -r: %s (ours %d, jdupes %d)\n", theirs == mine ? "equal" : "DIFFERENT",
                    int(mine.size()), int(theirs.size()));
        if (theirs != mine)
            return 1;
    }
    return 0;
}
