#include "app/frmVaskorLinkPC.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>

#include "app/Lamp.h"
#include "platform/SerialPortDriver.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"
#include "platform/TrayNotifier.h"
#include "shell/AppIcon.h"
#include "shell/SysTray.h"

frmVaskorLinkPC::frmVaskorLinkPC(BridgeServices &services)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), s_(services) {
    setObjectName(QStringLiteral("frmVaskorLinkPC"));
    setWindowTitle(s_.program.exeName);
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(7.5);
    setFont(font);

    skin_ = QImage(QStringLiteral(":/skin.bmp")).convertToFormat(QImage::Format_RGB32);
    // Text sizes are in points; the skin is drawn at 96 dots per inch.
    skin_.setDotsPerMeterX(3780);
    skin_.setDotsPerMeterY(3780);
    image_ = skin_;

    SysTray_ = std::make_unique<SysTray>(s_.trayNotifier, this);
    BuildLamps();
    BuildMenu();
    connect(&s_.sock, &TcpClientControl::DataArrival, this, &frmVaskorLinkPC::Sock_DataArrival);
    connect(&s_.sock, &TcpClientControl::Closed, this, &frmVaskorLinkPC::Sock_Close);
    connect(&s_.masterTimer, &Timer::Tick, this, &frmVaskorLinkPC::MasterTimer_Timer);
    connect(SysTray_.get(), &SysTray::MouseDown, this, &frmVaskorLinkPC::SysTray_MouseDown);
}

// The tray control goes with the window and takes its icon with it.
frmVaskorLinkPC::~frmVaskorLinkPC() = default;

void frmVaskorLinkPC::BuildLamps() {
    comLEDgreen = new Lamp(Lamp::kDarkGreen, this);
    comLEDred = new Lamp(Lamp::kDarkRed, this);
    tcpLEDgreen = new Lamp(Lamp::kDarkGreen, this);
    tcpLEDred = new Lamp(Lamp::kDarkRed, this);
    comLEDgreen->setObjectName(QStringLiteral("comLEDgreen"));
    comLEDred->setObjectName(QStringLiteral("comLEDred"));
    tcpLEDgreen->setObjectName(QStringLiteral("tcpLEDgreen"));
    tcpLEDred->setObjectName(QStringLiteral("tcpLEDred"));
}

void frmVaskorLinkPC::BuildMenu() {
    mPopSysTray = new QMenu(QStringLiteral("SysTray"), this);
    auto add = [this](const char *name, const QString &caption, void (frmVaskorLinkPC::*handler)()) {
        QAction *action = mPopSysTray->addAction(caption);
        action->setObjectName(QLatin1String(name));
        // Choosing a checkable item flips its mark before triggered() is
        // emitted; the handlers invert the mark themselves, so Qt's flip is
        // undone first (else the two cancel out and the option never changes).
        connect(action, &QAction::triggered, this, [this, action, handler] {
            if (action->isCheckable()) action->setChecked(!action->isChecked());
            (this->*handler)();
        });
        return action;
    };
    mPopAbout = add("mPopAbout", QStringLiteral("About VaskorLinkPC"), &frmVaskorLinkPC::mPopAbout_Click);
    mPopHelp = add("mPopHelp", QStringLiteral("Help"), &frmVaskorLinkPC::mPopHelp_Click);
    mPopAlwaysOnTop = add("mPopAlwaysOnTop", QStringLiteral("Always On Top"),
                          &frmVaskorLinkPC::mPopAlwaysOnTop_Click);
    mPopAutoStart = add("mPopAutoStart", QStringLiteral("AutoStart"),
                        &frmVaskorLinkPC::mPopAutoStart_Click);
    mPopSettings = add("mPopSettings", QStringLiteral("Settings"),
                       &frmVaskorLinkPC::mPopSettings_Click);
    mPopConfigure = add("mPopConfigure", QStringLiteral("Configure Vaskor Link Settings"),
                        &frmVaskorLinkPC::mPopConfigure_Click);
    mPopExit = add("mPopExit", QStringLiteral("Exit"), &frmVaskorLinkPC::mPopExit_Click);
    // The check marks are the live values of the two options; the handlers
    // invert them. Form_Load makes the items checkable, to show the marks.
    mPopAlwaysOnTop->setCheckable(false);
    mPopAutoStart->setCheckable(false);
    QFont bold = mPopSettings->font();
    bold.setBold(true);
    mPopSettings->setFont(bold);
    mPopSysTray->setDefaultAction(mPopSettings);
}

double frmVaskorLinkPC::TwipsPerPixelX() const { return 1440.0 / logicalDpiX(); }
double frmVaskorLinkPC::TwipsPerPixelY() const { return 1440.0 / logicalDpiY(); }

void frmVaskorLinkPC::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

// Close requests do not go through QWidget::close(): it ignores a second
// request while the first is still in closeEvent (showing the refusal), and a
// shutdown signal must still get through then.
bool frmVaskorLinkPC::RequestClose() {
    if (unloaded_) return true;
    short cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel != 0 || unloaded_) return unloaded_;
    Form_Unload();
    return true;
}

void frmVaskorLinkPC::closeEvent(QCloseEvent *event) {
    if (RequestClose())
        event->accept();
    else
        event->ignore();
}

void frmVaskorLinkPC::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void frmVaskorLinkPC::Form_Resize() {
    // Without a tray to come back from, a hidden window could never be
    // reached again: it stays minimized with its taskbar entry instead.
    if ((windowState() & Qt::WindowMinimized) && s_.trayNotifier.IsAvailable()) hide();
}

void frmVaskorLinkPC::mousePressEvent(QMouseEvent *event) {
    short button = 0;
    switch (event->button()) {
        case Qt::LeftButton: button = 1; break;
        case Qt::RightButton: button = 2; break;
        case Qt::MiddleButton: button = 4; break;
        default: return;
    }
    const QPointF at = event->position();
    Form_MouseDown(button, 0, static_cast<float>(at.x()), static_cast<float>(at.y()));
}
