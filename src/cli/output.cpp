#include "cli/output.h"
#include "core/batch/failurelist.h"

#include "core/fs/fsnames.h"

#include <mutex>

#include <unistd.h>

namespace kestrune::cli {

namespace {

std::mutex g_outMutex;
bool g_null = false;
bool g_progressLine = false;

void clearProgressLine()
{
    if (g_progressLine) {
        std::fputs("\r\033[K", stderr);
        g_progressLine = false;
    }
}

void writeResult(QByteArray bytes)
{
    bytes.append(g_null ? '\0' : '\n');
    std::lock_guard<std::mutex> lock(g_outMutex);
    clearProgressLine();  // both may be the same terminal
    writeStream(stdout, bytes);
}

}  // namespace

void setNullSeparated(bool on)
{
    g_null = on;
}

void writeStream(FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void result(const QString& path)
{
    writeResult(encodeFileName(path));
}

void resultBytes(const QByteArray& bytes)
{
    writeResult(bytes);
}

void message(const QString& text)
{
    QByteArray bytes;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        bytes += "kestrune: " + line.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(g_outMutex);
    clearProgressLine();
    std::fflush(stdout);
    writeStream(stderr, bytes);
}

void failure(const QString& what, const QString& path, const QString& why)
{
    message(what.isEmpty() ? failureLine(path, why) : what + QLatin1Char(' ') + failureLine(path, why));
}

int usageError(const QString& text)
{
    message(text);
    message(QStringLiteral("用法见 kestrune help"));
    return kExitUsage;
}

bool progressShown()
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    return terminal;
}

void showProgressLine(const QString& text)
{
    std::lock_guard<std::mutex> lock(g_outMutex);
    std::fputs("\r\033[K", stderr);
    writeStream(stderr, text.toUtf8());
    std::fflush(stderr);
    g_progressLine = true;
}

void endProgressLine()
{
    std::lock_guard<std::mutex> lock(g_outMutex);
    clearProgressLine();
}

}  // namespace kestrune::cli
