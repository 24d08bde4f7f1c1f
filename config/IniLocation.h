#pragma once

#include <QString>

class Files;
struct ProgramInfo;

// Where the INI file lives: beside the program (program folder + "/" + EXE
// name + ".ini") when the user may write there, as the file has always been
// kept; otherwise, for an installed program in a read-only folder, in the
// user's configuration folder: $XDG_CONFIG_HOME/VaskorLinkPC/<EXE name>.ini,
// or ~/.config/VaskorLinkPC/<EXE name>.ini when that variable is unset or
// not absolute. Only looks; the folder is created when the file is saved.
QString IniPath(const ProgramInfo &program, Files &files);
