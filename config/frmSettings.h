#pragma once

#include <QDialog>
#include <functional>

#include "config/SettingsDialogRunner.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The modal dialog in which the user enters the device address, the device's
// TCP port and the virtual COM port's name. Checks the entries, shows what is
// wrong in its error label with a beep, and on Connect writes the values into
// the main window's variables. Controls carry their names as object names.
//
// Closing it in any way clears SettingsON; only its buttons (and Esc, which
// is Cancel) set CancelSettings, so the window's close button leaves that as
// it was. `variables` must outlive the dialog.
class frmSettings final : public QDialog {
    Q_OBJECT

public:
    frmSettings(SettingsDialogVariables &variables, std::function<void()> beep,
                QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void cmdOk_Click();
    void cmdCancel_Click();
    void ShowError(const QString &message);
    void Reject(const QString &message, QWidget *focus);
    int XTwips(int twips) const;
    int YTwips(int twips) const;
    void Place(QWidget *control, int left, int top, int width, int height) const;

    SettingsDialogVariables &vars_;
    std::function<void()> beep_;

    QGroupBox *Frame1;
    QLabel *lblErrorMessage;
    QLabel *Label1;
    QLineEdit *txtRemoteIP;
    QLabel *Label2;
    QLineEdit *txtLocalIPport;
    QLabel *Label3;
    QComboBox *cboComPort;
    QPushButton *cmdCancel;
    QPushButton *cmdOk;
};
