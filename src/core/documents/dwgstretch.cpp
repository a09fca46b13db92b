#include "core/documents/dwgpreview.h"

#include <algorithm>
#include <vector>

namespace kestrune {

// Scaling. Only the requested part of the destination is computed, so a
// picture enlarged far beyond the screen costs no more than what is shown.

namespace {

// Source span [first, last) of destination index `d` when `n` source pixels
// become `dn`: every source pixel falls in exactly one span when shrinking.
inline void span(qint64 d, qint64 n, qint64 dn, int* first, int* last)
{
    *first = int(d * n / dn);
    *last = int((d + 1) * n / dn);
    if (*last <= *first)
        *last = *first + 1;
}

// Brightness of a premultiplied pixel as seen on a white background.
inline int brightness(QRgb c)
{
    const int clear = 255 - qAlpha(c);
    return 299 * (qRed(c) + clear) + 587 * (qGreen(c) + clear) + 114 * (qBlue(c) + clear);
}

QRgb pixelAt(const QImage& image, int x, int y)
{
    return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
}

void pickScale(const QImage& src, const QSize& size, const QRect& part, bool keepDark, QImage& out)
{
    const int sw = src.width();
    const int sh = src.height();
    for (int y = 0; y < part.height(); ++y) {
        int y0, y1;
        span(part.top() + y, sh, size.height(), &y0, &y1);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            int x0, x1;
            span(part.left() + x, sw, size.width(), &x0, &x1);
            QRgb best = pixelAt(src, x0, y0);
            int bestLevel = brightness(best);
            for (int sy = y0; sy < y1; ++sy) {
                const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
                for (int sx = x0; sx < x1; ++sx) {
                    const int level = brightness(s[sx]);
                    if (keepDark ? level < bestLevel : level > bestLevel) {
                        best = s[sx];
                        bestLevel = level;
                    }
                }
            }
            line[x] = best;
        }
    }
}

// The source pixel under the centre of destination pixel `d`.
inline int nearest(qint64 d, qint64 n, qint64 dn)
{
    return int(((2 * d + 1) * n) / (2 * dn));
}

void nearestScale(const QImage& src, const QSize& size, const QRect& part, QImage& out)
{
    std::vector<int> columns(static_cast<size_t>(part.width()));
    for (int x = 0; x < part.width(); ++x)
        columns[size_t(x)] = nearest(part.left() + x, src.width(), size.width());
    for (int y = 0; y < part.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(
            src.constScanLine(nearest(part.top() + y, src.height(), size.height())));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < part.width(); ++x)
            line[x] = s[columns[size_t(x)]];
    }
}

// One axis of the smooth scaling: each destination pixel averages its span
// of source pixels when shrinking, or blends the two nearest when enlarging.
struct Weight {
    int first;
    int last;      // span when averaging
    int fraction;  // 0..256 towards first + 1 when interpolating
};

// Weights of destination pixels [from, from + count) of `dn`.
std::vector<Weight> weights(int n, int dn, int from, int count)
{
    std::vector<Weight> w(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Weight& k = w[size_t(i)];
        const qint64 d = qint64(from) + i;
        if (dn <= n) {
            span(d, n, dn, &k.first, &k.last);
            k.fraction = 0;
        } else {
            // Centre of the destination pixel in source coordinates, in 1/256.
            qint64 pos = ((2 * d + 1) * n * 256) / (qint64(2) * dn) - 128;
            pos = std::clamp<qint64>(pos, 0, qint64(n - 1) * 256);
            k.first = int(pos >> 8);
            k.last = k.first + 1;
            k.fraction = k.first + 1 < n ? int(pos & 255) : 0;
        }
    }
    return w;
}

