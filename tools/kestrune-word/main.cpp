// kestrune-word: sets, changes and removes the open and modify passwords of
// Word documents on a headless LibreOffice.
//
//   kestrune-word --serve [--office DIR]
//       serves the program: one JSON object per line on standard input and
//       output (see serve() below).
//   kestrune-word [--office DIR] [--open-password P] [--modify-password M] FILE...
//       one line per file on standard output: the file, a tab, and "ok" or
//       the reason; status 0 only when every file is ok. An empty value (or
//       an option left out) removes that password. Documents that already
//       have an open password cannot be opened here: no one is asked for it.

#include "engine.h"
#include "office.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

void onSignal(int sig)
{
    kw::killOfficeNow();
    ::_exit(128 + sig);
}

void send(const QJsonObject& message)
{
    const QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool receive(QJsonObject* message)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        *message = doc.object();
        return true;
    }
    return false;
}

std::optional<QString> optionalString(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    return std::nullopt;
}

// The program's side of the conversation:
//   -> {"ready":true,"startSeconds":s} or {"ready":false,"error":text} once started
//   <- {"op":"open","file":f}
//      -> {"ask":"password","file":f}  <- {"answer":text} or {"answer":null}   (when encrypted)
//      -> {"ok":true,"doc":id} or {"ok":false,"error":text}
//   <- {"op":"save","doc":id,"password":p|null,"writePassword":m|null}
//      -> {"ok":bool,"saved":bool,"error":text}
//   <- {"op":"close","doc":id}  -> {"ok":true}
//   <- {"op":"quit"}            -> {"ok":true}, then the office ends and so does the helper
int serve(kw::Office& office)
{
    kw::Engine engine(office);
    QJsonObject request;
    while (receive(&request)) {
        const QString op = request.value(QStringLiteral("op")).toString();
        if (op == QLatin1String("open")) {
            QString error;
            const int id = engine.open(
                request.value(QStringLiteral("file")).toString(),
                [](const QString& file) -> std::optional<QString> {
                    send({{QStringLiteral("ask"), QStringLiteral("password")}, {QStringLiteral("file"), file}});
                    QJsonObject answer;
                    if (!receive(&answer))
                        return std::nullopt;
                    return optionalString(answer.value(QStringLiteral("answer")));
                },
                &error);
            if (id < 0)
                send({{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}});
            else
                send({{QStringLiteral("ok"), true}, {QStringLiteral("doc"), id}});
        } else if (op == QLatin1String("save")) {
            bool saved = false;
            const QString error = engine.save(request.value(QStringLiteral("doc")).toInt(),
                                              optionalString(request.value(QStringLiteral("password"))),
                                              optionalString(request.value(QStringLiteral("writePassword"))), &saved);
            send({{QStringLiteral("ok"), error.isEmpty()},
                  {QStringLiteral("saved"), saved},
                  {QStringLiteral("error"), error}});
        } else if (op == QLatin1String("close")) {
            engine.close(request.value(QStringLiteral("doc")).toInt());
            send({{QStringLiteral("ok"), true}});
        } else if (op == QLatin1String("quit")) {
            engine.closeAll();
            office.stop();
            send({{QStringLiteral("ok"), true}});
            return 0;
        } else {
            send({{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("未知的请求")}});
        }
    }
    // The program went away: so does the office.
    engine.closeAll();
    office.stop();
    return 0;
}

int runFiles(kw::Office& office, const QStringList& files, const QString& openPassword,
             const QString& modifyPassword)
{
    kw::Engine engine(office);
    bool allOk = true;
    for (const QString& file : files) {
        QString error;
        const int id = engine.open(file, nullptr, &error);
        if (id >= 0) {
            bool saved = false;
            error = engine.save(id, openPassword, modifyPassword, &saved);
            engine.close(id);
        }
        allOk = allOk && error.isEmpty();
        const QByteArray line = (file + QLatin1Char('\t') + (error.isEmpty() ? QStringLiteral("ok") : error)).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

void usage()
{
    std::fputs("usage: kestrune-word [--office DIR] [--open-password P] [--modify-password M] FILE...\n"
               "       kestrune-word --serve [--office DIR]\n",
               stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGHUP, onSignal);

    QString officeFolder = qEnvironmentVariable("UNO_PATH", QStringLiteral(KW_DEFAULT_OFFICE));
    QString openPassword, modifyPassword;
    bool serveMode = false;
    QStringList files;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (a == QLatin1String("--serve")) {
            serveMode = true;
        } else if (a == QLatin1String("--office") || a == QLatin1String("--open-password") ||
                   a == QLatin1String("--modify-password")) {
            const auto v = value();
            if (!v) {
                usage();
                return 2;
            }
            if (a == QLatin1String("--office"))
                officeFolder = *v;
            else if (a == QLatin1String("--open-password"))
                openPassword = *v;
            else
                modifyPassword = *v;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            usage();
            return 0;
        } else if (a == QLatin1String("--")) {
            files += args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            usage();
            return 2;
        } else {
            files << a;
        }
    }
    if (!serveMode && files.isEmpty()) {
        usage();
        return 2;
    }

    int status = 0;
    {
        kw::Office office;
        QString error;
        if (!office.start(officeFolder, &error)) {
            if (serveMode) {
                send({{QStringLiteral("ready"), false}, {QStringLiteral("error"), error}});
            } else {
                const QByteArray text = error.toUtf8();
                std::fprintf(stderr, "kestrune-word: %s\n", text.constData());
            }
            std::fflush(nullptr);
            ::_exit(serveMode ? 1 : 3);
        }
        if (serveMode) {
            send({{QStringLiteral("ready"), true}, {QStringLiteral("startSeconds"), office.startSeconds()}});
            status = serve(office);
        } else {
            status = runFiles(office, files, openPassword, modifyPassword);
        }
        office.stop();
    }
    // The office's bridge threads are not torn down politely at exit.
    std::fflush(nullptr);
    ::_exit(status);
}
