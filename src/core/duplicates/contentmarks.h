#pragma once

// Whether each file the duplicate finder found is a true copy of a listed
// file of its name: same size, then the same XXH3-128 hash, then the same
// bytes.

#include "core/same/samefinder.h"

#include <QStringList>

#include <vector>

namespace kestrune {

class ProgressSink;

enum class ContentMark : quint8 {
    None,        // not compared (the comparison was stopped)
    Same,        // the same bytes as `listed`
    Different,   // unlike every listed file of its name
    Itself,      // one of the listed files (or a hard link to one): never a copy
    Unreadable,  // it or the listed files could not be read: `why`
};

struct FoundContent {
    ContentMark mark = ContentMark::None;
    SameFile found;   // as it was compared
    SameFile listed;  // Same: the listed file it equals
    QString why;
};

// The text a found entry's tooltip shows for its mark: "与 /path/年度报告.doc
// 内容相同", "内容不同", ...; "" for None.
QString contentMarkText(const FoundContent& content);

struct ContentMarks {
    std::vector<FoundContent> contents;  // one per found entry
    int compared = 0;                    // distinct found files compared
    bool cancelled = false;
};

// Compares every found path with the listed files (entries as typed, blanks
// around them ignored) whose names equal its name without regard to case.
// A path found several times is compared once. `progress` (may be null) is
// stepped per distinct found file; a stop leaves the rest None.
ContentMarks markFoundContents(const QStringList& listed, const QStringList& found, ProgressSink* progress);

}  // namespace kestrune
