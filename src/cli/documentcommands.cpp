// word, dwg: the Word documents and the drawings.

#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/devtools/worklist.h"
#include "core/documents/dwgpreview.h"
#include "core/documents/dwgview.h"
#include "core/documents/wordrun.h"
#include "core/fs/fsnames.h"
#include "core/system/textutil.h"

#include <QFile>

namespace kestrune::cli {

int wordCommand(Session& session, const Parsed& p)
{
    WordRunInputs inputs;
    inputs.password = QStringLiteral("739");
    inputs.writePassword = QStringLiteral("5917");
    if (const std::optional<QString> from = p.value("--passwords-from")) {
        QFile file;
        const bool opened = *from == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                        : (file.setFileName(*from), file.open(QIODevice::ReadOnly));
        if (!opened) {
            failure(QStringLiteral("无法读取密码文件"), *from, file.errorString());
            return kExitUsage;
        }
        const QList<QByteArray> lines = file.readAll().split('\n');
        auto line = [&lines](int i) {
            QByteArray l = lines.value(i);
            if (l.endsWith('\r'))
                l.chop(1);
            return QString::fromUtf8(l);
        };
        inputs.password = line(0);
        inputs.writePassword = line(1);
    }
    WorkList list;
    if (!buildWorkList(list, p.args, QStringLiteral("doc")))
        return kExitFailed;
    if (list.count() == 0) {
        message(QStringLiteral("列表为空,请先添加文档到列表!"));
        return kExitFailed;
    }
    inputs.documents = list.entries();

    // The information box's lines: "加密文档 " before each document, then a
    // line of its own for each thing that went wrong with it.
    const QString opening = QStringLiteral("加密文档 ");
    int current = -1;
    std::vector<bool> failedDocs(size_t(inputs.documents.size()), false);
    BatchRunner runner;
    QObject::connect(&runner, &BatchRunner::lineAdded, [&](const QString& line) {
        if (line.startsWith(opening)) {
            ++current;
            return;
        }
        if (current >= 0 && current < int(failedDocs.size())) {
            failedDocs[size_t(current)] = true;
            failure(QString(), trimBlanks(inputs.documents.value(current)), trimBlanks(line));
        }
    });
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QTimer::singleShot(0, &runner, [&] {
        runner.start<WordRunResult>(
            [inputs](ProgressSink& progress) {
                // An open password asked for is answered as a cancel: that
                // document is given up.
                WordRun run(inputs, progress, [](const QString&) { return QString(); });
                return run.run();
            },
            [&](WordRunResult r) {
                if (r.engineFailed) {
                    message(r.engineError);
                    session.finish(kExitFailed);
                    return;
                }
                bool anyFailed = false;
                for (int i = 0; i < r.handled; ++i) {
                    if (failedDocs[size_t(i)])
                        anyFailed = true;
                    else
                        result(trimBlanks(inputs.documents.value(i)));
                }
                if (r.gaveUp) {
                    // The engine kept ending: the rest were not tried.
                    message(notTriedText(r, inputs.documents));
                    session.finish(kExitFailed);
                    return;
                }
                message(r.cancelled ? cancelledText(r.handled) : QStringLiteral("列表中的所有文档加密完成!"));
                session.finish(r.cancelled || anyFailed ? kExitFailed : kExitOk);
            });
    });
    return session.exec();
}

int dwgCommand(Session&, const Parsed& p)
{
    const std::optional<QString> bmp = p.value("--bmp");
    const std::optional<QString> png = p.value("--png");
    if (bool(bmp) == bool(png))
        return usageError(QStringLiteral("请给出 --bmp OUT 或 --png OUT 之一"));
    const QString drawing = p.args.value(0);
    const DwgPreview preview = readDwgPreview(drawing);
    if (!preview.ok()) {
        failure(QString(), drawing, preview.reason());
        return kExitFailed;
    }
    const QString out = bmp ? *bmp : *png;
    if (const std::optional<QString> why = savePicture(preview.image, out, bmp ? "BMP" : "PNG")) {
        message(QStringLiteral("无法写入文件 %1：%2").arg(displayFileNameInLine(out), *why));
        return kExitFailed;
    }
    result(out);
    return kExitOk;
}

}  // namespace kestrune::cli
