// The emulated 8.3 names of a folder's files.
#include "shell/fsoshortnames.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace kestrune {

namespace {

bool isShortNameChar(QChar c)
{
    const ushort u = c.unicode();
    if (u >= 0x80)
        return false;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return std::strchr("!#$%&'()-@^_`{}~", char(u)) != nullptr && u != 0;
}

// The characters of `part` that an alias may hold, upper-cased; characters
// outside the 8.3 set become '_' except blanks and dots, which are dropped.
QString aliasChars(const QString& part)
{
    QString out;
    for (QChar c : part) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('.'))
            continue;
        if (isShortNameChar(c))
            out += c.toUpper();
        else if (c.unicode() < 0x80)
            out += QLatin1Char('_');
        else if (!c.isLowSurrogate())
            out += QLatin1Char('_');
    }
    return out;
}

}  // namespace

bool isValidShortName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    const int dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || ext.size() > 3)
        return false;
    if (dot >= 0 && ext.isEmpty())
        return false;
    for (QChar c : base)
        if (!isShortNameChar(c))
            return false;
    for (QChar c : ext)
        if (!isShortNameChar(c))
            return false;
    return true;
}

namespace {

// The parts an alias is built from: the base's and the extension's alias
// characters (the extension cut to three). Leading dots do not start an
// extension.
void aliasParts(const QString& name, QString* base, QString* ext)
{
    int start = 0;
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    const QString stem = name.mid(start);
    const int lastDot = stem.lastIndexOf(QLatin1Char('.'));
    if (base)
        *base = aliasChars(lastDot < 0 ? stem : stem.left(lastDot));
    *ext = aliasChars(lastDot < 0 ? QString() : stem.mid(lastDot + 1)).left(3);
}

}  // namespace

std::optional<QString> shortNameEnding(const QString& name, int count)
{
    if (isValidShortName(name))
        return name.right(count);
    // An alias ends in "." and its extension; its ending is known without
    // the other names of the folder when the extension covers it.
    QString ext;
    aliasParts(name, nullptr, &ext);
    if (count <= ext.size())
        return ext.right(count);
    return std::nullopt;
}

std::vector<QString> shortNamesFor(const std::vector<QString>& names)
{
    std::vector<QString> result(names.size());
    QSet<QString> used;
    QHash<QString, qint64> nextTail;
    for (size_t i = 0; i < names.size(); ++i) {
        if (isValidShortName(names[i])) {
            result[i] = names[i];
            used.insert(names[i].toUpper());
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (!result[i].isEmpty())
            continue;
        QString base;
        QString ext;
        aliasParts(names[i], &base, &ext);
        // The candidates are tried with the tails ~1, ~2, ... in turn. All
        // tails of one digit count share one prefix length, so a candidate
        // depends only on that prefix, the extension and the tail; one found
        // taken stays taken. Each such group resumes where the last search in
        // it stopped: a folder of many similar names is not searched from ~1
        // every time, and every name still gets the first free candidate.
        QString alias;
        for (int digits = 1, first = 1;; ++digits, first *= 10) {
            const qint64 last = qint64(first) * 10 - 1;
            QString prefix = base.left(std::max(0, std::min(6, 8 - (digits + 1))));
            if (prefix.isEmpty())
                prefix = QStringLiteral("_");
            const QString key = prefix + QChar(0) + ext + QChar(0) + QString::number(digits);
            qint64 n = std::max<qint64>(first, nextTail.value(key, first));
            for (; n <= last; ++n) {
                alias = prefix + QLatin1Char('~') + QString::number(n);
                if (!ext.isEmpty())
                    alias += QLatin1Char('.') + ext;
                if (!used.contains(alias))
                    break;
            }
            nextTail.insert(key, n + 1);
            if (n <= last)
                break;
        }
        used.insert(alias);
        result[i] = alias;
    }
    return result;
}

}  // namespace kestrune
