// The INI file as the main window uses it: its variables to and from the
// file's settings.
#include <QAction>

#include "app/frmVaskorLinkPC.h"
#include "config/IniFile.h"
#include "config/NumberText.h"

void frmVaskorLinkPC::LoadINIfile(const QString &path) {
    IniSettings ini;
    ::LoadINIfile(path, ini, LocalIP, s_.program.exeName, s_.files);
    FormTop = ini.FormTop;
    FormLeft = ini.FormLeft;
    RemoteIP = ini.RemoteIP;
    TCPport = ini.TCPport;
    COMport = ini.COMport;
    AlwaysOnTopON = ini.AlwaysOnTopON;
    AutoStartON = ini.AutoStartON;
    TcpTimeout = ini.TcpTimeout;
    CTSflag = ini.CTSflag;
    DCDflag = ini.DCDflag;
    DSRflag = ini.DSRflag;
    RelayTick = ini.RelayTick;
}

void frmVaskorLinkPC::SaveINIfile(const QString &path) {
    // Only a window in its normal state has a position worth keeping.
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        FormTop = RoundToInt32(y() * 1440.0 / logicalDpiY());
        FormLeft = RoundToInt32(x() * 1440.0 / logicalDpiX());
    }
    AlwaysOnTopON = mPopAlwaysOnTop->isChecked();
    AutoStartON = mPopAutoStart->isChecked();
    IniSettings ini;
    ini.FormTop = FormTop;
    ini.FormLeft = FormLeft;
    ini.RemoteIP = RemoteIP;
    ini.TCPport = TCPport;
    ini.COMport = COMport;
    ini.AlwaysOnTopON = AlwaysOnTopON;
    ini.AutoStartON = AutoStartON;
    ini.TcpTimeout = TcpTimeout;
    ini.CTSflag = CTSflag;
    ini.DCDflag = DCDflag;
    ini.DSRflag = DSRflag;
    ini.RelayTick = RelayTick;
    ::SaveINIfile(path, ini, s_.program.exeName, s_.files);
}
