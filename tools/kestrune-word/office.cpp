#include "office.h"

#include "unotext.h"

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace css;

namespace kw {

namespace {

volatile pid_t g_officePid = -1;

// soffice.bin asks to be started again after it has set up a new profile.
constexpr int kOfficeRestartCodes[] = {79, 81};

constexpr int kConnectTimeoutMs = 90000;

}  // namespace

void killOfficeNow()
{
    const pid_t pid = g_officePid;
    if (pid > 0)
        ::kill(pid, SIGKILL);
}

Office::~Office()
{
    stop();
}

bool Office::chooseProfile(QString* error)
{
    // A profile kept between runs makes the office start much faster than a
    // new one. Each running helper locks the one it uses, so several helpers
    // at a time each get their own.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache + QStringLiteral("/kestrune"))) {
        for (int i = 0; i < 32; ++i) {
            const QString dir = cache + QStringLiteral("/kestrune/office-profile-%1").arg(i);
            auto lock = std::make_unique<QLockFile>(dir + QStringLiteral(".lock"));
            lock->setStaleLockTime(0);
            if (lock->tryLock(0)) {
                profile_ = dir;
                profileLock_ = std::move(lock);
                return true;
            }
        }
    }
    tempProfile_ = std::make_unique<QTemporaryDir>();
    if (!tempProfile_->isValid()) {
        *error = QStringLiteral("无法为 LibreOffice 建立临时用户配置目录");
        return false;
    }
    profile_ = tempProfile_->path();
    return true;
}

pid_t Office::spawn(const QString& binary, const QString& pipeName)
{
    // Everything the child needs is prepared before fork().
    const QByteArray bin = QFile::encodeName(binary);
    std::vector<QByteArray> args = {
        bin,
        "-env:UserInstallation=" + QUrl::fromLocalFile(profile_).toEncoded(),
        "--headless",
        "--invisible",
        "--nologo",
        "--nodefault",
        "--norestore",
        "--nolockcheck",
        "--accept=pipe,name=" + pipeName.toUtf8() + ";urp;StarOffice.ComponentContext",
    };
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        // The office must not outlive this helper, whatever ends it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            // Our standard output is the protocol channel: keep the office off it.
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::closefrom(3);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

bool Office::start(const QString& programFolder, QString* error)
{
    QElapsedTimer clock;
    clock.start();
    const QString binary = QDir(programFolder).filePath(QStringLiteral("soffice.bin"));
    const QFileInfo info(binary);
    if (!info.isFile() || !info.isExecutable()) {
        *error = QStringLiteral("找不到 LibreOffice(%1 不存在)。请安装 LibreOffice Writer"
                                "(Debian 软件包 libreoffice-writer)后再试。")
                     .arg(binary);
        return false;
    }
    if (!chooseProfile(error))
        return false;
    programFolder_ = programFolder;

    // The local side needs the office's whole type library to talk to it.
    // It is set up once and serves every office this helper starts.
    const QString linkedOffice = QStringLiteral(KW_DEFAULT_OFFICE);
    if (!local_.is()) {
        rtl::Bootstrap::set("URE_MORE_TYPES",
                            toOU(QUrl::fromLocalFile(linkedOffice + QStringLiteral("/types/offapi.rdb"))
                                     .toString(QUrl::FullyEncoded)));
        try {
            local_ = cppu::defaultBootstrap_InitialComponentContext(
                toOU(QUrl::fromLocalFile(QDir(linkedOffice).filePath(QStringLiteral("unorc")))
                         .toString(QUrl::FullyEncoded)));
        } catch (const uno::Exception& e) {
            *error = QStringLiteral("LibreOffice 的组件环境无法建立:%1").arg(toQ(e.Message));
            return false;
        }
    }
    uno::Reference<bridge::XUnoUrlResolver> resolver;
    try {
        resolver = bridge::UnoUrlResolver::create(local_);
    } catch (const uno::Exception& e) {
        *error = QStringLiteral("LibreOffice 的组件环境无法建立:%1").arg(toQ(e.Message));
        return false;
    }

    const QString pipeName = QStringLiteral("kestrune_word_%1_%2")
                                 .arg(::getpid())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    int restarts = 0;
    pid_ = spawn(binary, pipeName);
    if (pid_ < 0) {
        *error = QStringLiteral("无法启动 LibreOffice(%1)").arg(binary);
        return false;
    }
    g_officePid = pid_;

    const QString url = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName);
    while (true) {
        try {
            auto remote = resolver->resolve(toOU(url));
            context_.set(remote, uno::UNO_QUERY_THROW);
            desktop_ = frame::Desktop::create(context_);
            break;
        } catch (const connection::NoConnectException&) {
        } catch (const uno::Exception& e) {
            *error = QStringLiteral("无法连接 LibreOffice:%1").arg(toQ(e.Message));
            stop();
            return false;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            bool again = false;
            for (int c : kOfficeRestartCodes)
                again = again || code == c;
            if (again && restarts++ < 3) {
                pid_ = spawn(binary, pipeName);
                g_officePid = pid_;
                continue;
            }
            pid_ = -1;
            g_officePid = -1;
            *error = QStringLiteral("LibreOffice 启动后立即退出(退出码 %1)").arg(code);
            return false;
        }
        if (clock.elapsed() > kConnectTimeoutMs) {
            *error = QStringLiteral("LibreOffice 在 %1 秒内没有响应").arg(kConnectTimeoutMs / 1000);
            stop();
            return false;
        }
        QThread::msleep(20);
    }
    disableLockFiles();
    startSeconds_ = clock.elapsed() / 1000.0;
    return true;
}

void Office::disableLockFiles()
{
    // The checks after a save open the new file for editing; without lock
    // files nothing is left beside the user's documents should this helper
    // be killed in the middle of one. (The profile is this helper's own.)
    try {
        auto provider = configuration::theDefaultProvider::get(context_);
        beans::NamedValue path;
        path.Name = "nodepath";
        path.Value <<= OUString("/org.openoffice.Office.Common/Misc");
        uno::Sequence<uno::Any> args(1);
        args.getArray()[0] <<= path;
        auto access = provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", args);
        uno::Reference<container::XNameReplace> settings(access, uno::UNO_QUERY_THROW);
        settings->replaceByName("UseDocumentOOoLockFile", uno::Any(false));
        settings->replaceByName("UseDocumentSystemFileLocking", uno::Any(false));
        uno::Reference<util::XChangesBatch>(access, uno::UNO_QUERY_THROW)->commitChanges();
    } catch (const uno::Exception&) {
        // Lock files are only untidy, not harmful.
    }
}

bool Office::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR))
        return true;
    // Died on its own: its connection is gone too. The references to the
    // remote objects are let go without a call to the dead office.
    pid_ = -1;
    g_officePid = -1;
    try {
        desktop_.clear();
        context_.clear();
    } catch (const uno::Exception&) {
    }
    profileLock_.reset();
    return false;
}

void Office::connectionLost()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    running();
}

bool Office::restart(QString* error)
{
    stop();
    tempProfile_.reset();
    return start(programFolder_, error);
}

void Office::stop()
{
    if (desktop_.is()) {
        try {
            desktop_->terminate();
        } catch (const uno::Exception&) {
            // The connection goes down with the office.
        }
        desktop_.clear();
    }
    context_.clear();
    if (pid_ > 0) {
        QElapsedTimer clock;
        clock.start();
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (clock.elapsed() > 10000) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            QThread::msleep(10);
        }
        pid_ = -1;
        g_officePid = -1;
    }
    profileLock_.reset();
}

}  // namespace kw