// `count` lines; pixels along a line are `step` apart, lines `lineStep` apart.
void smoothAxis(const QRgb* in, QRgb* out, const std::vector<Weight>& w, bool enlarging, int count,
                qsizetype inStep, qsizetype inLine, qsizetype outStep, qsizetype outLine)
{
    for (int line = 0; line < count; ++line) {
        const QRgb* src = in + inLine * line;
        QRgb* dst = out + outLine * line;
        for (size_t d = 0; d < w.size(); ++d) {
            const Weight& k = w[d];
            int a, r, g, b;
            if (enlarging) {
                const QRgb p = src[inStep * k.first];
                const QRgb q = k.fraction ? src[inStep * (k.first + 1)] : p;
                const int f = k.fraction;
                a = (qAlpha(p) * (256 - f) + qAlpha(q) * f + 128) >> 8;
                r = (qRed(p) * (256 - f) + qRed(q) * f + 128) >> 8;
                g = (qGreen(p) * (256 - f) + qGreen(q) * f + 128) >> 8;
                b = (qBlue(p) * (256 - f) + qBlue(q) * f + 128) >> 8;
            } else {
                int sa = 0, sr = 0, sg = 0, sb = 0;
                for (int s = k.first; s < k.last; ++s) {
                    const QRgb p = src[inStep * s];
                    sa += qAlpha(p);
                    sr += qRed(p);
                    sg += qGreen(p);
                    sb += qBlue(p);
                }
                const int c = k.last - k.first;
                a = (sa + c / 2) / c;
                r = (sr + c / 2) / c;
                g = (sg + c / 2) / c;
                b = (sb + c / 2) / c;
            }
            dst[outStep * qsizetype(d)] = qRgba(r, g, b, a);
        }
    }
}

void smoothScale(const QImage& src, const QSize& size, const QRect& part, QImage& out)
{
    const int sw = src.width();
    const int sh = src.height();
    const int pw = part.width();
    const int ph = part.height();
    // Across first (the part's columns of every source row), then down.
    const std::vector<Weight> across = weights(sw, size.width(), part.left(), pw);
    std::vector<QRgb> rows(size_t(pw) * size_t(sh));
    for (int y = 0; y < sh; ++y)
        smoothAxis(reinterpret_cast<const QRgb*>(src.constScanLine(y)), rows.data() + size_t(y) * size_t(pw), across,
                   size.width() > sw, 1, 1, 0, 1, 0);
    const std::vector<Weight> down = weights(sh, size.height(), part.top(), ph);
    std::vector<QRgb> result(size_t(pw) * size_t(ph));
    smoothAxis(rows.data(), result.data(), down, size.height() > sh, pw, pw, 1, pw, 1);
    for (int y = 0; y < ph; ++y)
        std::memcpy(out.scanLine(y), result.data() + size_t(y) * size_t(pw), size_t(pw) * sizeof(QRgb));
}

}  // namespace

QImage stretchImage(const QImage& source, const QSize& size, int mode, const QRect& part)
{
    if (source.isNull() || size.width() <= 0 || size.height() <= 0)
        return QImage();
    const QRect whole(QPoint(0, 0), size);
    const QRect wanted = part.isNull() ? whole : (part & whole);
    if (wanted.isEmpty())
        return QImage();
    // Past half a gigabyte of pixels a part is refused rather than attempted.
    if (qint64(wanted.width()) * wanted.height() > (qint64(1) << 27))
        return QImage();
    const QImage::Format format =
        source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage src = source.format() == format ? source : source.convertToFormat(format);
    if (size == src.size())
        return wanted == whole ? src : src.copy(wanted);
    QImage out(wanted.size(), format);
    if (out.isNull())
        return QImage();  // more than can be allocated
    switch (mode) {
    case StretchDark:
        pickScale(src, size, wanted, true, out);
        break;
    case StretchLight:
        pickScale(src, size, wanted, false, out);
        break;
    case StretchNearest:
        nearestScale(src, size, wanted, out);
        break;
    default:
        smoothScale(src, size, wanted, out);
        break;
    }
    return out;
}

}  // namespace kestrune
