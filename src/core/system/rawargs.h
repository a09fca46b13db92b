#pragma once

// Starting programs with arguments that hold names that are not UTF-8.
// QProcess writes a program's name and arguments as UTF-8, which turns the
// raw bytes of such a name (see fsnames.h) into other ones; these start the
// program with every argument in its exact bytes instead.

#include <QString>
#include <QStringList>

class QProcess;

namespace kestrune {

// Whether the program or an argument holds a byte that is not UTF-8.
bool needsExactBytes(const QString& program, const QStringList& arguments);

// Makes the child that `process` starts run the program itself, with every
// argument in its exact bytes, when an argument needs it (nothing changes
// otherwise). Call it after setting the program and before starting.
void handRawNamesOver(QProcess& process, const QString& program, const QStringList& arguments);

// Starts a program without waiting for it, detached in its own session so
// that it outlives this process (as QProcess::startDetached), with every
// argument in its exact bytes. False when it cannot be started.
bool startDetachedExactly(const QString& program, const QStringList& arguments);

// QProcess::startDetached, or startDetachedExactly when an argument needs it:
// how the program starts a program it does not wait for.
bool startDetachedProgram(const QString& program, const QStringList& arguments);

}  // namespace kestrune
