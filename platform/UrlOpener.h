#pragma once

#include <QUrl>

// Hands an address to the desktop's handler for it (for a web address, the
// default browser). Returns once the handler has been asked, without waiting
// for it; false when no handler could be asked. Runs on the UI thread.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool Open(const QUrl &url) = 0;
};

// QDesktopServices::openUrl.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool Open(const QUrl &url) override;
};
