#pragma once

// Builders of small drawing files for the preview tests.

#include <QByteArray>
#include <QColor>
#include <QList>

#include <utility>

namespace kestrune::test {

// `bytes` bytes of `value`, lowest first; past its eight bytes, zeros (a
// shift by 64 or more is undefined).
inline void putLe(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(i < 8 ? char((value >> (8 * i)) & 0xFF) : '\0');
}

// A device-independent bitmap: 40-byte header, palette (RGB per entry,
// written B G R 0), then `rows` as stored (each already padded).
inline QByteArray dib(int bits, int width, int height, const QList<QColor>& palette, quint32 colorsUsed,
                      const QList<QByteArray>& rows, quint32 compression = 0)
{
    QByteArray out;
    putLe(out, 40, 4);
    putLe(out, quint32(width), 4);
    putLe(out, quint32(height), 4);
    putLe(out, 1, 2);
    putLe(out, quint32(bits), 2);
    putLe(out, compression, 4);
    putLe(out, 0, 4 * 3);
    putLe(out, colorsUsed, 4);
    putLe(out, 0, 4);
    for (const QColor& c : palette) {
        out.append(char(c.blue())).append(char(c.green())).append(char(c.red())).append('\0');
    }
    for (const QByteArray& row : rows)
        out.append(row);
    return out;
}

// A minimal R2000 drawing whose preview section (at 0x20) lists `entries`
// (code, data) in order; their data follows the table.
inline QByteArray drawing(const QList<std::pair<int, QByteArray>>& entries, const QByteArray& version = "AC1015")
{
    QByteArray out = version;
    out.append(QByteArray(0x0D - out.size(), '\0'));
    putLe(out, 0x20, 4);
    out.append(QByteArray(0x20 - out.size(), '\0'));
    out.append(QByteArray::fromHex("1F256D07D43628289D57CA3F9D44102B"));
    qsizetype dataSize = 0;
    for (const auto& e : entries)
        dataSize += e.second.size();
    putLe(out, quint64(1 + 9 * entries.size() + dataSize), 4);
    out.append(char(entries.size()));
    quint64 start = quint64(out.size()) + 9 * quint64(entries.size());
    for (const auto& e : entries) {
        out.append(char(e.first));
        putLe(out, start, 4);
        putLe(out, quint64(e.second.size()), 4);
        start += quint64(e.second.size());
    }
    for (const auto& e : entries)
        out.append(e.second);
    return out;
}

}  // namespace kestrune::test
