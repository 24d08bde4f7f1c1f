#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Desktop entries and default applications, by freedesktop.org's rules
// (Desktop Entry, MIME Applications, Base Directories). Reads files only;
// starts nothing.

// The base directories to search, most important first.
struct XdgDirs {
    QStringList configDirs;  // $XDG_CONFIG_HOME, then $XDG_CONFIG_DIRS
    QStringList dataDirs;    // $XDG_DATA_HOME, then $XDG_DATA_DIRS
    QStringList desktops;    // $XDG_CURRENT_DESKTOP, lower case

    // From the environment, with the XDG defaults for unset variables;
    // relative paths are ignored, as XDG requires.
    static XdgDirs FromEnvironment();
};

// The file of the desktop entry with this id ("org.gnome.Evince.desktop")
// under <data dir>/applications, or an empty text.
QString FindDesktopEntry(const QString &desktopId, const XdgDirs &dirs);

// The id of the default application for `mimeType` whose desktop entry is
// installed, from the mimeapps.list files, then defaults.list, then
// mimeinfo.cache; an empty text when there is none.
QString DefaultApplicationFor(const QString &mimeType, const XdgDirs &dirs);

// The Exec key of the [Desktop Entry] group with the string escapes (\s, \n,
// \t, \r, \\) resolved; nullopt when there is none.
std::optional<QString> ExecKeyOf(const QByteArray &desktopEntry);

// The Exec line as program and arguments, with "%1" as the word where a
// document goes: the first of %f %F %u %U becomes "%1" (appended when the
// line has none), the other field codes are dropped and "%%" becomes "%".
// nullopt when the line is empty or badly quoted.
std::optional<QStringList> ExpandExecLine(const QString &exec);
