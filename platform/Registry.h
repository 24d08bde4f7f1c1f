#pragma once

#include <QString>
#include <QStringList>

#include "platform/DesktopEntry.h"

// The registry as the system reads it: the default (unnamed) value of a key
// under HKEY_CLASSES_ROOT.
class Registry {
public:
    virtual ~Registry() = default;
    // The value's text. When the key or its value is missing, *ok is false
    // and the text is empty. May block briefly (see the implementation).
    virtual QString ReadDefaultValue(const QString &keyUnderClassesRoot, bool *ok) = 0;
};

// The one key the system reads, "Applications\AcroRD32.exe\shell\Read\command"
// (the PDF reader's command), answered from the desktop's default application
// for application/pdf: the Exec line of its desktop entry as
// "<program>" <arguments> "%1", with the program as an absolute path in
// double quotes and "%1" as the word where the document goes (words as
// SplitCommandLine reads them). Missing when there is no default, its entry
// has no usable Exec line, or its program is not installed. Every other key
// is missing.
//
// Blocks while it runs the desktop's query command (normally milliseconds;
// it is given up after 5 seconds) and reads a few small files.
class DesktopRegistry final : public Registry {
public:
    // `query` prints the default's desktop entry id ("xdg-mime query default
    // application/pdf" by default). When it cannot run or names nothing
    // installed, the mimeapps.list, defaults.list and mimeinfo.cache files
    // under `dirs` are read instead.
    explicit DesktopRegistry(XdgDirs dirs = XdgDirs::FromEnvironment(),
                             QStringList query = {
                                 QStringLiteral("xdg-mime"), QStringLiteral("query"),
                                 QStringLiteral("default"), QStringLiteral("application/pdf")});

    QString ReadDefaultValue(const QString &keyUnderClassesRoot, bool *ok) override;

private:
    QString QueryDefaultApplication() const;

    XdgDirs dirs_;
    QStringList query_;
};
