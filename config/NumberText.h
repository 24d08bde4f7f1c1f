#pragma once

#include <QString>
#include <QStringView>

// Numbers typed by people into the INI file and the settings dialog.
//
// A number is: optional sign, decimal digits with an optional "." fraction
// (at least one digit in all), then an optional exponent ("e" or "E",
// optional sign, at least one digit). Only ASCII digits and "." count,
// whatever the locale. Blanks are spaces and tabs.

struct NumberScan {
    // The number with which the text begins after leading blanks; 0 when it
    // begins with none. Overflow gives +/-infinity, underflow 0; never NaN.
    double value = 0.0;
    // True when the text is that number and nothing else, apart from
    // leading and trailing blanks.
    bool wholeText = false;
};

NumberScan ScanNumber(QStringView text);

// The number with which `text` begins (0 when none).
inline double LeadingNumber(QStringView text) {
    return ScanNumber(text).value;
}

// Rounds to the nearest integer, an exact half to the even neighbour, and
// clamps to the signed 32-bit range; NaN gives 0.
qint32 RoundToInt32(double value);

// The shortest plain decimal text that reads back as `value` (no exponent:
// 1000 is "1000", 1.5 is "1.5"; -0 is "0"). `value` must be finite.
QString ShortestDecimal(double value);

// Blanks (spaces only, as the file and dialog texts mean them) removed from
// both ends.
QString TrimBlanks(const QString &text);
