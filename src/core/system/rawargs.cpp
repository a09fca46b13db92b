#include "core/system/rawargs.h"

#include "core/fs/fsnames.h"

#include <QProcess>

#include <cerrno>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrune {

namespace {

// The argument vector in exact bytes, made before any fork: nothing is
// allocated in the child.
struct ExactArgv {
    std::vector<QByteArray> bytes;
    std::vector<char*> argv;

    ExactArgv(const QString& program, const QStringList& arguments)
    {
        bytes.reserve(size_t(arguments.size()) + 1);
        bytes.push_back(encodeFileName(program));
        for (const QString& a : arguments)
            bytes.push_back(encodeFileName(a));
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
    }
};

}  // namespace

bool needsExactBytes(const QString& program, const QStringList& arguments)
{
    if (hasRawBytes(program))
        return true;
    for (const QString& a : arguments) {
        if (hasRawBytes(a))
            return true;
    }
    return false;
}

void handRawNamesOver(QProcess& process, const QString& program, const QStringList& arguments)
{
    if (!needsExactBytes(program, arguments))
        return;
    auto exact = std::make_shared<ExactArgv>(program, arguments);
    process.setChildProcessModifier([exact] { ::execvp(exact->argv[0], exact->argv.data()); });
}

bool startDetachedExactly(const QString& program, const QStringList& arguments)
{
    // QProcess::startDetached does not run a child process modifier, so the
    // detached start is made here: a child in a new session starts the
    // program from a second child and ends at once; the program is then
    // nobody's child to wait for. A failed exec sends its errno back through
    // a pipe that a successful one closes.
    if (program.isEmpty())
        return false;
    ExactArgv exact(program, arguments);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::execvp(exact.argv[0], exact.argv.data());
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild < 0) {
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0;
}

bool startDetachedProgram(const QString& program, const QStringList& arguments)
{
    if (needsExactBytes(program, arguments))
        return startDetachedExactly(program, arguments);
    return QProcess::startDetached(program, arguments);
}

}  // namespace kestrune
