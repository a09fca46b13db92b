#include "core/filemanager/batchwalk.h"

#include <QDir>

#include <cerrno>
#include <optional>

namespace kestrune {

bool matchesTypeList(const QString& name, const QString& typeList)
{
    const QString lowerName = name.toLower();
    for (const QString& piece : typeList.split(QLatin1Char(';'))) {
        const QString entry = trimBlanks(piece);
        // An empty entry (from ";;" or a closing ";") would match every
        // name: it matches none.
        if (entry.isEmpty())
            continue;
        if (lowerName.right(entry.size()) == entry.toLower())
            return true;
    }
    return false;
}

bool matchesSingleType(const QString& shortName, const QString& pattern)
{
    // "*.*" and "*" take every file: no short name holds a "*".
    const QString typed = trimBlanks(pattern);
    if (typed == QLatin1String("*.*") || typed == QLatin1String("*"))
        return true;
    return shortName.right(3).toLower() == pattern.right(3).toLower();
}

void applyBatchOperation(const File& file, int operation, const QString& destination, bool overwrite,
                         MoveGroup* moves, const CopyObserver& observer, TrashCan* trash)
{
    switch (operation) {
    case kOpMove:
    case kOpCopy: {
        // Never let an empty destination turn into the root folder.
        if (trimBlanks(destination).isEmpty())
            throw FsError(destination, ENOENT, describeError(ENOENT));
        const QString target = destination + QDir::separator();
        if (operation == kOpMove)
            file.Move(target, moves, observer);
        else
            file.Copy(target, overwrite, observer);
        break;
    }
    case kOpDelete:
    case kOpForceDelete: {
        const bool force = operation == kOpForceDelete;
        if (trash)
            file.MoveToTrash(*trash, force);
        else
            file.Delete(force);
        break;
    }
    default:
        break;
    }
}

namespace {

bool passes(const File& file, const BatchInputs& inputs, bool* typeListMissing)
{
    if (inputs.multiType) {
        const QString list = trimBlanks(inputs.typeList);
        if (list.isEmpty()) {
            *typeListMissing = true;
            return false;
        }
        return matchesTypeList(file.Name(), list);
    }
    return matchesSingleType(file.ShortNameEnding(3), inputs.singleType);
}

void tellFailures(const std::vector<FsError>& failures, const BatchInputs& inputs)
{
    if (inputs.failed)
        for (const FsError& e : failures)
            inputs.failed(e.path(), e.message());
}

}  // namespace

int batchWalk(const QString& rootPath, bool recurse, const BatchInputs& inputs, ProgressSink* progress,
              bool* stopped)
{
    int handled = 0;
    if (stopped)
        *stopped = false;
    Folder root;
    try {
        root = FileSystemObject().GetFolder(rootPath);
    } catch (const FsError& e) {
        if (inputs.failed)
            inputs.failed(rootPath, e.message());
        return handled;
    }
    const int operation = inputs.operation;
    const bool needsDestination = operation == kOpMove || operation == kOpCopy;
    const QString destination = needsDestination ? inputs.destination : QString();
    const QString destinationFolder = trimBlanks(destination);
    std::optional<TrashCan> trash;
    if (inputs.toTrash && (operation == kOpDelete || operation == kOpForceDelete))
        trash.emplace();
    CopyObserver observer;
    if (progress) {
        observer = [progress](qint64 copied, qint64 size) {
            progress->setItemBytes(copied, size);
            return !progress->stopped();
        };
    }
    // Moves to another file system are flushed to disk in groups before their
    // sources go; the last group when the walk ends or stops.
    MoveGroup moves;
    // Deletes for good go a folder at a time on two lanes; what came of them
    // is told here, in the walk's order. Files the group never tried because
    // the walk stopped were not handled.
    std::optional<DeleteGroup> deletes;
    if (!trash && (operation == kOpDelete || operation == kOpForceDelete))
        deletes.emplace(operation == kOpForceDelete, [progress] { return progress && progress->stopped(); });
    const auto tellDeletes = [&](bool finish) {
        handled -= deletes->Report(
            finish,
            [&](const File& file) {
                if (inputs.done)
                    inputs.done(file.Path());
            },
            [&](const FsError& e) {
                if (inputs.failed)
                    inputs.failed(e.path(), e.message());
            });
    };
    const auto unlisted = [&](const Folder& folder, const FsError& e) {
        if (inputs.failed)
            inputs.failed(folder.Path(), e.message());
    };
    const bool wentOn = walkListings(
        root, recurse,
        [&](const Folder& folder, std::vector<File>& files) {
            // The destination's tree holds what the batch writes: its files
            // are never taken as input. Looked at once per folder, when a
            // file of it first passes the filter.
            std::optional<bool> insideDestination;
            std::vector<File> toDelete;
            WalkOn next = WalkOn::Go;
            for (const File& file : files) {
                if (progress && !progress->step(handled, [&] { return file.Path(); })) {
                    next = WalkOn::Stop;
                    break;
                }
                try {
                    bool missing = false;
                    const bool pass = passes(file, inputs, &missing);
                    if (missing) {
                        if (inputs.typeListMissing)
                            inputs.typeListMissing();
                        next = WalkOn::SkipTree;  // the rest of this folder and its subfolders are left alone
                        break;
                    }
                    if (!pass)
                        continue;
                    if (needsDestination && !insideDestination)
                        insideDestination = folder.IsWithin(destinationFolder);
                    if (insideDestination.value_or(false))
                        continue;
                    ++handled;
                    if (deletes) {
                        toDelete.push_back(file);
                        continue;
                    }
                    applyBatchOperation(file, operation, destination, inputs.overwrite, &moves, observer,
                                        trash ? &*trash : nullptr);
                    if (inputs.done)
                        inputs.done(file.Path());
                } catch (const FsError& e) {
                    // A file that cannot be handled is skipped; the walk goes
                    // on, unless it was stopped in the middle of the file.
                    if (e.errorNumber() == ECANCELED) {
                        --handled;
                        next = WalkOn::Stop;
                        break;
                    }
                    if (inputs.failed)
                        inputs.failed(file.Path(), e.message());
                }
                if (progress)
                    progress->setItemBytes(0, 0);
            }
            if (deletes) {
                deletes->Add(std::move(toDelete));
                tellDeletes(false);
            }
            // Moves to another file system that failed when their group was
            // flushed: their sources stay.
            tellFailures(moves.FlushIfDue(), inputs);
            if (next != WalkOn::Go)
                return next;
            // A tree of empty folders still ends at a cancel.
            return progress && progress->stopped() ? WalkOn::Stop : WalkOn::Go;
        },
        {}, unlisted);
    if (deletes)
        tellDeletes(true);
    const bool stop = !wentOn;
    tellFailures(moves.Flush(), inputs);
    if (stopped)
        *stopped = stop;
    return handled;
}

}  // namespace kestrune
