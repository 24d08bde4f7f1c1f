#include <gtest/gtest.h>

#include "host/HelpDocument.h"
#include "support/LaunchFakes.h"

namespace {

QStringList L(std::initializer_list<const char *> words) {
    QStringList list;
    for (const char *word : words) list.append(QString::fromUtf8(word));
    return list;
}

QString ReaderPathFor(const QString &registered) {
    FakeRegistry registry;
    registry.values.insert(PdfReaderKey(), registered);
    return GetPDFReaderPath(registry);
}

TEST(GetPDFReaderPath, CleansTheRegisteredCommandIntoThePath) {
    EXPECT_EQ(ReaderPathFor(QStringLiteral("\"C:\\Reader\\AcroRD32.exe\" \"%1\"")),
              QStringLiteral("C:\\Reader\\AcroRD32.exe"));
    EXPECT_EQ(ReaderPathFor(QStringLiteral("C:\\Reader\\AcroRD32.exe %1")),
              QStringLiteral("C:\\Reader\\AcroRD32.exe"));
    EXPECT_EQ(ReaderPathFor(QStringLiteral("C:\\Reader\\AcroRD32.exe /s %1")),
              QStringLiteral("C:\\Reader\\AcroRD32.exe /s"));
    EXPECT_EQ(ReaderPathFor(QStringLiteral("\"/opt/My Reader/r\" --x \"%1\"")),
              QStringLiteral("/opt/My Reader/r"));
    EXPECT_EQ(ReaderPathFor(QStringLiteral("  /usr/bin/\"okular\" \"%1\"%1  ")),
              QStringLiteral("/usr/bin/okular"));
    EXPECT_EQ(ReaderPathFor(QString::fromUtf8("\"/usr/bin/evince\"\0garbage\"", 26)),
              QStringLiteral("/usr/bin/evince"));
    EXPECT_EQ(ReaderPathFor(QString()), QString());
    EXPECT_EQ(ReaderPathFor(QStringLiteral("\"/opt/reader %1")), QString()) << "quote never closed";
}

TEST(GetPDFReaderPath, MissingKeyMeansNoReader) {
    FakeRegistry registry;
    EXPECT_EQ(GetPDFReaderPath(registry), QString());
    EXPECT_EQ(registry.keysRead,
              QStringList{QStringLiteral("Applications\\AcroRD32.exe\\shell\\Read\\command")});
}

TEST(TrimNull, CutsAtTheFirstNul) {
    EXPECT_EQ(TrimNull(QStringLiteral("no nul")), QStringLiteral("no nul"));
    EXPECT_EQ(TrimNull(QString(3, QChar(u'\0'))), QString());
    EXPECT_EQ(TrimNull(QString::fromUtf8("ab\0cd\0", 6)), QStringLiteral("ab"));
    EXPECT_EQ(TrimNull(QString()), QString());
}

TEST(AcrobatCommandLine, QuotesReaderPageAndDocument) {
    EXPECT_EQ(AcrobatCommandLine(QStringLiteral("C:\\Reader\\AcroRD32.exe"),
                                 QStringLiteral("C:\\Program\\VaskorLinkPC.pdf"), 1),
              QStringLiteral(
                  "\"C:\\Reader\\AcroRD32.exe\" /A \"Page=1\" \"C:\\Program\\VaskorLinkPC.pdf\""));
}

struct ReaderCase {
    const char *registered;
    QStringList expected;
};

TEST(ReaderArguments, PutsThePageInTheFormEachKnownReaderUnderstands) {
    const QString doc = QStringLiteral("/opt/v l/VaskorLinkPC.pdf");
    const ReaderCase cases[] = {
        {"\"/usr/bin/evince\" \"%1\"",
         L({"/usr/bin/evince", "--page-index=3", "/opt/v l/VaskorLinkPC.pdf"})},
        {"\"/usr/bin/okular\" \"%1\"",
         L({"/usr/bin/okular", "-p", "3", "/opt/v l/VaskorLinkPC.pdf"})},
        {"\"/usr/bin/zathura\" \"%1\"",
         L({"/usr/bin/zathura", "-P", "3", "/opt/v l/VaskorLinkPC.pdf"})},
        {"\"/usr/bin/qpdfview\" --unique \"%1\"",
         L({"/usr/bin/qpdfview", "--unique", "/opt/v l/VaskorLinkPC.pdf#3"})},
        {"\"/usr/bin/xpdf\" \"%1\"", L({"/usr/bin/xpdf", "/opt/v l/VaskorLinkPC.pdf", "3"})},
        {"\"/usr/bin/gv\" \"%1\"", L({"/usr/bin/gv", "/opt/v l/VaskorLinkPC.pdf"})},
        // A snap's command runs the reader through env.
        {"\"/usr/bin/env\" BAMF=x /snap/bin/okular \"%1\"",
         L({"/usr/bin/env", "BAMF=x", "/snap/bin/okular", "-p", "3", "/opt/v l/VaskorLinkPC.pdf"})},
        // A flatpak's arguments are kept around the document.
        {"\"/usr/bin/flatpak\" run org.gnome.Evince @@u \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "org.gnome.Evince", "@@u", "/opt/v l/VaskorLinkPC.pdf",
            "@@"})},
        {"\"/usr/bin/evince\"",
         L({"/usr/bin/evince", "--page-index=3", "/opt/v l/VaskorLinkPC.pdf"})},
    };
    for (const ReaderCase &c : cases) {
        const QString registered = QString::fromUtf8(c.registered);
        const QString reader = registered.section(QLatin1Char('"'), 1, 1);
        EXPECT_EQ(ReaderArguments(reader, registered, doc, 3), c.expected) << c.registered;
    }
}

