#include "platform/ProgramInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

ProgramInfo ProgramInfo::FromRunningProgram() {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return ProgramInfo{exe.completeBaseName(), exe.absolutePath()};
}
