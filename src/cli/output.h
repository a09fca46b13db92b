#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace kestrune::cli {

// Exit statuses: everything done, some files failed, a usage error.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Whether results end in NUL (-0) rather than a line break.
void setNullSeparated(bool on);

void writeStream(FILE* stream, const QByteArray& bytes);

// One result on standard output: a name in its exact bytes.
void result(const QString& path);

// One result on standard output in the bytes given.
void resultBytes(const QByteArray& bytes);

// A message on standard error, each of its lines on a line of its own.
void message(const QString& text);

// A file that failed: its name (shown readably, on one line) and why.
void failure(const QString& what, const QString& path, const QString& why);

// A usage error: the text and where to read the usage; returns kExitUsage.
int usageError(const QString& text);

// The progress line on standard error, shown only on a terminal.
bool progressShown();
void showProgressLine(const QString& text);
void endProgressLine();

}  // namespace kestrune::cli
