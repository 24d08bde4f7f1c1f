#include "config/QtSettingsDialogRunner.h"

#include <QApplication>

#include "config/frmSettings.h"

QtSettingsDialogRunner::QtSettingsDialogRunner(std::function<void()> beep)
    : beep_(beep ? std::move(beep) : [] { QApplication::beep(); }) {}

void QtSettingsDialogRunner::ShowModal(SettingsDialogVariables &variables, QWidget *owner,
                                       QPoint topLeft) {
    // On the heap: the owner deletes its children if it goes first.
    QPointer<frmSettings> dialog = new frmSettings(variables, beep_, owner);
    open_ = dialog;
    dialog->move(topLeft);
    dialog->exec();
    delete dialog.data();
}

void QtSettingsDialogRunner::Unload() {
    if (open_) open_->reject();
}
