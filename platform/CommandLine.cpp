#include "platform/CommandLine.h"

namespace {

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsSpecialInDoubleQuotes(QChar c) {
    return c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$') ||
           c == QLatin1Char('`');
}

bool NeedsQuoting(const QString &argument) {
    if (argument.isEmpty()) return true;
    static const QString kSpecial = QStringLiteral(" \t\"'\\$`");
    for (const QChar c : argument) {
        if (kSpecial.contains(c)) return true;
    }
    return false;
}

}  // namespace

std::optional<QStringList> SplitCommandLine(const QString &commandLine) {
    QStringList words;
    QString word;
    bool inWord = false;
    const qsizetype n = commandLine.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = commandLine[i];
        if (IsBlank(c)) {
            if (inWord) words.append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const qsizetype close = commandLine.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0) return std::nullopt;
            word += commandLine.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i >= n) return std::nullopt;
                const QChar q = commandLine[i];
                if (q == QLatin1Char('"')) break;
                if (q == QLatin1Char('\\') && i + 1 < n &&
                    IsSpecialInDoubleQuotes(commandLine[i + 1]))
                    ++i;
                word += commandLine[i];
            }
        } else if (c == QLatin1Char('\\') && i + 1 < n) {
            word += commandLine[++i];
        } else {
            word += c;
        }
    }
    if (inWord) words.append(word);
    return words;
}

QString QuoteArgumentAlways(const QString &argument) {
    QString quoted = QStringLiteral("\"");
    const qsizetype n = argument.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = argument[i];
        const bool escapes =
            c == QLatin1Char('\\') && (i + 1 == n || IsSpecialInDoubleQuotes(argument[i + 1]));
        if (escapes || (c != QLatin1Char('\\') && IsSpecialInDoubleQuotes(c)))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

QString QuoteArgument(const QString &argument) {
    return NeedsQuoting(argument) ? QuoteArgumentAlways(argument) : argument;
}
