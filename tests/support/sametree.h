#pragma once

// Trees for the tests of 查找内容相同的文件: every trap a content comparison
// can fall into, and an independent answer to compare against (cmp).

#include <QByteArray>
#include <QSet>
#include <QString>

#include <set>
#include <vector>

namespace kestrune {
struct SameGroup;
}

namespace kestrune::test {

// A group of identical files as a set of paths; a search result as a set of
// groups, so that order plays no part in comparing two.
using PathGroups = std::set<std::set<QByteArray>>;

// Lays out under `root`: copies of small and large files (some in folders
// named with bytes that are not UTF-8), same size with other content, the
// same first 64 KB and a different last byte, hard links (alone and with a
// copy), empty files, and links to files inside and outside the tree.
void makeTrapTree(const QString& root, const QString& outside);

// Every regular file of the tree (links not followed), not empty, each inode
// once by its least path, grouped by running `cmp -s` on every pair of the
// same size.
PathGroups groupsByCmp(const QString& root);
// The same groups with each path replaced by the least path of its inode
// under `root`, so that they compare with groupsByCmp() whichever name of
// a hard-linked file a search chose.
PathGroups byInodeName(const PathGroups& groups, const QString& root);
// A search's groups as paths (exact bytes).
PathGroups pathGroups(const std::vector<SameGroup>& groups);

}  // namespace kestrune::test
