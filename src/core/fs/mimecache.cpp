#include "core/fs/mimecache.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <map>

namespace kestrune {

namespace {

bool hasWildcard(QStringView text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('['));
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QString asciiLower(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const ushort u = text[i].unicode();
        out[i] = QChar(u >= 'A' && u <= 'Z' ? u + 32 : u);
    }
    return out;
}

// A regular expression that matches at least every name the glob matches,
// in any letter case: a bracket expression becomes "any one character",
// which can only widen it.
QString widenedRegex(const QString& glob)
{
    QString rx;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob.at(i);
        if (c == QLatin1Char('*')) {
            rx += QLatin1String(".*");
        } else if (c == QLatin1Char('?')) {
            rx += QLatin1Char('.');
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = glob.indexOf(QLatin1Char(']'), i + 2);
            rx += QLatin1Char('.');
            if (close > i)
                i = close;
        } else {
            rx += QRegularExpression::escape(QString(c));
        }
    }
    return rx;
}

// Every glob of the shared-mime-info databases, as update-mime-database
// lists them in each database's globs2 file ("weight:type:glob[:flags]").
// They are the globs of every type's own description, read at once instead
// of loading each type's description file (a tenth of a second on each
// start). Empty when no database has the file.
QStringList databaseGlobs()
{
    QStringList globs;
    const QStringList files =
        QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2"));
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};  // unreadable: the types' own descriptions answer
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const QList<QByteArray> fields = line.split(':');
            if (fields.size() < 3 || fields[2] == "__NOGLOBS__")
                continue;
            globs << QString::fromUtf8(fields[2]);
        }
    }
    return globs;
}

}  // namespace

struct MimeNameCache::Impl {
    QMimeDatabase db;
    // Literal endings of the "*ending" globs, in lower case, by length.
    std::map<qsizetype, QSet<QString>> endings;
    qsizetype longestEnding = 0;
    // Every other glob (exact names, and globs with wildcards elsewhere).
    QRegularExpression special;
    bool haveSpecial = false;
    // Kept answers: by the name's longest known ending (exact case).
    QHash<QString, QString> typeByEnding;
    QHash<QString, QString> commentByType;
    qint64 hits = 0;

    Impl()
    {
        QStringList specials;
        QStringList globs = databaseGlobs();
        if (globs.isEmpty()) {
            for (const QMimeType& type : db.allMimeTypes())
                globs += type.globPatterns();
        }
        globs.removeDuplicates();
        {
            for (const QString& glob : std::as_const(globs)) {
                const QStringView rest = QStringView(glob).mid(1);
                if (glob.startsWith(QLatin1Char('*')) && !rest.isEmpty() && !hasWildcard(rest) && isAscii(rest)) {
                    endings[rest.size()].insert(asciiLower(rest));
                    longestEnding = std::max(longestEnding, rest.size());
                } else {
                    specials << widenedRegex(glob);
                }
            }
        }
        haveSpecial = !specials.isEmpty();
        special.setPattern(QLatin1String("\\A(?:") + specials.join(QLatin1Char('|')) + QLatin1String(")\\z"));
        special.setPatternOptions(QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption |
                                  QRegularExpression::UseUnicodePropertiesOption);
        special.optimize();
    }

    QString lookUp(const QString& fileName)
    {
        return db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
    }

    // The key under which a name's answer may be kept, or a null string
    // when it must be looked up in full.
    QString keyFor(const QString& name) const
    {
        if (name.isEmpty() || name.contains(QLatin1Char('/')))
            return QString();
        // Letter case is compared in ASCII only, so the part any ending can
        // cover must be ASCII.
        const QStringView tail = QStringView(name).right(longestEnding);
        if (!isAscii(tail))
            return QString();
        if (haveSpecial && special.match(name).hasMatch())
            return QString();
        qsizetype longest = 0;
        const QString lowerTail = asciiLower(tail);
        for (auto it = endings.rbegin(); it != endings.rend(); ++it) {
            if (it->first > lowerTail.size())
                continue;
            if (it->second.contains(QStringView(lowerTail).right(it->first).toString())) {
                longest = it->first;
                break;
            }
        }
        // A name that is nothing but an ending is not an ordinary case.
        if (longest > 0 && longest >= name.size())
            return QString();
        // Two names with the same longest ending, letter for letter, end in
        // the same known endings and in no longer one: the same globs match.
        return QString::number(longest) + QLatin1Char(':') + name.right(longest);
    }
};

MimeNameCache::MimeNameCache() : d(std::make_unique<Impl>()) {}
MimeNameCache::~MimeNameCache() = default;

QString MimeNameCache::typeName(const QString& fileName)
{
    const QString key = d->keyFor(fileName);
    if (key.isNull())
        return d->lookUp(fileName);
    auto it = d->typeByEnding.constFind(key);
    if (it != d->typeByEnding.constEnd()) {
        ++d->hits;
        return *it;
    }
    const QString type = d->lookUp(fileName);
    d->typeByEnding.insert(key, type);
    return type;
}

QString MimeNameCache::comment(const QString& fileName)
{
    const QString type = typeName(fileName);
    auto it = d->commentByType.constFind(type);
    if (it != d->commentByType.constEnd())
        return *it;
    const QString text = d->db.mimeTypeForName(type).comment();
    d->commentByType.insert(type, text);
    return text;
}

qint64 MimeNameCache::hits() const
{
    return d->hits;
}

MimeNameCache& mimeNameCache()
{
    static MimeNameCache cache;
    return cache;
}

}  // namespace kestrune
