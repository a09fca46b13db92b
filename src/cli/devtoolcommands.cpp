// decompile, register, compile: the developer tools.

#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/devtools/decompilebatch.h"
#include "core/devtools/programlaunch.h"
#include "core/devtools/registration.h"
#include "core/devtools/worklist.h"
#include "core/fs/fsnames.h"
#include "core/fs/programfolder.h"
#include "core/system/textutil.h"

#include <QFileInfo>
#include <QThread>

namespace kestrune::cli {

int decompileCommand(Session& session, const Parsed& p)
{
    const QString destination = trimBlanks(p.args.value(1));
    if (destination.isEmpty())
        return usageError(QStringLiteral("请设定目标路径!"));
    const QString prefix = destinationPrefix(destination);
    const FileSystemObject fso;
    Folder source;
    try {
        if (!trimBlanks(p.args.value(0)).isEmpty())
            source = fso.GetFolder(p.args.value(0));
    } catch (const FsError&) {
    }
    if (source.Path().isEmpty()) {
        message(QStringLiteral("指定的源目录不存在!"));
        return kExitFailed;
    }
    const QString program = programFile(QStringLiteral("kestrune-hh"));
    if (!QFileInfo(program).isExecutable()) {
        message(QStringLiteral("找不到反编译程序 %1!").arg(program));
        return kExitFailed;
    }
    const bool recurse = !p.has("--no-subfolders");
    const bool writeProjects = !p.has("--no-hhp");

    // First the walk, as a batch; then the decompilers through the program
    // runner, as the window does.
    BatchRunner walker;
    std::unique_ptr<DecompileBatch> batch;
    std::vector<DecompileJob> jobs;
    session.onCancel([&] {
        walker.cancel();
        if (batch)
            batch->cancel();
    });
    session.watch([&]() -> std::shared_ptr<ProgressSink> {
        return batch ? batch->runner().progress() : walker.progress();
    });
    QTimer::singleShot(0, &walker, [&] {
        walker.start<HelpFiles>(
            [source = source.Path(), recurse, prefix](ProgressSink& progress) {
                return findHelpFiles(source, recurse, prefix, &progress);
            },
            [&](HelpFiles found) {
                if (found.stopped) {
                    message(QStringLiteral("反编译已取消!"));
                    session.finish(kExitFailed);
                    return;
                }
                jobs = found.jobs;
                batch = std::make_unique<DecompileBatch>(program, writeProjects, qMax(1, QThread::idealThreadCount()));
                for (DecompileJob& job : found.jobs)
                    batch->add(std::move(job));
                QObject::connect(batch.get(), &DecompileBatch::finished, [&] {
                    const bool cancelled = batch->cancelled();
                    if (!cancelled)
                        for (const DecompileJob& job : jobs)
                            if (!batch->failed(job.order))
                                result(job.outputFolder);
                    QString text = cancelled ? QStringLiteral("反编译已取消!") : QString();
                    const QStringList failed = batch->failures();
                    if (!failed.isEmpty())
                        text += QStringLiteral("\n以下文件反编译失败:\n") + failed.join(QLatin1Char('\n'));
                    const QStringList unlisted = batch->unlisted();
                    if (!unlisted.isEmpty())
                        text += QStringLiteral("\n以下文件的名称无法写入工程文件,未列入:\n") +
                                unlisted.join(QLatin1Char('\n'));
                    message(text);
                    session.finish(cancelled || !failed.isEmpty() ? kExitFailed : kExitOk);
                });
                batch->start();
            });
    });
    const int code = session.exec();
    batch.reset();
    return code;
}

int registerCommand(Session& session, const Parsed& p)
{
    const FileSystemObject fso;
    FolderRegistration run;
    QStringList libraries;  // files named on the command line
    for (const QString& arg : p.args) {
        if (fso.FolderExists(arg)) {
            try {
                const FolderRegistration found = prepareRegistration(fso.GetFolder(arg));
                run.libraries += found.libraries;
                run.paths += found.paths;
            } catch (const FsError& e) {
                failure(QStringLiteral("无法打开所选文件夹："), arg, e.message());
                return kExitFailed;
            }
        } else if (fso.FileExists(arg)) {
            run.libraries << arg;
            run.paths << arg;
        } else {
            message(QStringLiteral("指定的目录不存在!") + QLatin1Char(' ') + displayFileNameInLine(arg));
            return kExitFailed;
        }
    }
    if (run.paths.isEmpty()) {
        message(QStringLiteral("没有要注册的dll或ocx文件"));
        return kExitOk;
    }
    const QString wine = findWine();
    if (wine.isEmpty()) {
        message(QStringLiteral("运行Windows程序需要wine,请先安装wine!"));
        return kExitFailed;
    }
    const QString drive = wineRootDrive(winePrefix());
    for (const QString& path : std::as_const(run.paths))
        run.launches.push_back(registrationLaunch(wine, drive, path));

    ProgramRunner runner(QThread::idealThreadCount());
    addRegistrations(run, runner);
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QObject::connect(&runner, &ProgramRunner::allEnded, [&] {
        collectRegistrations(run, runner);
        for (size_t i = 0; i < run.ends.size(); ++i)
            if (run.ends[i] && run.ends[i]->end.ok())
                result(run.paths.value(int(i)));
        message(registrationMessage(QStringLiteral("全部dll或ocx文件注册完毕!"), run));
        session.finish(run.cancelled || !run.failures().isEmpty() ? kExitFailed : kExitOk);
    });
    QTimer::singleShot(0, &runner, [&runner] { runner.start(); });
    return session.exec();
}

int compileCommand(Session&, const Parsed& p)
{
    WorkList list;
    if (!buildWorkList(list, p.args, QStringLiteral("vbp")))
        return kExitFailed;
    if (list.count() == 0) {
        message(QStringLiteral("列表为空,请先添加工程文件到列表!"));
        return kExitFailed;
    }
    CompilerSetup compiler;
    const QString compilerText =
        p.value("--compiler").value_or(QStringLiteral("D:\\Program Files\\Microsoft Visual Studio\\VB98\\VB6.EXE"));
    if (const std::optional<QString> refused = prepareCompiler(compilerText, compiler)) {
        message(*refused);
        return kExitFailed;
    }
    int failed = 0;
    for (const QString& entry : list.entries()) {
        const QString project = trimBlanks(entry);
        if (const std::optional<QString> why = startCompile(compiler, project)) {
            failure(QStringLiteral("无法启动编译器:"), project, *why);
            ++failed;
        } else {
            result(project);
        }
    }
    return failed ? kExitFailed : kExitOk;
}

}  // namespace kestrune::cli
