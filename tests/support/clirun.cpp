#include "support/clirun.h"

#include "core/fs/fsnames.h"
#include "core/fs/programfolder.h"
#include "support/rawnames.h"

#include <QDirIterator>
#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrune::test {

namespace {

// The environment of a scheduled run: no display of any kind.
std::vector<std::string> headlessEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        for (const char* drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="})
            if (entry.rfind(drop, 0) == 0)
                goto skip;
        if (entry.rfind("LC_ALL=", 0) != 0)
            env.push_back(entry);
    skip:;
    }
    // The language the test program gives its windows.
    env.push_back("LC_ALL=zh_CN.UTF-8");
    return env;
}

}  // namespace

CliRun runProgram(const QString& scratch, const QList<QByteArray>& args,
                  const std::function<void(pid_t)>& whileRunning, const QList<QByteArray>& prefix)
{
    static int n = 0;
    const QByteArray outPath = encodeFileName(scratch) + "/out" + QByteArray::number(++n);
    const QByteArray errPath = outPath + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QList<QByteArray> all = prefix + args;
    std::vector<char*> argv;
    for (QByteArray& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = headlessEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    CliRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        return run;
    posix_spawn_file_actions_destroy(&actions);
    if (whileRunning)
        whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    run.out = readBytes(decodeFileName(outPath));
    run.err = readBytes(decodeFileName(errPath));
    return run;
}

QMap<QByteArray, QByteArray> treeOf(const QString& root)
{
    QMap<QByteArray, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(path.mid(root.size()).toUtf8(), readBytes(path));
    }
    return tree;
}

QList<QByteArray> lines(const QByteArray& out, char separator)
{
    QList<QByteArray> l = out.split(separator);
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

void CliTest::SetUp()
{
    for (const char* name : {"kestrune", "kestrune-hh"}) {
        const QString from = QStringLiteral(KESTRUNE_BIN_DIR "/") + QLatin1String(name);
        for (const QString& to : {cliProg, winProg}) {
            const QString target = to + QLatin1Char('/') + QLatin1String(name);
            if (::link(from.toUtf8().constData(), target.toUtf8().constData()) != 0)
                QFile::copy(from, target);
        }
    }
    setProgramFolder(winProg);
}

QString CliTest::makeTree(const QString& name)
{
    dir.write(name + QStringLiteral("/a.txt"), "a");
    dir.write(name + QStringLiteral("/b.doc"), "b");
    dir.write(name + QStringLiteral("/sub/c.txt"), "c");
    dir.write(name + QStringLiteral("/sub/deep/d.TXT"), "d");
    dir.write(name + QStringLiteral("/sub/e.chm"), "e");
    writeRaw(dir.mkdir(name + QStringLiteral("/sub")), QByteArray("\xC4\xE3.txt"), "raw");
    dir.write(name + QStringLiteral("/ro.txt"), "ro");
    setReadOnly(dir.file(name + QStringLiteral("/ro.txt")), true);
    return dir.file(name);
}

}  // namespace kestrune::test
