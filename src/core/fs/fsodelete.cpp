// Deleting files for good: one file, and a group of folders' files on two
// lanes.
#include "core/fs/fso.h"

#include "core/fs/fsointernal.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

namespace {

// What came of one file: deleted, an errno value, or one of these.
constexpr int kDeleted = 0;
constexpr int kNotTried = -1;
constexpr int kReadOnlyKept = -2;

// Deletes `name` in the folder open at `folder` (a full path with AT_FDCWD);
// without `force` a read-only file is kept. A link goes, not what it names.
int deleteAt(int folder, const char* name, bool force)
{
    if (!force) {
        struct stat st;
        if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (!S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode))
            return kReadOnlyKept;
    }
    return ::unlinkat(folder, name, 0) == 0 ? kDeleted : errno;
}

FsError deleteError(const QString& path, int outcome)
{
    if (outcome == kReadOnlyKept)
        return FsError(path, EACCES, QStringLiteral("文件只读"));
    return FsError(path, outcome, describeError(outcome));
}

}  // namespace

void File::Delete(bool force) const
{
    // A file from a listing is reached through its folder's handle; the
    // folder's path is then looked up once, not once per file.
    const FileAt at = locate(*m_parent, m_name, m_index);
    const int outcome = deleteAt(at.dir(), at.name.constData(), force);
    if (outcome != kDeleted)
        throw deleteError(Path(), outcome);
}

// ---------------------------------------------------------------------------
// A group of deletes

// One Add: the caller's thread alone touches `files` and `openFailure`; a
// lane reads `folder` and the names and writes the outcomes until it marks
// the batch finished (under the group's lock).
struct DeleteGroup::Batch {
    std::vector<File> files;
    std::vector<QByteArray> names;  // relative to `folder`, or full paths with AT_FDCWD
    std::vector<int> outcomes;
    int folder = AT_FDCWD;
    bool ownsFolder = false;
    std::optional<FsError> openFailure;  // the folder could not be opened: every file fails so
    bool finished = false;

    ~Batch()
    {
        if (ownsFolder)
            ::close(folder);
    }
};

struct DeleteGroup::State {
    bool force = false;
    std::function<bool()> stopped;
    std::mutex lock;
    std::condition_variable work;      // the helper waits for a batch
    std::condition_variable finished;  // the caller waits for the helper's batch
    std::deque<std::unique_ptr<Batch>> batches;  // in the order added, until told
    std::thread helper;
    bool helperBusy = false;
    std::atomic<bool> closing{false};  // the group is going: lanes stop at their next file

    // Batches are started in the order added: the first `started` of them
    // are. The next one, marked started; under the lock.
    size_t started = 0;
    Batch* takeNext()
    {
        return started == batches.size() ? nullptr : batches[started++].get();
    }
    size_t waiting() const { return batches.size() - started; }
};

DeleteGroup::DeleteGroup(bool force, std::function<bool()> stopped) : m_state(std::make_unique<State>())
{
    m_state->force = force;
    m_state->stopped = std::move(stopped);
}

DeleteGroup::~DeleteGroup()
{
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->closing.store(true);
    }
    m_state->work.notify_all();
    if (m_state->helper.joinable())
        m_state->helper.join();
}

void DeleteGroup::run(Batch& batch)
{
    State& s = *m_state;
    for (size_t i = 0; i < batch.names.size(); ++i) {
        if ((s.stopped && s.stopped()) || s.closing.load(std::memory_order_relaxed))
            break;
        batch.outcomes[i] = deleteAt(batch.folder, batch.names[i].constData(), s.force);
    }
}

void DeleteGroup::runHere(Batch& batch)
{
    run(batch);
    std::lock_guard<std::mutex> guard(m_state->lock);
    batch.finished = true;
}

// The helper: the next batch nobody has started, until the group goes.
void DeleteGroup::serve()
{
    State& s = *m_state;
    std::unique_lock<std::mutex> held(s.lock);
    for (;;) {
        Batch* next = nullptr;
        s.work.wait(held, [&] { return s.closing || (next = s.takeNext()) != nullptr; });
        if (!next)
            return;
        s.helperBusy = true;
        held.unlock();
        run(*next);
        held.lock();
        next->finished = true;
        s.helperBusy = false;
        s.finished.notify_all();
    }
}

void DeleteGroup::Add(std::vector<File> files)
{
    if (files.empty())
        return;
    State& s = *m_state;
    auto batch = std::make_unique<Batch>();
    batch->outcomes.assign(files.size(), kNotTried);
    batch->names.reserve(files.size());
    // Files of one listing share its folder's handle; one that was not
    // listed is reached by its path.
    FolderData& folder = *files.front().m_parent;
    try {
        if (files.front().m_index >= 0) {
            batch->folder = folder.open().release();
            if (batch->folder < 0)
                fail(folder.path, errno);
            batch->ownsFolder = true;
        }
        for (const File& f : files) {
            if (f.m_parent.get() != &folder)
                throw std::logic_error("DeleteGroup::Add takes the files of one folder");
            batch->names.push_back(batch->ownsFolder ? encodeFileName(f.m_name) : encoded(f.Path()));
        }
    } catch (const FsError& e) {
        batch->openFailure = e;
        batch->names.clear();  // nothing for a lane to do
    }
    batch->files = std::move(files);

    Batch* mine = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.batches.push_back(std::move(batch));
        if (!s.helper.joinable()) {
            try {
                s.helper = std::thread([this] { serve(); });
            } catch (const std::system_error&) {
                // No second thread to be had: the caller deletes everything.
            }
        }
        // The caller takes a batch when the helper has one already.
        if (!s.helper.joinable() || s.helperBusy || s.waiting() > 1)
            mine = s.takeNext();
    }
    if (mine) {
        runHere(*mine);
    } else {
        s.work.notify_one();
    }
}

int DeleteGroup::Report(bool finish, const std::function<void(const File&)>& deleted,
                        const std::function<void(const FsError&)>& failed)
{
    State& s = *m_state;
    int untried = 0;
    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock<std::mutex> held(s.lock);
            if (s.batches.empty())
                return untried;
            if (finish && !s.batches.front()->finished) {
                // Rather than wait, delete what nobody has started yet.
                if (Batch* next = s.takeNext()) {
                    held.unlock();
                    runHere(*next);
                    continue;
                }
                s.finished.wait(held, [&] { return s.batches.front()->finished; });
            }
            if (!s.batches.front()->finished)
                return untried;
            batch = std::move(s.batches.front());
            s.batches.pop_front();
            --s.started;
        }
        for (size_t i = 0; i < batch->files.size(); ++i) {
            const File& file = batch->files[i];
            const int outcome = batch->outcomes[i];
            if (batch->openFailure) {
                if (failed)
                    failed(FsError(file.Path(), batch->openFailure->errorNumber(), batch->openFailure->message()));
            } else if (outcome == kNotTried) {
                ++untried;
            } else if (outcome == kDeleted) {
                if (deleted)
                    deleted(file);
            } else if (failed) {
                failed(deleteError(file.Path(), outcome));
            }
        }
    }
}

}  // namespace kestrune
