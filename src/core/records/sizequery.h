#pragma once

#include <QString>

namespace kestrune {

// The numeric reading of a typed text: blanks, tabs and line feeds anywhere
// are ignored, then the longest leading number is taken (optional sign,
// digits, a point as decimal separator, an optional exponent); a text without
// a leading number gives 0. "1.5k" gives 1.5, "abc" gives 0.
double numericValue(const QString& text);

// 1024 raised to (2 - index of the unit): "MB" 1048576, "KB" 1024, "Byte" 1.
double unitFactor(int unitIndex);

// A bound as the criteria text writes it: plain decimal (no exponent, no
// digit grouping, at most 15 significant digits), a point as decimal
// separator, a minus sign when negative and one leading blank otherwise.
QString formatBound(double value);

// The inclusive size range of a query.
struct SizeRange {
    double lower = 0;
    double upper = 0;

    // Both bounds are finite numbers (a huge typed number may overflow).
    bool valid() const;
    // "filesize between " + lower + " and " + upper.
    QString criteria() const;
};

// (size - tolerance) x factor .. (size + tolerance) x factor.
SizeRange sizeRange(const QString& sizeText, const QString& toleranceText, int unitIndex);

}  // namespace kestrune
