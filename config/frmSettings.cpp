#include "config/frmSettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/NumberText.h"

namespace {

constexpr double kTwipsPerInch = 1440.0;
const QColor kBackground(64, 64, 64);
const QColor kCaption(255, 255, 255);
const QColor kErrorText(255, 255, 128);

template <typename Control>
Control *Named(Control *control, const char *name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

QLabel *PlainLabel(const QString &text, QWidget *parent, const char *name) {
    auto *label = Named(new QLabel(parent), name);
    // Error texts carry port names typed by the user: never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

// The fixed layout is made for MS Sans Serif. Where it is missing, faces of
// similar width come next: the common fallback (DejaVu Sans) is wide enough
// to cut off "Error connecting to host".
QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

}  // namespace

frmSettings::frmSettings(SettingsDialogVariables &variables, std::function<void()> beep,
                         QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      vars_(variables),
      beep_(std::move(beep)) {
    setObjectName(QStringLiteral("frmSettings"));
    setFont(DialogFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    colours.setColor(QPalette::WindowText, kCaption);
    setPalette(colours);
    setAutoFillBackground(true);
    setFixedSize(XTwips(3015), YTwips(2415));

    Frame1 = Named(new QGroupBox(QStringLiteral("VaskorLinkPC Settings"), this), "Frame1");
    lblErrorMessage = PlainLabel(QString(), Frame1, "lblErrorMessage");
    Label1 = PlainLabel(QStringLiteral("Vaskor Link IP"), Frame1, "Label1");
    txtRemoteIP = Named(new QLineEdit(Frame1), "txtRemoteIP");
    Label2 = PlainLabel(QStringLiteral("TCP Port"), Frame1, "Label2");
    txtLocalIPport = Named(new QLineEdit(Frame1), "txtLocalIPport");
    Label3 = PlainLabel(QStringLiteral("COM Port"), Frame1, "Label3");
    cboComPort = Named(new QComboBox(Frame1), "cboComPort");
    cmdCancel = Named(new QPushButton(QStringLiteral("Cancel"), Frame1), "cmdCancel");
    cmdOk = Named(new QPushButton(QStringLiteral("Connect"), Frame1), "cmdOk");

    Place(Frame1, 120, 0, 2775, 2292);
    Place(lblErrorMessage, 120, 240, 2172, 252);
    Place(Label1, 120, 600, 1215, 255);
    Place(txtRemoteIP, 1440, 600, 1212, 288);
    Place(Label2, 120, 960, 1215, 255);
    Place(txtLocalIPport, 1440, 960, 1212, 288);
    Place(Label3, 120, 1320, 1215, 255);
    Place(cboComPort, 1440, 1320, 1212, 315);
    Place(cmdCancel, 1440, 1800, 1215, 372);
    Place(cmdOk, 120, 1800, 1095, 372);

    QPalette errorColours = lblErrorMessage->palette();
    errorColours.setColor(QPalette::WindowText, kErrorText);
    lblErrorMessage->setPalette(errorColours);
    QFont errorFont = DialogFont();
    errorFont.setBold(true);
    lblErrorMessage->setFont(errorFont);

    // Names are taken exactly as typed: no completion, and Enter adds nothing
    // to the list.
    cboComPort->setEditable(true);
    cboComPort->setInsertPolicy(QComboBox::NoInsert);
    cboComPort->setCompleter(nullptr);

    cmdOk->setDefault(true);
    setTabOrder(txtRemoteIP, txtLocalIPport);
    setTabOrder(txtLocalIPport, cboComPort);
    setTabOrder(cboComPort, cmdCancel);
    setTabOrder(cmdCancel, cmdOk);

    connect(cmdOk, &QPushButton::clicked, this, &frmSettings::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSettings::cmdCancel_Click);

    Form_Load();
    txtRemoteIP->setFocus();
}

void frmSettings::Form_Load() {
    cboComPort->clear();
    for (int number = 1; number <= 16; ++number) {
        cboComPort->addItem(QStringLiteral("COM") + QString::number(number));
    }
    ShowError(vars_.ErrorMessage);
    txtRemoteIP->setText(vars_.RemoteIP);
    txtLocalIPport->setText(QString::number(vars_.TCPport));
    cboComPort->setEditText(vars_.COMport);
}

void frmSettings::cmdOk_Click() {
    if (TrimBlanks(txtRemoteIP->text()).isEmpty()) {
        Reject(QStringLiteral("Remote IP not specified"), txtRemoteIP);
        return;
    }
    const NumberScan port = ScanNumber(txtLocalIPport->text());
    if (!port.wholeText) {
        Reject(QStringLiteral("TCP Port not numeric"), txtLocalIPport);
        return;
    }
    if (port.value < 0 || port.value > 65535) {
        Reject(QStringLiteral("TCP Port not valid"), txtLocalIPport);
        return;
    }
    const QString comPort = cboComPort->currentText();
    if (vars_.PortExists && vars_.PortExists(comPort)) {
        Reject(QStringLiteral("COM Port already exists"), cboComPort);
        return;
    }
    vars_.RemoteIP = txtRemoteIP->text();
    vars_.TCPport = RoundToInt32(port.value);
    vars_.COMport = comPort;
    vars_.CancelSettings = false;
    accept();
}

void frmSettings::cmdCancel_Click() {
    vars_.CancelSettings = true;
    reject();
}

void frmSettings::done(int result) {
    vars_.SettingsON = false;
    QDialog::done(result);
}

void frmSettings::keyPressEvent(QKeyEvent *event) {
    // QDialog would reject() on Esc, which is also what the window's close
    // button does; Esc is the Cancel button here and must set CancelSettings.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSettings::ShowError(const QString &message) {
    lblErrorMessage->setText(message);
    // The label's width is fixed; a long port name would be cut off.
    lblErrorMessage->setToolTip(message);
}

void frmSettings::Reject(const QString &message, QWidget *focus) {
    ShowError(message);
    if (beep_) beep_();
    focus->setFocus();
}

int frmSettings::XTwips(int twips) const {
    return qRound(twips * logicalDpiX() / kTwipsPerInch);
}

int frmSettings::YTwips(int twips) const {
    return qRound(twips * logicalDpiY() / kTwipsPerInch);
}

void frmSettings::Place(QWidget *control, int left, int top, int width, int height) const {
    control->setGeometry(XTwips(left), YTwips(top), XTwips(width), YTwips(height));
}
