#pragma once

#include <QString>

class Files;
class InstanceName;
struct ProgramInfo;

// Where the INI file lives: beside the program (program folder + "/" + EXE
// name + ".ini") when the user may write there, as the file has always been
// kept; otherwise, for an installed program in a read-only folder, in the
// user's configuration folder: $XDG_CONFIG_HOME/VaskorLinkPC/<EXE name>.ini,
// or ~/.config/VaskorLinkPC/<EXE name>.ini when that variable is unset or
// not absolute. Only looks; the folder is created when the file is saved.
QString IniPath(const ProgramInfo &program, Files &files);

// For a named instance (a valid one), always its own folder in the user's
// configuration folder, $XDG_CONFIG_HOME/VaskorLinkPC/<name>/<EXE name>.ini,
// whatever the program folder allows: instances share one executable, so
// the file beside it could belong to only one of them. Without a name, as
// above.
QString IniPath(const ProgramInfo &program, Files &files, const InstanceName &instance);
