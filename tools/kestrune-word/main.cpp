// kestrune-word: sets, changes and removes the open and modify passwords of
// Word documents on a headless LibreOffice.
//
//   kestrune-word --serve [--office DIR]
//       serves the program: one JSON object per line on standard input and
//       output (see serve() below).
//   kestrune-word [--office DIR] [--passwords-from FILE] FILE...
//   kestrune-word [--office DIR] [--open-password P] [--modify-password M] FILE...
//       one line per file on standard output: the file, a tab, and "ok" or
//       the reason; status 0 only when every file is ok. An empty value (or
//       an option left out) removes that password. Documents that already
//       have an open password cannot be opened here: no one is asked for it.
//       Passwords on the command line can be read by every local user (ps,
//       /proc/PID/cmdline): --passwords-from takes them from a file or from
//       standard input instead, and the others draw a warning.

#include "engine.h"
#include "office.h"
#include "unotext.h"

#include "core/fs/fsnames.h"

#include <com/sun/star/uno/Exception.hpp>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <sys/stat.h>
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

// A file named in a request: "fileBytes" (base64) holds its exact bytes,
// which a JSON string cannot carry when they are not UTF-8; "file" is the
// name as text, for requests without them.
QString requestFile(const QJsonObject& request)
{
    const QJsonValue bytes = request.value(QStringLiteral("fileBytes"));
    if (bytes.isString())
        return kestrune::decodeFileName(QByteArray::fromBase64(bytes.toString().toLatin1()));
    return request.value(QStringLiteral("file")).toString();
}

