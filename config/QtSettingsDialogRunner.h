#pragma once

#include <QPointer>
#include <functional>

#include "config/SettingsDialogRunner.h"

class frmSettings;

// Runs frmSettings as a modal dialog (QDialog::exec). `beep` sounds for each
// failed check; by default the desktop's beep.
class QtSettingsDialogRunner final : public SettingsDialogRunner {
public:
    explicit QtSettingsDialogRunner(std::function<void()> beep = {});

    // Blocks in a nested event loop until the dialog has closed. If `owner`
    // is destroyed meanwhile, the dialog goes with it and this returns.
    void ShowModal(SettingsDialogVariables &variables, QWidget *owner, QPoint topLeft) override;

    // Closes the dialog if it is open, as its window's close button would:
    // SettingsON is cleared, CancelSettings keeps its value. For a main
    // window that is closing while the dialog is shown.
    void Unload() override;

private:
    std::function<void()> beep_;
    QPointer<frmSettings> open_;
};
