#include "core/batch/failurelist.h"

#include "core/batch/batchrunner.h"
#include "core/fs/fsnames.h"

#include <QStringList>

namespace kestrune {

FailureList::FailureList(const FailureList& other)
{
    std::lock_guard<std::mutex> lock(other.m_mutex);
    m_named = other.m_named;
    m_count = other.m_count;
}

FailureList& FailureList::operator=(const FailureList& other)
{
    if (this == &other)
        return *this;
    std::vector<Entry> named;
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(other.m_mutex);
        named = other.m_named;
        count = other.m_count;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_named = std::move(named);
    m_count = count;
    return *this;
}

void FailureList::add(const QString& path, const QString& reason)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_count;
    if (m_named.size() < size_t(kNamed))
        m_named.push_back({path, reason});
}

int FailureList::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

std::vector<FailureList::Entry> FailureList::named() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_named;
}

QString failureLine(const QString& path, const QString& reason)
{
    const QString name = displayFileNameInLine(path);
    return reason.isEmpty() ? name : name + QStringLiteral("：") + reason;
}

QString failureMessage(const QString& heading, const FailureList& failures)
{
    const std::vector<FailureList::Entry> named = failures.named();
    const int count = failures.count();
    if (count == 0)
        return {};
    QStringList lines{heading};
    for (const FailureList::Entry& e : named)
        lines << failureLine(e.path, e.reason);
    lines << (count > int(named.size()) ? QStringLiteral("等 %1 个文件").arg(count)
                                        : QStringLiteral("共 %1 个文件").arg(count));
    return lines.join(QLatin1Char('\n'));
}

QString batchEndText(bool cancelled, int handled, const QString& heading, const FailureList& failures)
{
    const QString failed = failureMessage(heading, failures);
    if (!cancelled)
        return failed;
    const QString stopped = cancelledText(handled);
    return failed.isEmpty() ? stopped : stopped + QStringLiteral("\n\n") + failed;
}

}  // namespace kestrune
