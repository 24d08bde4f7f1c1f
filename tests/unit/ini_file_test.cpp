#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>

#include "config/IniFile.h"
#include "config/IniLocation.h"
#include "platform/ProgramInfo.h"
#include "support/FakeFiles.h"
#include "support/ScopedEnv.h"

namespace {

const QString kPath = QStringLiteral("/opt/vaskor/VaskorLinkPC.ini");
const QString kExe = QStringLiteral("VaskorLinkPC");
const QString kLocalIP = QStringLiteral("192.168.1.20");

IniSettings LoadFrom(const QByteArray &bytes) {
    FakeFiles files;
    files.content[kPath] = bytes;
    IniSettings s;
    LoadINIfile(kPath, s, kLocalIP, kExe, files);
    return s;
}

QByteArray Lines(std::initializer_list<const char *> lines) {
    QByteArray bytes;
    for (const char *line : lines) bytes += QByteArray(line) + "\r\n";
    return bytes;
}

TEST(IniFile, WritesTheWorkedExampleByteForByte) {
    IniSettings s = IniDefaults(QStringLiteral("10.1.1.1"));
    s.FormLeft = 7200;
    s.FormTop = 3600;
    s.RemoteIP = QStringLiteral("192.168.0.10");
    s.AlwaysOnTopON = true;
    FakeFiles files;

    ASSERT_TRUE(SaveINIfile(kPath, s, kExe, files));

    const QByteArray expected =
        "[VASKORLINKPC]\r\n"
        "   Top          = 3600\r\n"
        "   Left         = 7200\r\n"
        "   RemoteIP     = 192.168.0.10\r\n"
        "   TCPport      = 5555\r\n"
        "   COMport      = COM4\r\n"
        "   AlwaysOnTop  = True\r\n"
        "   AutoStart    = False\r\n"
        "   TcpTimeout   = 5000\r\n"
        "   CTS          = False\r\n"
        "   DCD          = False\r\n"
        "   DSR          = False\r\n";
    EXPECT_EQ(files.content.value(kPath), expected);
    EXPECT_EQ(files.calls, (QStringList{QStringLiteral("MakeDirectories /opt/vaskor"),
                                        QStringLiteral("WriteReplacing ") + kPath}));
}

TEST(IniFile, WritesValuesTrimmedAndEmptyOnesWithoutBlankAfterEquals) {
    IniSettings s = IniDefaults(QString());
    s.RemoteIP = QStringLiteral("   ");
    s.COMport = QStringLiteral("  COM 7 ");
    s.FormTop = -15;
    s.CTSflag = s.DCDflag = s.DSRflag = s.AutoStartON = true;
    const QList<QByteArray> lines = FormatINIfile(s, QStringLiteral("My-Link")).split('\n');
    EXPECT_EQ(lines[0], "[MY-LINK]\r");
    EXPECT_EQ(lines[1], "   Top          = -15\r");
    EXPECT_EQ(lines[3], "   RemoteIP     =\r");
    EXPECT_EQ(lines[5], "   COMport      = COM 7\r");
    EXPECT_EQ(lines[7], "   AutoStart    = True\r");
    EXPECT_EQ(lines[9], "   CTS          = True\r");
    EXPECT_EQ(lines.size(), 13);  // twelve lines, the last one ended
    EXPECT_TRUE(lines[12].isEmpty());
}

TEST(IniFile, RelayTickIsWrittenAfterDsrOnlyWhenNotTheDefault) {
    IniSettings s = IniDefaults(kLocalIP);
    EXPECT_FALSE(FormatINIfile(s, kExe).contains("RelayTick"));
    s.RelayTick = 1;
    const QByteArray text = FormatINIfile(s, kExe);
    EXPECT_TRUE(text.endsWith("   DSR          = False\r\n"
                              "   RelayTick    = 1\r\n"));
    EXPECT_EQ(LoadFrom(text), s);
    s.RelayTick = kMaxRelayTick - 1;
    EXPECT_EQ(LoadFrom(FormatINIfile(s, kExe)), s);
}

TEST(IniFile, FormatLinePutsEqualsInColumn17AndCutsLongKeys) {
    EXPECT_EQ(FormatINIline(QStringLiteral("Top"), QStringLiteral(" 1 ")),
              QStringLiteral("   Top          = 1\r\n"));
    EXPECT_EQ(FormatINIline(QStringLiteral("ABCDEFGHIJKLMNOP"), QStringLiteral("v")),
              QStringLiteral("   ABCDEFGHIJKLM= v\r\n"));
    EXPECT_EQ(FormatINIline(QString(), QString()), QStringLiteral("                =\r\n"));
}

TEST(IniFile, SavedFileLoadsBackUnchanged) {
    IniSettings s = IniDefaults(kLocalIP);
    s.FormTop = -2147483647 - 1;
    s.FormLeft = 2147483647;
    s.RemoteIP = QStringLiteral("gerät.local");  // beyond ASCII, through the locale encoding
    s.TCPport = 0;
    s.COMport = QStringLiteral("/dev/ttyV0");
    s.AutoStartON = s.DSRflag = true;
    s.TcpTimeout = 250;
    EXPECT_EQ(LoadFrom(FormatINIfile(s, kExe)), s);
}

TEST(IniFile, ParseLineSplitsKeysAndValues) {
    const struct {
        const char *line, *key, *value;
    } cases[] = {
        {"", "", ""},
        {"   \t ", "", ""},
        {"Top=1", "TOP", "1"},
        {"  remoteip=10.0.0.7  ", "REMOTEIP", "10.0.0.7"},
        {"Remote IP = 10.0.0.7", "REMOTE IP", "10.0.0.7"},
        {"\tTcpTimeout\t=\t2500\t", "TCPTIMEOUT", "2500"},
        {"a = b = c", "A", "b = c"},
        {"= value", "", "value"},
        {"no equals sign", "", ""},
        {"; comment = x", "; COMMENT", "x"},
        {"[vaskorlinkpc]", "[VASKORLINKPC]", ""},
        {"  [Name] x = y ", "[NAME] X = Y", ""},
        {"key=\r\nvalue", "KEY", "value"},
        {"key =   ", "KEY", ""},
    };
    for (const auto &c : cases) {
        QString key = QStringLiteral("stale");
        QString value = QStringLiteral("stale");
        ParseINIline(QString::fromUtf8(c.line), key, value);
        EXPECT_EQ(key, QString::fromUtf8(c.key)) << c.line;
        EXPECT_EQ(value, QString::fromUtf8(c.value)) << c.line;
    }
}

TEST(IniFile, MissingFileGivesDefaultsAndWritesNothing) {
    FakeFiles files;
    IniSettings s;
    s.TCPport = 1;
    LoadINIfile(kPath, s, kLocalIP, kExe, files);
    EXPECT_EQ(s, IniDefaults(kLocalIP));
    EXPECT_EQ(s.RemoteIP, kLocalIP);
    EXPECT_EQ(s.TCPport, 5555);
    EXPECT_EQ(s.COMport, QStringLiteral("COM4"));
    EXPECT_EQ(s.TcpTimeout, 5000);
    EXPECT_EQ(files.calls, QStringList{QStringLiteral("Exists ") + kPath});
}

TEST(IniFile, UnreadableOrOversizedFileGivesDefaults) {
    const QByteArray good = Lines({"[VASKORLINKPC]", "TCPport=80"});
    FakeFiles files;
    files.content[kPath] = good;
    files.unreadable.insert(kPath);
    IniSettings s;
    LoadINIfile(kPath, s, kLocalIP, kExe, files);
    EXPECT_EQ(s, IniDefaults(kLocalIP));

    files.unreadable.clear();
    files.content[kPath] = good + QByteArray(kMaxIniFileBytes, ' ');
    LoadINIfile(kPath, s, kLocalIP, kExe, files);
    EXPECT_EQ(s, IniDefaults(kLocalIP));
    EXPECT_FALSE(files.calls.join(QLatin1Char('\n')).contains(QLatin1String("Write")));
}

struct LoadCase {
    const char *name;
    QByteArray file;
    std::function<void(IniSettings &)> expect;  // applied to the defaults
};

TEST(IniFile, LoadTakesValuesFromTheProgramsSectionOnly) {
    const auto none = [](IniSettings &) {};
    const LoadCase cases[] = {
        {"other section", Lines({"[OTHER]", "TCPport=80"}), none},
        {"keys before header", Lines({"TCPport=80", "[VASKORLINKPC]"}), none},
        {"lower-case header", Lines({"[vaskorlinkpc]", "TCPport=80"}),
         [](IniSettings &s) { s.TCPport = 80; }},
        {"inner blanks in header", Lines({"[ VASKORLINKPC ]", "TCPport=80"}), none},
        {"text after header", Lines({"[VASKORLINKPC] x", "TCPport=80"}), none},
        {"blanks around header", Lines({"  [VaskorLinkPC]\t", "TCPport=80"}),
         [](IniSettings &s) { s.TCPport = 80; }},
        {"section ends at next header", Lines({"[VASKORLINKPC]", "[X]", "TCPport=80"}), none},
        {"second header counts again",
         Lines({"[VASKORLINKPC]", "Top=1", "[X]", "Top=2", "[VASKORLINKPC]", "Left=3"}),
         [](IniSettings &s) {
             s.FormTop = 1;
             s.FormLeft = 3;
         }},
        {"padded lower-case key", Lines({"[VASKORLINKPC]", "  remoteip=10.0.0.7  "}),
         [](IniSettings &s) { s.RemoteIP = QStringLiteral("10.0.0.7"); }},
        {"key with inner blank", Lines({"[VASKORLINKPC]", "Remote IP = 10.0.0.7"}), none},
        {"empty RemoteIP", Lines({"[VASKORLINKPC]", "RemoteIP ="}),
         [](IniSettings &s) { s.RemoteIP.clear(); }},
        {"COMport number", Lines({"[VASKORLINKPC]", "COMport = 7"}),
         [](IniSettings &s) { s.COMport = QStringLiteral("COM7"); }},
        {"COMport number in shortest form", Lines({"[VASKORLINKPC]", "COMport = 007.50"}),
         [](IniSettings &s) { s.COMport = QStringLiteral("COM7.5"); }},
        {"COMport name", Lines({"[VASKORLINKPC]", "COMport = COM12"}),
         [](IniSettings &s) { s.COMport = QStringLiteral("COM12"); }},
        {"COMport empty", Lines({"[VASKORLINKPC]", "COMport ="}),
         [](IniSettings &s) { s.COMport.clear(); }},
        {"COMport overflowing number", Lines({"[VASKORLINKPC]", "COMport = 1e999"}),
         [](IniSettings &s) { s.COMport = QStringLiteral("1e999"); }},
        {"booleans",
         Lines({"[VASKORLINKPC]", "AlwaysOnTop = true", "AutoStart = TRUE", "CTS = True",
                "DCD = yes", "DSR = 1"}),
         [](IniSettings &s) { s.AlwaysOnTopON = s.AutoStartON = s.CTSflag = true; }},
        {"boolean back to false", Lines({"[VASKORLINKPC]", "CTS = True", "CTS = Truee"}), none},
        {"number with unit", Lines({"[VASKORLINKPC]", "TcpTimeout = 2500ms"}),
         [](IniSettings &s) { s.TcpTimeout = 2500; }},
        {"not a number", Lines({"[VASKORLINKPC]", "TcpTimeout = abc"}),
         [](IniSettings &s) { s.TcpTimeout = 0; }},
        {"RelayTick in range", Lines({"[VASKORLINKPC]", "RelayTick = 1"}),
         [](IniSettings &s) { s.RelayTick = 1; }},
        {"RelayTick rounded", Lines({"[VASKORLINKPC]", "relaytick=9.6ms"}),
         [](IniSettings &s) { s.RelayTick = 10; }},
        {"RelayTick out of range reads as default",
         Lines({"[VASKORLINKPC]", "RelayTick = 5", "RelayTick = 0"}), none},
        {"RelayTick above range", Lines({"[VASKORLINKPC]", "RelayTick = 51"}), none},
        {"RelayTick negative", Lines({"[VASKORLINKPC]", "RelayTick = -5"}), none},
        {"RelayTick not a number", Lines({"[VASKORLINKPC]", "RelayTick = fast"}), none},
        {"RelayTick huge", Lines({"[VASKORLINKPC]", "RelayTick = 1e999"}), none},
        {"halves to even", Lines({"[VASKORLINKPC]", "Top = 2.5", "Left = 3.5", "TCPport=-2.5"}),
         [](IniSettings &s) {
             s.FormTop = 2;
             s.FormLeft = 4;
             s.TCPport = -2;
         }},
        {"clamped to 32 bits",
         Lines({"[VASKORLINKPC]", "Top = 99999999999", "Left = -1e999", "TCPport = 2147483648"}),
         [](IniSettings &s) {
             s.FormTop = 2147483647;
             s.FormLeft = -2147483647 - 1;
             s.TCPport = 2147483647;
         }},
        {"last one wins", Lines({"[VASKORLINKPC]", "TCPport=1", "TCPport=2"}),
         [](IniSettings &s) { s.TCPport = 2; }},
        {"last line without CR LF", Lines({"[VASKORLINKPC]", "TCPport=1"}) + "TcpTimeout=7",
         [](IniSettings &s) { s.TCPport = 1; }},
        {"LF-only line ends", "[VASKORLINKPC]\nTCPport=1\nTcpTimeout=7\n", none},
        {"CR-only line ends", "[VASKORLINKPC]\rTCPport=1\rTcpTimeout=7\r", none},
        {"tab and CR inside lines", Lines({"[VASKORLINKPC]", "\tTCPport\t=\r80\t"}),
         [](IniSettings &s) { s.TCPport = 80; }},
        {"unknown keys and comments", Lines({"[VASKORLINKPC]", "; TCPport=1", "Port=2", "x"}),
         none},
        {"NUL inside a key", QByteArray("[VASKORLINKPC]\r\nTCP\0port=1\r\nTop=9\r\n", 36),
         [](IniSettings &s) { s.FormTop = 9; }},
        {"invalid UTF-8 in a value",
         Lines({"[VASKORLINKPC]",
                "RemoteIP = a\xff\xfe"
                "b"}),
         [](IniSettings &s) { s.RemoteIP = QStringLiteral("a\uFFFD\uFFFDb"); }},
    };
    for (const LoadCase &c : cases) {
        IniSettings expected = IniDefaults(kLocalIP);
        c.expect(expected);
        EXPECT_EQ(LoadFrom(c.file), expected) << c.name;
    }
}

TEST(IniFile, SaveReportsFailuresOfFolderAndWrite) {
    FakeFiles files;
    files.content[kPath] = "old";
    files.failWrites = true;
    EXPECT_FALSE(SaveINIfile(kPath, IniDefaults(kLocalIP), kExe, files));
    EXPECT_EQ(files.content.value(kPath), "old");

    files.failWrites = false;
    files.failMakeDirectories = true;
    files.calls.clear();
    EXPECT_FALSE(SaveINIfile(kPath, IniDefaults(kLocalIP), kExe, files));
    EXPECT_EQ(files.calls, QStringList{QStringLiteral("MakeDirectories /opt/vaskor")});
}

// Hostile files must load without crashing or hanging; the durations are
// printed for a look, not asserted.
TEST(IniFile, MalformedFilesLoadWithoutHarm) {
    QByteArray random(1 << 20, '\0');
    for (char &c : random) c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    QByteArray manySections;
    for (int i = 0; i < 100000; ++i)
        manySections += "[VASKORLINKPC]\r\n[S" + QByteArray::number(i) + "]\r\n";
    manySections += "[VASKORLINKPC]\r\nTop=5\r\n";
    QByteArray sameKey = "[VASKORLINKPC]\r\n";
    for (int i = 0; i <= 100000; ++i) sameKey += "TCPport=" + QByteArray::number(i) + "\r\n";
    const QByteArray longLine = "[VASKORLINKPC]\r\nRemoteIP=" + QByteArray(1 << 20, 'x') +
                                "\r\nTCPport=" + QByteArray(1 << 20, '7') + "\r\n";

    const struct {
        const char *name;
        QByteArray bytes;
    } inputs[] = {
        {"random bytes", random},
        {"only NULs", QByteArray(1 << 20, '\0')},
        {"only CRs", QByteArray(1 << 20, '\r')},
        {"only CR LFs", QByteArray(1 << 20, '\r').replace("\r", "\r\n")},
        {"100k sections", manySections},
        {"same key 100k times", sameKey},
        {"1 MB lines", longLine},
        {"one equals sign line", "[VASKORLINKPC]\r\n" + QByteArray(1 << 20, '=') + "\r\n"},
    };
    for (const auto &input : inputs) {
        QElapsedTimer timer;
        timer.start();
        const IniSettings s = LoadFrom(input.bytes);
        std::printf("  %-22s %6lld ms\n", input.name, static_cast<long long>(timer.elapsed()));
        if (input.bytes == manySections) {
            EXPECT_EQ(s.FormTop, 5);
        }
        if (input.bytes == sameKey) {
            EXPECT_EQ(s.TCPport, 100000);
        }
        if (input.bytes == longLine) {
            EXPECT_EQ(s.RemoteIP.size(), 1 << 20);
            EXPECT_EQ(s.TCPport, 2147483647);
        }
    }
}

}  // namespace

namespace {

TEST(IniLocation, BesideTheProgramWhenWritableElseInTheUsersConfigFolder) {
    const ProgramInfo program{QStringLiteral("VaskorLinkPC"), QStringLiteral("/opt/vaskor")};
    const ScopedEnv home("HOME", "/home/u");
    FakeFiles files;
    files.writableDirectories.insert(QStringLiteral("/opt/vaskor"));
    EXPECT_EQ(IniPath(program, files), QStringLiteral("/opt/vaskor/VaskorLinkPC.ini"));

    files.writableDirectories.clear();
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(IniPath(program, files), QStringLiteral("/cfg/VaskorLinkPC/VaskorLinkPC.ini"));
    }
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "relative");
        EXPECT_EQ(IniPath(program, files),
                  QStringLiteral("/home/u/.config/VaskorLinkPC/VaskorLinkPC.ini"));
    }
    const ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(IniPath(program, files),
              QStringLiteral("/home/u/.config/VaskorLinkPC/VaskorLinkPC.ini"));
    EXPECT_TRUE(files.directories.isEmpty());  // looking creates nothing
}

}  // namespace
