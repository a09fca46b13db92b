#pragma once

#include <QString>
#include <QStringList>

namespace kestrune {

// The tips read so far and the 1-based position of the one shown (0 before
// the first). They live for the whole run: closing the tip window keeps them,
// so a reopened window goes on where the last one stopped.
extern QStringList TipList;
extern qint32 TipIndex;

// Empties the list and puts the position back to 0 (a fresh run; tests).
void resetTips();

// The tips file: the user's own (see dataFile), or else one installed beside
// the program.
QString tipsFilePath();

// The eleven tips written into a missing or empty tips file, in order.
const QStringList& builtInTips();

// Splits a tips file's text into its lines: CR LF, LF or CR end a line, a
// final line without a line end is a line, and a closing line end adds no
// empty line. Blank lines are kept.
QStringList splitTipLines(const QString& text);

// The most characters of one tip that are kept and shown: a longer line
// keeps its start and ends in "…". Laying out a line of megabytes (label and
// tool tip alike) would hold the program up for many seconds at start-up.
constexpr qsizetype kLongestTip = 2000;
// The tip as it is kept and shown: whole, or its start and "…" (a character
// outside the BMP is never cut in half).
QString shortenedTip(const QString& tip);

// The most bytes of a tips file that are read, and the most tips kept: its
// start, up to the last line end within it. A tips file of hundreds of
// megabytes would otherwise hold the program up at start-up for many seconds
// and take gigabytes.
constexpr qint64 kTipsFileReadLimit = qint64(16) << 20;
constexpr int kMostTips = 10000;
// The start of a tips file's bytes that is read: its first `maxLines` lines
// as far as they end within `limit` bytes (CR LF, LF or CR end a line);
// with no line end there, the limit less any character cut in half.
QByteArray tipsFileStart(const QByteArray& bytes, qint64 limit, int maxLines = kMostTips);

// What reading a tips file found.
struct TipsFileContent {
    enum Status { NoFile, Empty, Read, Unreadable };
    Status status = NoFile;
    QStringList lines;  // when Read, each shortened as shortenedTip() does
    QString error;      // when Unreadable: why
};
TipsFileContent readTipsFile(const QString& path);

// Writes the built-in tips to `path`, replacing any file there: GB18030 text,
// each line ended by CR LF. Throws FsError when the file cannot be written
// or `path` is a link (never written through).
void writeBuiltInTips(const QString& path);

// Moves TipIndex on by one, back to 1 after the last tip.
void advanceTipIndex();
// The tip at TipIndex, or nothing when the list is empty or the position is
// outside it.
bool currentTip(QString* tip);

// The start-up choice in the settings store: true (show) unless the stored
// value is a number equal to 0. An absent or unusable value means show.
bool showTipsAtStartup();
void saveShowTipsAtStartup(bool show);

}  // namespace kestrune
