#include "config/NumberText.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qsizetype SkipDigits(QStringView text, qsizetype i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

// from_chars reports range errors without a value; decide from the decimal
// magnitude whether the number was too large (infinity) or too small (0).
// `mantissa` holds digits and at most one ".", `exponent` is saturated.
double OutOfRangeValue(const std::string &mantissa, long exponent, bool negative) {
    long magnitude = 0;
    const std::size_t point = mantissa.find('.');
    const std::string whole = mantissa.substr(0, point);
    const std::size_t firstNonZero = whole.find_first_not_of('0');
    if (firstNonZero != std::string::npos) {
        magnitude = static_cast<long>(whole.size() - firstNonZero) - 1;
    } else if (point != std::string::npos) {
        const std::string fraction = mantissa.substr(point + 1);
        magnitude = -static_cast<long>(fraction.find_first_not_of('0')) - 1;
    }
    const double result = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -result : result;
}

}  // namespace

NumberScan ScanNumber(QStringView text) {
    NumberScan scan;
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    const qsizetype mantissaStart = i;
    i = SkipDigits(text, i);
    qsizetype digits = i - mantissaStart;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        const qsizetype fractionStart = i + 1;
        const qsizetype fractionEnd = SkipDigits(text, fractionStart);
        if (digits + (fractionEnd - fractionStart) > 0) i = fractionEnd;
        digits += fractionEnd - fractionStart;
    }
    if (digits == 0) return scan;
    const qsizetype mantissaEnd = i;

    // The exponent counts only when it has digits: "1e" is 1 followed by
    // other text.
    long exponent = 0;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-'))) {
            negativeExponent = text[j] == QLatin1Char('-');
            ++j;
        }
        const qsizetype exponentEnd = SkipDigits(text, j);
        if (exponentEnd > j) {
            for (qsizetype k = j; k < exponentEnd; ++k) {
                // Saturate well beyond any double's range to keep this finite.
                exponent = std::min(exponent * 10 + (text[k].unicode() - '0'), 1'000'000L);
            }
            if (negativeExponent) exponent = -exponent;
            i = exponentEnd;
        }
    }

    const std::string mantissa =
        text.sliced(mantissaStart, mantissaEnd - mantissaStart).toLatin1().toStdString();
    const std::string number = mantissa + 'e' + std::to_string(exponent);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = OutOfRangeValue(mantissa, exponent, negative);
    } else {
        value = negative ? -value : value;
    }
    scan.value = value;

    while (i < text.size() && IsBlank(text[i])) ++i;
    scan.wholeText = i == text.size();
    return scan;
}

qint32 RoundToInt32(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<qint32>::max();
    constexpr double kMin = std::numeric_limits<qint32>::min();
    if (value >= kMax) return std::numeric_limits<qint32>::max();
    if (value <= kMin) return std::numeric_limits<qint32>::min();
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) rounded = below + 1.0;
    return static_cast<qint32>(std::clamp(rounded, kMin, kMax));
}

QString ShortestDecimal(double value) {
    if (value == 0.0) value = 0.0;  // no "-0"
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString TrimBlanks(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
    return text.sliced(begin, end - begin);
}