// The program's side of the conversation:
//   -> {"ready":true,"startSeconds":s} or {"ready":false,"error":text} once started
//   <- {"op":"open","file":f,"fileBytes":b}
//      -> {"ask":"password","file":f}  <- {"answer":text} or {"answer":null}   (when encrypted)
//      -> {"ok":true,"doc":id} or {"ok":false,"error":text}
//   <- {"op":"save","doc":id,"password":p|null,"writePassword":m|null}
//      -> {"ok":bool,"saved":bool,"error":text}
//   <- {"op":"close","doc":id}  -> {"ok":true}
//   <- {"op":"quit"}            -> {"ok":true}, then the office ends and so does the helper
// An office that dies on a document fails that request; the next one starts
// a new office. Nothing the office throws ends the helper.
int serve(kw::Office& office)
{
    kw::Engine engine(office);
    QJsonObject request;
    while (receive(&request)) {
        const QString op = request.value(QStringLiteral("op")).toString();
        try {
        if (op == QLatin1String("open")) {
            QString error;
            const int id = engine.open(
                requestFile(request),
                [](const QString& file) -> std::optional<QString> {
                    send({{QStringLiteral("ask"), QStringLiteral("password")},
                          {QStringLiteral("file"), kestrune::displayFileName(file)}});
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
        } catch (const css::uno::Exception& e) {
            send({{QStringLiteral("ok"), false},
                  {QStringLiteral("saved"), false},
                  {QStringLiteral("error"), QStringLiteral("LibreOffice 出错(%1)").arg(kw::officeReason(kw::toQ(e.Message)))}});
        } catch (const std::exception& e) {
            send({{QStringLiteral("ok"), false},
                  {QStringLiteral("saved"), false},
                  {QStringLiteral("error"), QStringLiteral("文档引擎出错(%1)").arg(QString::fromLocal8Bit(e.what()))}});
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
        try {
            const int id = engine.open(file, nullptr, &error);
            if (id >= 0) {
                bool saved = false;
                error = engine.save(id, openPassword, modifyPassword, &saved);
                engine.close(id);
            }
        } catch (const css::uno::Exception& e) {
            error = QStringLiteral("LibreOffice 出错(%1)").arg(kw::officeReason(kw::toQ(e.Message)));
        } catch (const std::exception& e) {
            error = QStringLiteral("文档引擎出错(%1)").arg(QString::fromLocal8Bit(e.what()));
        }
        allOk = allOk && error.isEmpty();
        // The file as it was named, in its exact bytes.
        const QByteArray line = kestrune::encodeFileName(file) + '\t' +
                                (error.isEmpty() ? QStringLiteral("ok") : error).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

constexpr const char* kUsage =
    "usage: kestrune-word [--office DIR] [--passwords-from FILE] FILE...\n"
    "       kestrune-word [--office DIR] [--open-password P] [--modify-password M] FILE...\n"
    "       kestrune-word --serve [--office DIR]\n";

void usage()
{
    std::fputs(kUsage, stderr);
}

void help()
{
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "设置、更改或清除 Word 文档(.doc、.docx)的打开密码和修改密码,每个文件输出一行:\n"
               "文件名、制表符、\"ok\" 或失败原因。全部成功时退出状态为 0,否则为 1;参数错误为 2,\n"
               "LibreOffice 无法启动为 3。密码为空或未给出即清除该密码。\n"
               "\n"
               "  --passwords-from FILE   从文件 FILE 读取密码(FILE 为 \"-\" 时从标准输入读取):\n"
               "                          第一行是打开密码,第二行是修改密码。这是安全的方式,\n"
               "                          文件应只有您自己能读取(chmod 600)。\n"
               "  --open-password P       打开密码\n"
               "  --modify-password M     修改密码\n"
               "                          (不安全:命令行上的密码本机的每个用户都能看到,例如用 ps;\n"
               "                          请改用 --passwords-from)\n"
               "  --office DIR            LibreOffice 的 program 文件夹\n"
               "  --serve                 供 Kestrune 使用:经标准输入输出逐行交换 JSON 请求\n",
               stdout);
}

void warn(const QString& text)
{
    const QByteArray bytes = (QStringLiteral("kestrune-word: 警告: ") + text).toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
}

// Reads the passwords from a file, or from standard input for "-": the first
// line is the open password, the second the modify password; a missing line
// is an empty password. A file other users may read draws a warning.
bool readPasswords(const QString& name, QString* openPassword, QString* modifyPassword, QString* error)
{
    QFile file;
    bool opened = false;
    if (name == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(name);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        *error = QStringLiteral("无法读取密码文件 %1:%2").arg(name, file.errorString());
        return false;
    }
    struct stat st{};
    if (name != QLatin1String("-") && ::fstat(file.handle(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IRGRP | S_IROTH)))
        warn(QStringLiteral("密码文件 %1 其他用户也能读取,请用 chmod 600 限制").arg(name));
    // Two lines are all that is read; a password file is small.
    QStringList lines;
    while (lines.size() < 2) {
        QByteArray line = file.readLine(64 * 1024);
        if (line.isEmpty())
            break;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << QString::fromUtf8(line);
    }
    *openPassword = lines.value(0);
    *modifyPassword = lines.value(1);
    return true;
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
    std::optional<QString> passwordsFrom;
    bool passwordsOnCommandLine = false;
    bool serveMode = false;
    QStringList files;
    // Arguments keep their exact bytes: file names need not be UTF-8.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << kestrune::decodeFileName(argv[i]);
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
                   a == QLatin1String("--modify-password") || a == QLatin1String("--passwords-from")) {
            const auto v = value();
            if (!v) {
                usage();
                return 2;
            }
            if (a == QLatin1String("--office"))
                officeFolder = *v;
            else if (a == QLatin1String("--passwords-from"))
                passwordsFrom = *v;
            else if (a == QLatin1String("--open-password"))
                openPassword = *v;
            else
                modifyPassword = *v;
            if (a.endsWith(QLatin1String("-password")))
                passwordsOnCommandLine = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help();
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
    if (passwordsFrom && passwordsOnCommandLine) {
        std::fputs("kestrune-word: --passwords-from 不能与 --open-password、--modify-password 同时使用\n", stderr);
        usage();
        return 2;
    }
    if (!serveMode && passwordsFrom) {
        QString error;
        if (!readPasswords(*passwordsFrom, &openPassword, &modifyPassword, &error)) {
            std::fprintf(stderr, "kestrune-word: %s\n", error.toUtf8().constData());
            return 2;
        }
    }
    if (!serveMode && (!openPassword.isEmpty() || !modifyPassword.isEmpty()) && passwordsOnCommandLine)
        warn(QStringLiteral("命令行上的密码本机的每个用户都能看到(例如用 ps),请改用 --passwords-from 文件"
                            "或 --passwords-from -(标准输入)"));

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
