#pragma once

#include <QPoint>
#include <QString>
#include <functional>

class QWidget;

// The main window's variables that the settings dialog reads and writes.
struct SettingsDialogVariables {
    QString &RemoteIP;
    qint32 &TCPport;
    QString &COMport;
    bool &CancelSettings;    // set by the buttons only
    bool &SettingsON;        // cleared when the dialog unloads, however it closes
    QString ErrorMessage;    // shown in the error label when the dialog opens
    std::function<bool(const QString &)> PortExists;
};

// Loads the settings dialog, places its top-left corner at `topLeft` (screen
// pixels), shows it modally owned by `owner` and returns when it has closed.
class SettingsDialogRunner {
public:
    virtual ~SettingsDialogRunner() = default;
    virtual void ShowModal(SettingsDialogVariables &variables, QWidget *owner, QPoint topLeft) = 0;
    // Closes the dialog if it is open, as its window's close button would:
    // SettingsON is cleared, CancelSettings keeps its value. Nothing happens
    // when no dialog is open.
    virtual void Unload() = 0;
    // The link has come up (socket connected, port created).
    virtual void LinkEstablished() {}
};
