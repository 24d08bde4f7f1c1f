#include "config/IniLocation.h"

#include <QDir>

#include "config/InstanceName.h"
#include "platform/Files.h"
#include "platform/ProgramInfo.h"

namespace {
QString UserConfigFolder() {
    // Relative values are invalid per the XDG base directory rules.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QLatin1String("/.config");
    return configHome + QLatin1String("/VaskorLinkPC");
}
}  // namespace

QString IniPath(const ProgramInfo &program, Files &files) {
    const QString fileName = program.exeName + QLatin1String(".ini");
    if (files.IsDirectoryWritable(program.programFolder)) return program.InFolder(fileName);
    return UserConfigFolder() + QLatin1Char('/') + fileName;
}

QString IniPath(const ProgramInfo &program, Files &files, const InstanceName &instance) {
    const QString name = instance.Name();
    if (name.isEmpty()) return IniPath(program, files);
    return UserConfigFolder() + QLatin1Char('/') + name + QLatin1Char('/') + program.exeName +
           QLatin1String(".ini");
}
