#include "core/records/sizequery.h"

#include <QLocale>

#include <cmath>

namespace kestrune {

double numericValue(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s += c;

    const auto isDigit = [&](qsizetype i) { return i < s.size() && s.at(i) >= QLatin1Char('0') && s.at(i) <= QLatin1Char('9'); };
    qsizetype i = 0;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        ++i;
    bool digits = false;
    while (isDigit(i)) {
        ++i;
        digits = true;
    }
    if (i < s.size() && s.at(i) == QLatin1Char('.')) {
        ++i;
        while (isDigit(i)) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    qsizetype end = i;
    // An exponent counts only when digits follow it.
    if (i < s.size() && (s.at(i) == QLatin1Char('e') || s.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < s.size() && (s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-')))
            ++j;
        if (isDigit(j)) {
            while (isDigit(j))
                ++j;
            end = j;
        }
    }
    QString number = s.left(end);
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    if (number.startsWith(QLatin1Char('+')))
        number.remove(0, 1);
    if (number.startsWith(QLatin1Char('.')) || number.startsWith(QLatin1String("-.")))
        number.insert(number.indexOf(QLatin1Char('.')), QLatin1Char('0'));
    bool ok = false;
    const double v = QLocale::c().toDouble(number, &ok);
    if (ok)
        return v;
    // Only an overflowing exponent gets here.
    return number.startsWith(QLatin1Char('-')) ? -HUGE_VAL : HUGE_VAL;
}

double unitFactor(int unitIndex)
{
    return std::pow(1024.0, double(2 - unitIndex));
}

QString formatBound(double value)
{
    if (value == 0 || !std::isfinite(value))
        return value == 0 ? QStringLiteral(" 0") : QString();
    const double magnitude = std::fabs(value);
    const int intDigits = int(std::floor(std::log10(magnitude))) + 1;
    const int decimals = std::max(0, 15 - intDigits);
    // Round to 15 significant digits first, then write without exponent.
    QString text = QString::number(magnitude, 'f', decimals);
    if (intDigits > 15) {
        // Digits beyond the 15th become zeros.
        const QString sig = QString::number(magnitude, 'e', 14);
        const qsizetype e = sig.indexOf(QLatin1Char('e'));
        QString mantissa = sig.left(e);
        mantissa.remove(QLatin1Char('.'));
        const int exponent = sig.mid(e + 1).toInt();
        text = mantissa + QString(exponent + 1 - mantissa.size(), QLatin1Char('0'));
    }
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("0"))
        return QStringLiteral(" 0");
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + text;
}

bool SizeRange::valid() const
{
    return std::isfinite(lower) && std::isfinite(upper);
}

QString SizeRange::criteria() const
{
    return QStringLiteral("filesize between ") + formatBound(lower) + QStringLiteral(" and ") + formatBound(upper);
}

SizeRange sizeRange(const QString& sizeText, const QString& toleranceText, int unitIndex)
{
    const double size = numericValue(sizeText);
    const double tolerance = numericValue(toleranceText);
    const double factor = unitFactor(unitIndex);
    return SizeRange{(size - tolerance) * factor, (size + tolerance) * factor};
}

}  // namespace kestrune
