#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QLockFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <sys/types.h>

namespace kw {

// One headless office process that this helper starts, talks to over a
// private pipe and ends again. The office runs with a user profile of its
// own, so that it never joins an office the user has open, and it is killed
// by the system when this helper dies.
class Office {
public:
    ~Office();

    // Starts the office from its program folder; false with a description
    // in *error when that fails.
    bool start(const QString& programFolder, QString* error);
    // Ends the office and waits for its process.
    void stop();
    // Whether the office process is still there. One that has died (a
    // document can crash it) is reaped and its connection let go.
    bool running();
    // The connection to the office broke: an office still about to die is
    // ended and reaped, so that running() says it is gone.
    void connectionLost();
    // Starts the office again from the folder it was first started from,
    // after it died or was stopped.
    bool restart(QString* error);
    // The office process (0 when none).
    pid_t pid() const { return pid_ > 0 ? pid_ : 0; }

    css::uno::Reference<css::uno::XComponentContext> context() const { return context_; }
    css::uno::Reference<css::frame::XDesktop2> desktop() const { return desktop_; }
    double startSeconds() const { return startSeconds_; }

private:
    bool chooseProfile(QString* error);
    void disableLockFiles();
    pid_t spawn(const QString& binary, const QString& pipeName);

    pid_t pid_ = -1;
    QString programFolder_;
    QString profile_;
    std::unique_ptr<QLockFile> profileLock_;
    std::unique_ptr<QTemporaryDir> tempProfile_;
    css::uno::Reference<css::uno::XComponentContext> local_;
    css::uno::Reference<css::uno::XComponentContext> context_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
    double startSeconds_ = 0;
};

// Kills the running office at once (signal handlers).
void killOfficeNow();

}  // namespace kw
