#include <gtest/gtest.h>

#include "platform/CommandLine.h"

namespace {

QStringList Split(const char *line) {
    const std::optional<QStringList> words = SplitCommandLine(QString::fromUtf8(line));
    EXPECT_TRUE(words) << line;
    return words.value_or(QStringList{QStringLiteral("<invalid>")});
}

QStringList L(std::initializer_list<const char *> words) {
    QStringList list;
    for (const char *word : words) list.append(QString::fromUtf8(word));
    return list;
}

TEST(SplitCommandLine, SplitsWordsAndHonoursQuotesAsAShellDoes) {
    EXPECT_EQ(Split("  prog\t a  b "), L({"prog", "a", "b"}));
    EXPECT_EQ(Split("\"/opt/My Reader/r\" /A \"Page=1\" \"/home/u/a b.pdf\""),
              L({"/opt/My Reader/r", "/A", "Page=1", "/home/u/a b.pdf"}));
    EXPECT_EQ(Split("'it''s $HOME \\n'"), L({"its $HOME \\n"}));
    EXPECT_EQ(Split("\"a\\\"b \\\\ \\$x \\` \\n\""), L({"a\"b \\ $x ` \\n"}));
    EXPECT_EQ(Split("a\\ b c\\\"d"), L({"a b", "c\"d"}));
    EXPECT_EQ(Split("pre\"fix mid\"'dle 'end"), L({"prefix middle end"}));
    EXPECT_EQ(Split("prog \"\" ''"), L({"prog", "", ""}));
    EXPECT_EQ(Split("   "), QStringList{});
}

TEST(SplitCommandLine, UnterminatedQuoteMakesTheLineInvalid) {
    EXPECT_FALSE(SplitCommandLine(QStringLiteral("\"/opt/reader %1")));
    EXPECT_FALSE(SplitCommandLine(QStringLiteral("prog 'arg")));
    EXPECT_FALSE(SplitCommandLine(QStringLiteral("prog \"a\\\"")));
}

TEST(QuoteArgument, QuotedWordsSplitBackIntoTheSameArguments) {
    const QStringList arguments = L({"plain", "", "two words", "tab\there", "it's", "say \"hi\"",
                                     "$HOME", "`cmd`", "back\\slash", "ends\\", "\\\"", "%1"});
    QString line;
    for (const QString &argument : arguments) line += QuoteArgument(argument) + QLatin1Char(' ');
    EXPECT_EQ(SplitCommandLine(line), arguments) << line.toStdString();
    // Code that only strips the quotes off a registered path must read it unchanged.
    EXPECT_EQ(QuoteArgumentAlways(QStringLiteral("/opt/a\\b c")),
              QStringLiteral("\"/opt/a\\b c\""));
}

}  // namespace
