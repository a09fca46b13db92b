#include "core/fs/fsnames.h"


#include <QFile>
#include <QList>

#include <cerrno>

#include <dirent.h>
#include <iconv.h>
#include <unistd.h>

#include <vector>

namespace kestrune {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), or
// 0 when none starts there. Overlong forms, encoded surrogates and code
// points above U+10FFFF are not valid.
int utf8Length(const unsigned char* p, qsizetype left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (left < len || p[1] < lo || p[1] > hi)
        return 0;
    for (int i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return len;
}

// Decodes `bytes`, calling `raw` for every byte that is not UTF-8.
template <typename Raw>
QString decodeWith(const char* data, qsizetype n, Raw raw)
{
    QString out;
    out.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < n) {
        qsizetype run = i;
        while (run < n) {
            const int len = utf8Length(p + run, n - run);
            if (len == 0)
                break;
            run += len;
        }
        if (run > i)
            out += QString::fromUtf8(data + i, run - i);
        i = run;
        if (i < n)
            raw(out, p[i++]);
    }
    return out;
}

}  // namespace

QString decodeFileName(const QByteArray& bytes)
{
    return decodeWith(bytes.constData(), bytes.size(),
                      [](QString& out, unsigned char b) { out += QChar(char16_t(kEscapeBase + b)); });
}

QString decodeFileName(const char* bytes)
{
    return decodeFileName(QByteArray(bytes));
}

QByteArray encodeFileName(const QString& name)
{
    QByteArray out;
    out.reserve(name.size() * 3);
    // constData(), never utf16(): that moves a literal's text into a buffer
    // of its own, writing into a string other threads may hold copies of.
    const char16_t* s = reinterpret_cast<const char16_t*>(name.constData());
    const qsizetype n = name.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            ++i;  // a pair: plain UTF-8
            continue;
        }
        if (isEscape(u)) {
            out += QStringView(s + start, i - start).toUtf8();
            out += char(u - kEscapeBase);
            start = i + 1;
        }
    }
    out += QStringView(s + start, n - start).toUtf8();
    return out;
}

bool hasRawBytes(const QString& name)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(name.constData());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (QChar::isHighSurrogate(s[i]) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]))
            ++i;
        else if (isEscape(s[i]))
            return true;
    }
    return false;
}

namespace {

// `part` read strictly as GB18030, or a null string when it is not.
QString strictGb18030(const QByteArray& part)
{
    iconv_t cd = ::iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString();
    QByteArray out(part.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(part.constData());
    size_t inLeft = size_t(part.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());
    const size_t r = ::iconv(cd, &in, &inLeft, &dst, &outLeft);
    ::iconv_close(cd);
    if (r == size_t(-1) || inLeft != 0)
        return QString();
    return QString::fromUtf8(out.constData(), dst - out.data());
}

QString displayPart(const QByteArray& part)
{
    const QString gb = strictGb18030(part);
    if (!gb.isNull())
        return gb;
    return decodeWith(part.constData(), part.size(), [](QString& out, unsigned char b) {
        static const char kHex[] = "0123456789ABCDEF";
        out += QLatin1String("\\x");
        out += QLatin1Char(kHex[b >> 4]);
        out += QLatin1Char(kHex[b & 15]);
    });
}

}  // namespace

QString displayFileName(const QString& nameOrPath)
{
    if (!hasRawBytes(nameOrPath))
        return nameOrPath;
    const QByteArray bytes = encodeFileName(nameOrPath);
    QString out;
    const QList<QByteArray> parts = bytes.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += QLatin1Char('/');
        const QByteArray& part = parts[i];
        bool utf8 = true;
        const auto* p = reinterpret_cast<const unsigned char*>(part.constData());
        for (qsizetype j = 0; j < part.size();) {
            const int len = utf8Length(p + j, part.size() - j);
            if (len == 0) {
                utf8 = false;
                break;
            }
            j += len;
        }
        out += utf8 ? QString::fromUtf8(part) : displayPart(part);
    }
    return out;
}

QString displayFileNameInLine(const QString& nameOrPath)
{
    const QString shown = displayFileName(nameOrPath);
    QString out;
    out.reserve(shown.size());
    for (const QChar c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += QLatin1String("\\x");
            out += QLatin1Char(kHex[u >> 4]);
            out += QLatin1Char(kHex[u & 15]);
        } else {
            out += c;
        }
    }
    return out;
}

QString fileNameFromQt(const QString& path)
{
    const QChar replacement(QChar::ReplacementCharacter);
    if (!path.contains(replacement))
        return path;
    const QStringList parts = path.split(QLatin1Char('/'));
    QString exact;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            exact += QLatin1Char('/');
        const QString& part = parts.at(i);
        if (!part.contains(replacement)) {
            exact += part;
            continue;
        }
        QByteArray folder = encodeFileName(exact);
        if (folder.isEmpty())
            folder = ".";
        QString found;
        int matches = 0;
        if (DIR* d = ::opendir(folder.constData())) {
            while (const dirent* e = ::readdir(d)) {
                if (QFile::decodeName(e->d_name) == part && ++matches == 1)
                    found = decodeFileName(e->d_name);
            }
            ::closedir(d);
        }
        exact += matches == 1 ? found : part;
    }
    return exact;
}

QString currentFolderPath()
{
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return QString();
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(buffer.data());
}

}  // namespace kestrune
