#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Command lines as text, the way the system stores and passes them.
//
// Splitting follows a POSIX shell's word and quoting rules and nothing else:
// blanks and tabs separate words; '...' keeps its text literally; "..." keeps
// its text, where a backslash escapes only  "  \  $  and  ` ; outside quotes a
// backslash keeps the next character literally. There is no expansion of
// variables, globs or "~". An unterminated quote makes the line invalid
// (nullopt) rather than guessing where the word ends. A line of blanks gives
// an empty list.
std::optional<QStringList> SplitCommandLine(const QString &commandLine);

// The argument as one word for SplitCommandLine: left bare when it needs no
// quoting, else in double quotes with only the characters that are special
// there escaped. A backslash that escapes nothing stays single, so a quoted
// path reads the same to code that merely strips the quotes.
QString QuoteArgument(const QString &argument);

// Like QuoteArgument, but always in double quotes: the form of a program path
// at the head of a registered command.
QString QuoteArgumentAlways(const QString &argument);
