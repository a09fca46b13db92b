#include "core/batch/failurelist.h"

#include <QStringList>

#include <algorithm>

#include <gtest/gtest.h>

using namespace kestrune;

TEST(FailureMessage, NamesTheFirstTwentyWithTheirReasonsAndCountsAll)
{
    const std::pair<int, QString> cases[] = {{1, QStringLiteral("共 1 个文件")},
                                             {20, QStringLiteral("共 20 个文件")},
                                             {21, QStringLiteral("等 21 个文件")},
                                             {1000, QStringLiteral("等 1000 个文件")}};
    for (const auto& [count, last] : cases) {
        SCOPED_TRACE(count);
        FailureList list;
        for (int i = 1; i <= count; ++i)
            list.add(QStringLiteral("/m/f%1\n.txt").arg(i), QStringLiteral("只读"));
        const QStringList lines = failureMessage(QStringLiteral("以下文件未能删除:"), list).split(QLatin1Char('\n'));
        const int named = std::min(count, 20);
        ASSERT_EQ(lines.size(), named + 2);
        EXPECT_EQ(lines.first(), QStringLiteral("以下文件未能删除:"));
        // A line feed in a name never breaks its line.
        EXPECT_EQ(lines[1], QStringLiteral("/m/f1\\x0A.txt：只读"));
        EXPECT_EQ(lines[named], QStringLiteral("/m/f%1\\x0A.txt：只读").arg(named));
        EXPECT_EQ(lines.last(), last);
    }
}
