// Instance names: which are taken, and what a name selects (settings
// folder, lock, line title).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "config/IniFile.h"
#include "config/IniLocation.h"
#include "config/InstanceName.h"
#include "platform/Files.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramInfo.h"
#include "support/FakeFiles.h"
#include "support/ScopedEnv.h"

namespace {

const QString kExe = QStringLiteral("VaskorLinkPC");

TEST(InstanceName, TakesPlainFileNamesOnly) {
    for (const char *good : {"plc1", "A", "line-3.b", "Scale_2", "x.", "0"}) {
        EXPECT_TRUE(InstanceName::IsValidName(QString::fromLatin1(good))) << good;
    }
    EXPECT_TRUE(InstanceName::IsValidName(QString(64, QLatin1Char('x'))));

    for (const char *bad : {"", ".", "..", ".hidden", "a/b", "/abs", "../x", "plc 1", "plc\n1",
                            "a\\b", "a:b", "a@b", "*"}) {
        EXPECT_FALSE(InstanceName::IsValidName(QString::fromLatin1(bad))) << bad;
    }
    EXPECT_FALSE(InstanceName::IsValidName(QString(65, QLatin1Char('x'))));
    // Letters beyond ASCII would name folders differently in other locales.
    EXPECT_FALSE(InstanceName::IsValidName(QStringLiteral("w\u00e4ge")));
}

TEST(InstanceName, FromTheEnvironmentUnsetIsNoNameAndEmptyIsInvalid) {
    {
        const ScopedEnv unset("VASKORLINK_INSTANCE", nullptr);
        const InstanceName none = InstanceName::FromEnvironment();
        EXPECT_FALSE(none.Given());
        EXPECT_TRUE(none.IsValid());
        EXPECT_EQ(none.Qualify(kExe), kExe);
    }
    {
        const ScopedEnv empty("VASKORLINK_INSTANCE", "");
        const InstanceName blank = InstanceName::FromEnvironment();
        EXPECT_TRUE(blank.Given());
        EXPECT_FALSE(blank.IsValid());
    }
    const ScopedEnv named("VASKORLINK_INSTANCE", "plc1");
    const InstanceName plc1 = InstanceName::FromEnvironment();
    EXPECT_TRUE(plc1.IsValid());
    EXPECT_EQ(plc1.Name(), QStringLiteral("plc1"));
    EXPECT_EQ(plc1.Qualify(kExe), QStringLiteral("VaskorLinkPC@plc1"));
}

TEST(InstanceName, AnInvalidNameQualifiesNothingAndIsQuotedHarmlessly) {
    const InstanceName bad(QStringLiteral("../x\nVaskorLinkPC: forged") + QString(200, u'y'));
    EXPECT_FALSE(bad.IsValid());
    EXPECT_TRUE(bad.Name().isEmpty());
    EXPECT_EQ(bad.Qualify(kExe), kExe);
    const QString text = bad.RefusalText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Invalid instance name \"../x?VaskorLinkPC")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("VASKORLINK_INSTANCE")));
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_LT(text.size(), 200);
}

TEST(InstanceName, ANameGetsItsOwnSettingsFolderWhereverTheProgramIs) {
    const ProgramInfo program{kExe, QStringLiteral("/opt/vaskor")};
    const ScopedEnv home("HOME", "/home/u");
    const ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    FakeFiles files;
    files.writableDirectories.insert(QStringLiteral("/opt/vaskor"));
    const InstanceName plc1(QStringLiteral("plc1"));
    // Even a writable program folder is shared by every instance.
    EXPECT_EQ(IniPath(program, files, plc1),
              QStringLiteral("/cfg/VaskorLinkPC/plc1/VaskorLinkPC.ini"));
    EXPECT_EQ(IniPath(program, files, InstanceName(std::nullopt)),
              QStringLiteral("/opt/vaskor/VaskorLinkPC.ini"));
    const ScopedEnv relative("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(IniPath(program, files, plc1),
              QStringLiteral("/home/u/.config/VaskorLinkPC/plc1/VaskorLinkPC.ini"));
    EXPECT_TRUE(files.directories.isEmpty());  // looking creates nothing
}

TEST(InstanceName, SavingMakesTheInstanceFolderPrivate) {
    QTemporaryDir config;
    const ScopedEnv xdg("XDG_CONFIG_HOME", QFile::encodeName(config.path()).constData());
    const ProgramInfo program{kExe, QStringLiteral("/nonexistent")};
    PosixFiles files;
    const QString path = IniPath(program, files, InstanceName(QStringLiteral("plc1")));
    const mode_t oldMask = ::umask(0);
    const bool saved = SaveINIfile(path, IniSettings{}, kExe, files);
    ::umask(oldMask);
    ASSERT_TRUE(saved);
    const QString folders[] = {QFileInfo(path).path(),
                               config.path() + QStringLiteral("/VaskorLinkPC")};
    for (const QString &folder : folders) {
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder.toStdString();
    }
}

TEST(InstanceLock, OneHolderPerKeyAndKeysDoNotMeet) {
    QTemporaryDir runtime;
    const ScopedEnv xdg("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()).constData());
    const InstanceLock plain(kExe);
    const InstanceLock plc1(QStringLiteral("VaskorLinkPC@plc1"));
    const InstanceLock plc2(QStringLiteral("VaskorLinkPC@plc2"));
    EXPECT_FALSE(plain.AnotherInstanceRunning());
    EXPECT_FALSE(plc1.AnotherInstanceRunning());
    EXPECT_FALSE(plc2.AnotherInstanceRunning());
    {
        const InstanceLock again(QStringLiteral("VaskorLinkPC@plc1"));
        EXPECT_TRUE(again.AnotherInstanceRunning());
        const InstanceLock plainAgain(kExe);
        EXPECT_TRUE(plainAgain.AnotherInstanceRunning());
    }
}

}  // namespace
