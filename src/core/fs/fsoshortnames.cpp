// The emulated 8.3 names of a folder's files.
//
// Aliases are worked out for a whole folder at once, often for many
// thousands of names. Every alias is at most a dozen ASCII characters, so
// candidates are built in small character buffers and looked up in flat
// tables of packed keys: no string is made for a name until its alias is
// settled.
#include "core/fs/fsoshortnames.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrune {

namespace {

// Which ASCII characters an 8.3 name may hold.
struct ShortNameCharTable {
    std::array<bool, 128> allowed{};
    constexpr ShortNameCharTable()
    {
        for (int c = '0'; c <= '9'; ++c)
            allowed[size_t(c)] = true;
        for (int c = 'A'; c <= 'Z'; ++c)
            allowed[size_t(c)] = allowed[size_t(c - 'A' + 'a')] = true;
        for (const char* p = "!#$%&'()-@^_`{}~"; *p; ++p)
            allowed[size_t(*p)] = true;
    }
};
constexpr ShortNameCharTable kShortNameChars;

bool isShortNameChar(char16_t u)
{
    return u < 0x80 && kShortNameChars.allowed[u];
}

char upperAscii(char16_t u)
{
    return (u >= 'a' && u <= 'z') ? char(u - 'a' + 'A') : char(u);
}

// The character one UTF-16 unit gives an alias, or 0 when it gives none:
// 8.3 characters in upper case, blanks and dots dropped, anything else '_'
// (a surrogate pair once, and each raw byte of a name that is not UTF-8,
// a lone low surrogate, once). `prev` is the unit before, or 0.
char aliasChar(char16_t u, char16_t prev)
{
    if (u == u' ' || u == u'.')
        return 0;
    if (isShortNameChar(u))
        return upperAscii(u);
    if (u >= 0x80 && QChar::isLowSurrogate(u) && QChar::isHighSurrogate(prev))
        return 0;
    return '_';
}

// The parts an alias is built from: the first six alias characters of the
// base (no alias uses more) and up to three of the extension. Leading dots
// do not start an extension; the last dot does.
struct AliasParts {
    char base[6];
    int baseLen = 0;
    char ext[3];
    int extLen = 0;
};

AliasParts aliasParts(const QString& name)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(name.constData());
    const qsizetype n = name.size();
    qsizetype start = 0;
    while (start < n && s[start] == u'.')
        ++start;
    qsizetype lastDot = n;
    for (qsizetype i = n; i-- > start;) {
        if (s[i] == u'.') {
            lastDot = i;
            break;
        }
    }
    AliasParts p;
    for (qsizetype i = start; i < lastDot && p.baseLen < 6; ++i)
        if (const char c = aliasChar(s[i], i > 0 ? s[i - 1] : 0))
            p.base[p.baseLen++] = c;
    for (qsizetype i = lastDot + 1; i < n && p.extLen < 3; ++i)
        if (const char c = aliasChar(s[i], s[i - 1]))
            p.ext[p.extLen++] = c;
    return p;
}

// Up to 16 characters packed into two words; no key is all zeros.
struct Key {
    quint64 lo = 0;
    quint64 hi = 0;
    bool operator==(const Key& o) const { return lo == o.lo && hi == o.hi; }
    bool empty() const { return lo == 0 && hi == 0; }
};

Key packKey(const char* chars, int len)
{
    unsigned char bytes[16] = {};
    std::memcpy(bytes, chars, size_t(std::min(len, 16)));
    Key k;
    std::memcpy(&k.lo, bytes, 8);
    std::memcpy(&k.hi, bytes + 8, 8);
    return k;
}

// An open-addressing table from keys to numbers.
class KeyTable {
public:
    explicit KeyTable(size_t expected)
    {
        size_t capacity = 16;
        while (capacity < expected * 2)
            capacity <<= 1;
        m_slots.resize(capacity);
    }

    const qint64* find(const Key& key) const
    {
        const Slot& s = m_slots[slotOf(key)];
        return s.key.empty() ? nullptr : &s.value;
    }

    void set(const Key& key, qint64 value)
    {
        Slot* s = &m_slots[slotOf(key)];
        if (s->key.empty()) {
            if ((m_count + 1) * 2 > m_slots.size()) {
                grow();
                s = &m_slots[slotOf(key)];
            }
            s->key = key;
            ++m_count;
        }
        s->value = value;
    }

private:
    struct Slot {
        Key key;
        qint64 value = 0;
    };

