#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "host/HelpDocument.h"
#include "platform/DesktopEntry.h"
#include "platform/ProcessLauncher.h"
#include "platform/Registry.h"

namespace {

QStringList L(std::initializer_list<const char *> words) {
    QStringList list;
    for (const char *word : words) list.append(QString::fromUtf8(word));
    return list;
}

TEST(ExecKeyOf, ReadsTheMainGroupsExecWithStringEscapesResolved) {
    const QByteArray entry =
        "# Exec=/comment\n[Desktop Action new]\nExec=/wrong\n[Desktop Entry]\nName=Viewer\n"
        "Exec = \"/opt/My\\sViewer/v\" --dir=\\\\srv %U \n[Other]\nExec=/wrong2\n";
    EXPECT_EQ(ExecKeyOf(entry), QStringLiteral("\"/opt/My Viewer/v\" --dir=\\srv %U"));
    EXPECT_FALSE(ExecKeyOf("[Desktop Entry]\nName=No command\n[X]\nExec=/x\n"));
}

TEST(ExpandExecLine, TurnsTheFirstDocumentCodeIntoPercentOneAndDropsTheRest) {
    const std::pair<const char *, QStringList> cases[] = {
        {"evince %U", L({"evince", "%1"})},
        {"qpdfview --unique %F", L({"qpdfview", "--unique", "%1"})},
        {"\"/opt/My Viewer/v\" %f %u", L({"/opt/My Viewer/v", "%1"})},
        {"viewer --icon %i --name %c %k --rate=100%% %u",
         L({"viewer", "--icon", "--name", "--rate=100%", "%1"})},
        {"xpdf", L({"xpdf", "%1"})},
        {"flatpak run --command=evince org.gnome.Evince @@u %U @@",
         L({"flatpak", "run", "--command=evince", "org.gnome.Evince", "@@u", "%1", "@@"})},
    };
    for (const auto &[exec, expected] : cases)
        EXPECT_EQ(ExpandExecLine(QString::fromUtf8(exec)), expected) << exec;
    EXPECT_FALSE(ExpandExecLine(QString()));
    EXPECT_FALSE(ExpandExecLine(QStringLiteral("\"/opt/viewer %f")));
    EXPECT_FALSE(ExpandExecLine(QStringLiteral("%i %f")));
}

// A private set of XDG folders with desktop entries and default lists.
class XdgFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        dirs.configDirs = {Path(QStringLiteral("config"))};
        dirs.dataDirs = {Path(QStringLiteral("home-data")), Path(QStringLiteral("data"))};
        dirs.desktops = {QStringLiteral("kde")};
    }
    QString Path(const QString &relative) const {
        return root.path() + QLatin1Char('/') + relative;
    }
    void Write(const QString &relative, const QByteArray &content, bool executable = false) const {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable) file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    void Entry(const char *id, const QByteArray &exec) const {
        Write(QStringLiteral("data/applications/") + QString::fromUtf8(id),
              "[Desktop Entry]\nType=Application\nExec=" + exec + "\n");
    }

    QTemporaryDir root;
    XdgDirs dirs;
};

TEST_F(XdgFixture, DefaultApplicationIsTheFirstListedThatIsInstalled) {
    Entry("b.desktop", "/bin/true %f");
    Entry("c.desktop", "/bin/true %f");
    Entry("d.desktop", "/bin/true %f");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("application/pdf"), dirs), QString());

    Write(QStringLiteral("data/applications/mimeinfo.cache"),
          "[MIME Cache]\napplication/pdf=d.desktop;\n");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("application/pdf"), dirs),
              QStringLiteral("d.desktop"));

    Write(
        QStringLiteral("config/mimeapps.list"),
        "[Added Associations]\napplication/pdf=c.desktop;\n"
        "[Default Applications]\ntext/plain=c.desktop\napplication/pdf=gone.desktop;b.desktop;\n");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("application/pdf"), dirs),
              QStringLiteral("b.desktop"));

    Write(QStringLiteral("config/kde-mimeapps.list"),
          "[Default Applications]\napplication/pdf=c.desktop\n");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("application/pdf"), dirs),
              QStringLiteral("c.desktop"));
}

TEST_F(XdgFixture, RegistryAnswersThePdfReaderKeyWithTheQuotedProgramAndPercentOne) {
    Write(QStringLiteral("My Apps/view er"), "#!/bin/sh\n", true);
    Entry("viewer.desktop",
          "\"" + Path(QStringLiteral("My Apps/view er")).toUtf8() + "\" --fit %U");
    DesktopRegistry registry(dirs, {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                    QStringLiteral("echo viewer.desktop")});

    bool ok = false;
    const QString value = registry.ReadDefaultValue(
        QStringLiteral("applications\\acrord32.exe\\SHELL\\read\\command"), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, QLatin1Char('"') + Path(QStringLiteral("My Apps/view er")) +
                         QStringLiteral("\" --fit \"%1\""));
    EXPECT_EQ(GetPDFReaderPath(registry), Path(QStringLiteral("My Apps/view er")));

    registry.ReadDefaultValue(QStringLiteral("Applications\\Other.exe\\shell\\Read\\command"), &ok);
    EXPECT_FALSE(ok);
}

TEST_F(XdgFixture, WithoutTheQueryCommandTheDefaultListsAreRead) {
    Entry("sh-viewer.desktop", "sh %f");
    Entry("missing.desktop", "/nonexistent/viewer %f");
    Write(QStringLiteral("config/mimeapps.list"),
          "[Default Applications]\napplication/pdf=sh-viewer.desktop\n");
    DesktopRegistry registry(dirs, {QStringLiteral("/nonexistent/xdg-mime")});
    bool ok = false;
    EXPECT_EQ(registry.ReadDefaultValue(PdfReaderKey(), &ok),
              QLatin1Char('"') + QStandardPaths::findExecutable(QStringLiteral("sh")) +
                  QStringLiteral("\" \"%1\""));
    EXPECT_TRUE(ok);

    // A default whose program is not installed is no reader.
    DesktopRegistry broken(dirs, {QStringLiteral("/bin/echo"), QStringLiteral("missing.desktop")});
    EXPECT_EQ(broken.ReadDefaultValue(PdfReaderKey(), &ok), QString());
    EXPECT_FALSE(ok);
}

TEST_F(XdgFixture, HelpDocumentOpensInTheDefaultReaderAtPageOne) {
    // A stand-in reader named like a known one, recording its arguments.
    Write(QStringLiteral("bin/okular"),
          "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
          "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args\"\n",
          true);
    Entry("org.kde.okular.desktop", Path(QStringLiteral("bin/okular")).toUtf8() + " %U");
    DesktopRegistry registry(
        dirs, {QStringLiteral("/bin/echo"), QStringLiteral("org.kde.okular.desktop")});
    PosixProcessLauncher launcher;

    OpenHelpDocument(QStringLiteral("/opt/Vaskor Link/VaskorLinkPC.pdf"), 1, registry, launcher);

    QFile args(Path(QStringLiteral("bin/args")));
    const QDeadlineTimer deadline(20000);
    while (!args.exists() && !deadline.hasExpired()) QThread::msleep(10);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll(), QByteArray("-p|1|/opt/Vaskor Link/VaskorLinkPC.pdf|"));
}

}  // namespace
