#include "config/IniLocation.h"

#include <QDir>

#include "platform/Files.h"
#include "platform/ProgramInfo.h"

QString IniPath(const ProgramInfo &program, Files &files) {
    const QString fileName = program.exeName + QLatin1String(".ini");
    if (files.IsDirectoryWritable(program.programFolder)) return program.InFolder(fileName);

    // Relative values are invalid per the XDG base directory rules.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QLatin1String("/.config");
    return configHome + QLatin1String("/VaskorLinkPC/") + fileName;
}