TEST(ReaderArguments, TodaysViewersBrowsersAndFlatpaksOpenAtThePage) {
    const char *path = "/opt/v l/VaskorLinkPC.pdf";
    const QString doc = QString::fromUtf8(path);
    const char *address = "file:///opt/v%20l/VaskorLinkPC.pdf#page=1";
    const ReaderCase cases[] = {
        {"\"/usr/bin/papers\" \"%1\"", L({"/usr/bin/papers", "--page-index=1", path})},
        {"\"/usr/bin/firefox\" --new-window \"%1\"",
         L({"/usr/bin/firefox", "--new-window", address})},
        {"\"/usr/bin/chromium\" \"%1\"", L({"/usr/bin/chromium", address})},
        // Flatpak: the viewer is --command's; the page goes outside the
        // forwarded pair, before it or after it as the viewer wants.
        {"\"/usr/bin/flatpak\" run --branch=stable --command=papers --file-forwarding "
         "org.gnome.Papers @@u \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "--branch=stable", "--command=papers",
            "--file-forwarding", "org.gnome.Papers", "--page-index=1", "@@u", path, "@@"})},
        {"\"/usr/bin/flatpak\" run --command okular org.kde.okular @@ \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "--command", "okular", "org.kde.okular", "-p", "1", "@@",
            path, "@@"})},
        {"\"/usr/bin/flatpak\" run --command=/app/bin/xpdf x.Xpdf @@ \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "--command=/app/bin/xpdf", "x.Xpdf", "@@", path, "@@",
            "1"})},
        // An address passes only where Flatpak expects addresses ("@@u").
        {"\"/usr/bin/flatpak\" run --command=firefox org.mozilla.firefox @@u \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "--command=firefox", "org.mozilla.firefox", "@@u",
            address, "@@"})},
        {"\"/usr/bin/flatpak\" run --command=qpdfview x.Qpdfview @@ \"%1\" @@",
         L({"/usr/bin/flatpak", "run", "--command=qpdfview", "x.Qpdfview", "@@", path, "@@"})},
        // Not forwarded: flatpak passes the words through as they are.
        {"\"/usr/bin/flatpak\" run --command=zathura org.pwmt.zathura \"%1\"",
         L({"/usr/bin/flatpak", "run", "--command=zathura", "org.pwmt.zathura", "-P", "1", path})},
    };
    for (const ReaderCase &c : cases) {
        const QString registered = QString::fromUtf8(c.registered);
        const QString reader = registered.section(QLatin1Char('"'), 1, 1);
        EXPECT_EQ(ReaderArguments(reader, registered, doc, 1), c.expected) << c.registered;
    }
}

TEST(ReaderArguments, CommandNotStartingWithTheReaderFallsBackToReaderAndDocument) {
    EXPECT_EQ(
        ReaderArguments(QStringLiteral("/opt/My Reader/okular"),
                        QStringLiteral("/opt/My Reader/okular %1"), QStringLiteral("/d.pdf"), 1),
        L({"/opt/My Reader/okular", "-p", "1", "/d.pdf"}));
}

TEST(OpenHelpDocument, StartsTheRegisteredReaderDetachedAtThePage) {
    FakeRegistry registry;
    FakeProcessLauncher launcher;
    registry.values.insert(PdfReaderKey(), QStringLiteral("\"/usr/bin/okular\" \"%1\""));
    OpenHelpDocument(QStringLiteral("/opt/v/VaskorLinkPC.pdf"), 1, registry, launcher);
    ASSERT_EQ(launcher.detached.size(), 1);
    EXPECT_EQ(launcher.detached[0], L({"/usr/bin/okular", "-p", "1", "/opt/v/VaskorLinkPC.pdf"}));
    EXPECT_TRUE(launcher.started.isEmpty());
}

TEST(OpenHelpDocument, WithoutARegisteredReaderNothingIsStarted) {
    FakeProcessLauncher launcher;
    for (const QString &value :
         {QString(), QStringLiteral("   %1 "), QStringLiteral("\"unclosed")}) {
        FakeRegistry registry;
        registry.values.insert(PdfReaderKey(), value);
        OpenHelpDocument(QStringLiteral("/opt/v/VaskorLinkPC.pdf"), 1, registry, launcher);
    }
    FakeRegistry empty;
    OpenHelpDocument(QStringLiteral("/opt/v/VaskorLinkPC.pdf"), 1, empty, launcher);
    EXPECT_TRUE(launcher.detached.isEmpty());
}

}  // namespace
