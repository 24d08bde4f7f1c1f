#pragma once

#include <QString>

// The running program's file: EXE name (file name without folder and
// extension) and program folder (its folder, without trailing separator).
struct ProgramInfo {
    QString exeName;
    QString programFolder;

    // Taken from the running executable.
    static ProgramInfo FromRunningProgram();
    // program folder + "/" + name
    QString InFolder(const QString &name) const { return programFolder + QLatin1Char('/') + name; }
};
