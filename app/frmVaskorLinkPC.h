#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "app/BridgeServices.h"

class Lamp;
class QAction;
class QMenu;
class SysTray;

// The main window: owns the link (driver object, socket, relay timer), the
// tray control, the lamps, the menu and every setting. Its handlers are the
// whole behaviour of the bridge; they are split by concern over several
// files (start-up and shutdown, link, relay, status, commands).
//
// The variables keep the names the rest of the system uses. RemoteIP,
// TCPport, COMport, CancelSettings, ErrorMessage and SettingsON are read and
// written by the settings dialog; the others belong to this window and are
// public only so tests can observe them.
class frmVaskorLinkPC : public QWidget {
    Q_OBJECT
public:
    explicit frmVaskorLinkPC(BridgeServices &services);
    ~frmVaskorLinkPC() override;

    // --- Start-up and shutdown ---
    // False when start-up was refused (second instance, no driver): the
    // message has been shown and the program must end.
    bool Form_Initialize();
    void Form_Load();
    void Form_QueryUnload(short &Cancel, short UnloadMode);
    void Form_Unload();
    // A close request from any source: Form_QueryUnload, then, unless it
    // refused, Form_Unload. True when the window has unloaded.
    bool RequestClose();
    // Ends the program even while a client holds the port: saves the INI
    // file, then unloads. For a service manager that must be able to stop it.
    void ForceClose();
    // True once the window has unloaded; the program ends then.
    bool Unloaded() const { return unloaded_; }

    // --- Link management ---
    void ConnectToHost();
    void CreateVirtualPort();
    void CloseVirtualPort();
    void ShowSettings();
    void Sock_Close();
    void vCOMM_OnOpenClose(bool opened);
    bool PortExists(const QString &name) const;

    // --- Data relay ---
    void MasterTimer_Timer();
    void Sock_DataArrival(qint32 bytesTotal);

    // --- Status display ---
    void DrawStatus();
    // The window's persistent image: the skin with what was drawn on it.
    const QImage &Image() const { return image_; }

    // --- INI file ---
    void LoadINIfile(const QString &path);
    void SaveINIfile(const QString &path);

    // --- Tray menu and commands ---
    void SysTray_MouseDown(short &Button, short &Shift);
    void Form_MouseDown(short Button, short Shift, float X, float Y);
    void ShowPopupMenu();
    void mPopAbout_Click();
    void mPopHelp_Click();
    void mPopAlwaysOnTop_Click();
    void mPopAutoStart_Click();
    void mPopSettings_Click();
    void mPopConfigure_Click();
    void mPopExit_Click();

    // Public variables (the settings dialog's).
    QString RemoteIP;
    qint32 TCPport = 0;
    QString COMport;
    bool CancelSettings = false;
    QString ErrorMessage;
    bool SettingsON = false;

    // The window's own variables.
    qint32 FormTop = 0;
    qint32 FormLeft = 0;
    bool AlwaysOnTopON = false;
    bool AutoStartON = false;
    qint32 TcpTimeout = 0;
    bool CTSflag = false;
    bool DCDflag = false;
    bool DSRflag = false;
    qint32 RelayTick = 50;  // milliseconds
    QString LocalIP;
    QByteArray COMdata;
    QByteArray TCPdata;
    bool LinkStopped = false;
    bool AboutON = false;
    bool PortCreated = false;
    bool PortOpened = false;
    QString CreatedPort;

    // Controls.
    SerialPortDriver *vCOMM() const { return vCOMM_.get(); }
    SysTray &Tray() const { return *SysTray_; }
    Lamp *comLEDgreen = nullptr;
    Lamp *comLEDred = nullptr;
    Lamp *tcpLEDgreen = nullptr;
    Lamp *tcpLEDred = nullptr;
    QMenu *mPopSysTray = nullptr;
    QAction *mPopAbout = nullptr;
    QAction *mPopHelp = nullptr;
    QAction *mPopAlwaysOnTop = nullptr;
    QAction *mPopAutoStart = nullptr;
    QAction *mPopSettings = nullptr;
    QAction *mPopConfigure = nullptr;
    QAction *mPopExit = nullptr;

    // Hook for tests: runs instead of showing the pop-up menu.
    std::function<void(QMenu &)> popupMenuHook;

    // Flow-control bounds of the relay (bytes). A tick drains at all only
    // while the socket has sent all but 1 MiB of the ticks before, which a
    // device that keeps up has long done by the next tick; it drains at most
    // 4 MiB less what the socket still holds. 4 MiB is what the driver
    // gathers in a 50 ms tick at about 80 MB/s (the pty's pace), so a stalled
    // device leaves at most about twice that in this process. Shorter ticks
    // drain proportionally less, but never under 1 MiB, so that they keep
    // up and the socket holds less.
    static constexpr qint64 kSendHighWater = 1 * 1024 * 1024;
    static constexpr qint32 kMaxDrainPerTick = 4 * 1024 * 1024;
    static qint64 DrainBoundForTick(qint32 tickMs);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // One attempt of ConnectToHost / CreateVirtualPort; true when it failed
    // and the settings dialog asked for another connection attempt.
    bool ConnectOnce();
    bool CreateVirtualPortOnce();
    bool NoRemoteIP();
    void CloseSockAfterSending();
    bool IsOwnHeldPort(const QString &name) const;
    bool NothingWaitsForTheRelay();
    void GrowCOMdataTo(qsizetype size, qsizetype bound);
    void ShowDeviceLink(bool up);
    void BuildMenu();
    void BuildLamps();
    void ConnectEvents();
    void Form_Resize();
    void DrawTextInRect(int left, int top, int right, int bottom, QImage &target,
                        const QString &text);
    void ShowRefusal();
    double TwipsPerPixelX() const;
    double TwipsPerPixelY() const;

    BridgeServices &s_;
    std::unique_ptr<SerialPortDriver> vCOMM_;
    std::unique_ptr<SysTray> SysTray_;
    QImage skin_;
    QImage image_;
    int fontPointSize_ = 0;
    QColor foreColor_;
    bool unloaded_ = false;
};