    size_t slotOf(const Key& key) const
    {
        quint64 h = key.lo * 0x9E3779B97F4A7C15ULL ^ (key.hi + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
        h ^= h >> 31;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            if (m_slots[i].key.empty() || m_slots[i].key == key)
                return i;
        }
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        for (const Slot& s : old)
            if (!s.key.empty())
                m_slots[slotOf(s.key)] = s;
    }

    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

// Writes `n` in decimal at `out`; returns the number of digits.
int writeDecimal(qint64 n, char* out)
{
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    for (int i = 0; i < count; ++i)
        out[i] = digits[count - 1 - i];
    return count;
}

}  // namespace

bool isValidShortName(const QString& name)
{
    const qsizetype n = name.size();
    if (n == 0 || n > 12)
        return false;
    const char16_t* s = reinterpret_cast<const char16_t*>(name.constData());
    qsizetype dot = -1;
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] == u'.') {
            if (dot >= 0)
                return false;
            dot = i;
        } else if (!isShortNameChar(s[i])) {
            return false;
        }
    }
    const qsizetype baseLen = dot < 0 ? n : dot;
    const qsizetype extLen = dot < 0 ? 0 : n - dot - 1;
    return baseLen >= 1 && baseLen <= 8 && extLen <= 3 && (dot < 0 || extLen >= 1);
}

std::optional<QString> shortNameEnding(const QString& name, int count)
{
    if (isValidShortName(name))
        return name.right(count);
    // An alias ends in "." and its extension; its ending is known without
    // the other names of the folder when the extension covers it.
    const AliasParts p = aliasParts(name);
    if (count > p.extLen)
        return std::nullopt;
    const int take = count < 0 ? p.extLen : count;
    return QString::fromLatin1(p.ext + (p.extLen - take), take);
}

std::vector<QString> shortNamesFor(const std::vector<QString>& names)
{
    std::vector<QString> result(names.size());
    std::vector<bool> settled(names.size());
    KeyTable used(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        if (isValidShortName(names[i])) {
            result[i] = names[i];
            settled[i] = true;
            char upper[12];
            const char16_t* s = reinterpret_cast<const char16_t*>(names[i].constData());
            const int len = int(names[i].size());
            for (int c = 0; c < len; ++c)
                upper[c] = upperAscii(s[c]);
            used.set(packKey(upper, len), 0);
        }
    }
    // Where each group of candidates (one prefix, extension and number of
    // tail digits) resumes its search.
    KeyTable nextTail(names.size() / 4);
    for (size_t i = 0; i < names.size(); ++i) {
        if (settled[i])
            continue;
        const AliasParts p = aliasParts(names[i]);
        // The candidates are tried with the tails ~1, ~2, ... in turn. All
        // tails of one digit count share one prefix length, so a candidate
        // depends only on that prefix, the extension and the tail; one found
        // taken stays taken. Each such group resumes where the last search in
        // it stopped: a folder of many similar names is not searched from ~1
        // every time, and every name still gets the first free candidate.
        char alias[32];
        int aliasLen = 0;
        for (qint64 digits = 1, first = 1;; ++digits, first *= 10) {
            const qint64 last = first * 10 - 1;
            int prefixLen = int(std::min<qint64>(p.baseLen, std::max<qint64>(0, std::min<qint64>(6, 8 - (digits + 1)))));
            char prefix[6];
            std::memcpy(prefix, p.base, size_t(prefixLen));
            if (prefixLen == 0)
                prefix[prefixLen++] = '_';

            char group[16];
            int groupLen = 0;
            std::memcpy(group, prefix, size_t(prefixLen));
            groupLen += prefixLen;
            group[groupLen++] = '\1';
            std::memcpy(group + groupLen, p.ext, size_t(p.extLen));
            groupLen += p.extLen;
            group[groupLen++] = '\1';
            group[groupLen++] = char('0' + digits);
            const Key groupKey = packKey(group, groupLen);
            const qint64* resume = nextTail.find(groupKey);
            qint64 n = std::max<qint64>(first, resume ? *resume : first);

            std::memcpy(alias, prefix, size_t(prefixLen));
            alias[prefixLen] = '~';
            for (; n <= last; ++n) {
                aliasLen = prefixLen + 1;
                aliasLen += writeDecimal(n, alias + aliasLen);
                if (p.extLen > 0) {
                    alias[aliasLen++] = '.';
                    std::memcpy(alias + aliasLen, p.ext, size_t(p.extLen));
                    aliasLen += p.extLen;
                }
                if (!used.find(packKey(alias, aliasLen)))
                    break;
            }
            nextTail.set(groupKey, n + 1);
            if (n <= last)
                break;
        }
        used.set(packKey(alias, aliasLen), 0);
        result[i] = QString::fromLatin1(alias, aliasLen);
    }
    return result;
}

}  // namespace kestrune
