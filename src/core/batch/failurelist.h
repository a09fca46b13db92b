#pragma once

#include <QString>

#include <mutex>
#include <vector>

namespace kestrune {

// The files a batch could not handle, each with the reason, gathered while
// it runs (from any thread) and told once when it has ended. Only the first
// few are kept by name: a batch that fails on a million files keeps twenty
// names and the count.
class FailureList {
public:
    struct Entry {
        QString path;
        QString reason;
    };

    // How many are named in the message; the rest are only counted.
    static constexpr int kNamed = 20;

    FailureList() = default;
    FailureList(const FailureList& other);
    FailureList& operator=(const FailureList& other);

    void add(const QString& path, const QString& reason);
    // The number of failures (all of them, named or not).
    int count() const;
    bool isEmpty() const { return count() == 0; }
    // The first kNamed failures, in the order they were added.
    std::vector<Entry> named() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_named;
    int m_count = 0;
};

// The one message that tells a batch's failures: `heading` (such as
// "以下文件未能删除:"), then one line per named file with its reason, then
// "等 N 个文件" when there were more than could be named, else "共 N 个文件".
// Empty when the list is empty (nothing is told then).
QString failureMessage(const QString& heading, const FailureList& failures);

// What a batch tells when it has ended: nothing when it ran to its end and
// every item went; else the cancel ("操作已取消!" with `handled`) and the
// failure message, in one text.
QString batchEndText(bool cancelled, int handled, const QString& heading, const FailureList& failures);

// One failure as a line: the name, shown readably on one line, and why.
QString failureLine(const QString& path, const QString& reason);

}  // namespace kestrune
