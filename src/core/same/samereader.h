#pragma once

// Reading file contents for the comparison: large sequential reads into a
// buffer of its own, XXH3-128 over them, and the byte-for-byte comparison
// made before a copy is deleted.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace kestrune {

struct ContentHash {
    quint64 low = 0;
    quint64 high = 0;
    bool operator==(const ContentHash& o) const { return low == o.low && high == o.high; }
    bool operator!=(const ContentHash& o) const { return !(*this == o); }
    bool operator<(const ContentHash& o) const { return high != o.high ? high < o.high : low < o.low; }
};

// One per thread.
class ContentReader {
public:
    // The first block: the whole of a smaller file.
    static constexpr qint64 kFirstBlock = 64 * 1024;
    static constexpr qint64 kChunk = 1024 * 1024;

    // What the file must still be: a file that was replaced or changed size
    // since it was seen fails with "文件在查找过程中已改变".
    struct Expect {
        qint64 size = 0;
        quint64 device = 0;
        quint64 inode = 0;
    };

    ContentReader();

    // The hash of the first block (the whole file when it is no longer).
    std::optional<ContentHash> hashFirstBlock(const QByteArray& path, const Expect& expect, QString* why,
                                              std::atomic<qint64>* bytesRead);
    // The hash of the file from byte `from` to its end (the rest after a
    // first block already hashed); gives up between two chunks once `stop`
    // answers true.
    std::optional<ContentHash> hashFrom(qint64 from, const QByteArray& path, const Expect& expect, QString* why,
                                        std::atomic<qint64>* bytesRead, const std::function<bool()>& stop);

private:
    std::vector<char> m_buffer;
};

// One hash standing for two (a first block's and the rest's).
ContentHash combineHashes(const ContentHash& a, const ContentHash& b);

// Whether the files at `a` and `b` (exact bytes) hold the same bytes; a file
// that cannot be read compares unequal, with the reason in `why`.
bool sameBytes(const QByteArray& a, const QByteArray& b, QString* why);

}  // namespace kestrune
