#include "records/recorder.h"

namespace kestrune {

QString leftCharacters(const QString& text, int limit)
{
    if (limit <= 0)
        return text;
    qsizetype units = 0;
    int characters = 0;
    while (units < text.size() && characters < limit) {
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size() && text.at(units + 1).isLowSurrogate())
                     ? 2
                     : 1;
        ++characters;
    }
    return text.left(units);
}

FileRecord readFileRecord(const File& file, int nameLimit, const QString* shortName)
{
    FileRecord r;
    // Each value on its own: one that cannot be had leaves its field empty.
    try {
        r.name = leftCharacters(file.Name(), nameLimit);
    } catch (...) {
    }
    try {
        r.type = file.Type();
    } catch (...) {
    }
    try {
        // Size and date come from one look at the file. The date is kept as
        // UTC: the record's text is made in local time once, when stored.
        const File::Status status = file.SizeAndModified();
        r.size = status.size;
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(status.modifiedMSecs, Qt::UTC);
        if (t.isValid())
            r.lastModified = t;
    } catch (...) {
    }
    try {
        r.shortName = shortName ? *shortName : file.ShortName();
    } catch (...) {
    }
    return r;
}

RecordRun recordFolder(const FileSystemObject& fso, const QString& folderPath, TableCursor& fileInf, int nameLimit)
{
    RecordRun run;
    Folder folder;
    try {
        folder = fso.GetFolder(folderPath);
    } catch (const FsError&) {
        run.outcome = RecordRun::Outcome::NoFolder;
        return run;
    }
    std::vector<File> files;
    try {
        files = folder.Files();
    } catch (const FsError& e) {
        run.outcome = RecordRun::Outcome::ListFailed;
        run.error = e.message();
        return run;
    }
    if (files.empty()) {
        run.outcome = RecordRun::Outcome::NoFiles;
        return run;
    }
    // The 8.3 names of the whole listing at once (the same names each file
    // would give one by one).
    std::vector<QString> names;
    names.reserve(files.size());
    for (const File& f : files)
        names.push_back(f.Name());
    const std::vector<QString> aliases = shortNamesFor(names);

    std::vector<QVariantList> records;
    records.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        records.push_back(readFileRecord(files[i], nameLimit, &aliases[i]).values());

    const TableCursor::AddResult added = fileInf.addAll(records);
    run.stored = added.stored;
    run.dropped = added.dropped;
    if (!added.ok) {
        run.outcome = RecordRun::Outcome::StoreFailed;
        run.error = added.error;
        return run;
    }
    run.outcome = RecordRun::Outcome::Recorded;
    return run;
}

bool addLogRecord(TableCursor& log, const QString& folderText, const QDateTime& time)
{
    return log.addNew({QVariant(folderText), QVariant(recordTimeText(time))});
}

}  // namespace kestrune
