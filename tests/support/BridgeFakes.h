#pragma once

// Scriptable doubles of the seams the main window uses. Each records what
// was asked of it so tests can check calls and their order.

#include <QByteArray>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "config/SettingsDialogRunner.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "platform/SerialPortDriver.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"

// A shared, ordered log of the calls the doubles saw ("sock.Close", ...).
using CallLog = QStringList;

class FakeClock final : public Clock {
public:
    quint32 now = 0;
    int sleeps = 0;
    std::function<void()> onSleep;  // runs after each Sleep advanced the time
    quint32 TickCount() override { return now; }
    void Sleep(int milliseconds) override {
        now += static_cast<quint32>(milliseconds);
        ++sleeps;
        if (onSleep) onSleep();
    }
};

class FakePump final : public MessagePump {
public:
    int passes = 0;
    // Runs once, at the next pass: an event that "arrives" during the pump.
    std::deque<std::function<void()>> pending;
    void DoEvents() override {
        ++passes;
        if (!pending.empty()) {
            auto event = std::move(pending.front());
            pending.pop_front();
            event();
        }
    }
};

class FakeTimer final : public Timer {
public:
    int interval = 0;
    bool enabled = false;
    bool parked = false;
    int unparks = 0;
    void SetInterval(int milliseconds) override {
        interval = milliseconds;
        parked = false;
    }
    int Interval() const override { return interval; }
    void SetEnabled(bool on) override {
        if (on != enabled) parked = false;
        enabled = on;
    }
    bool Enabled() const override { return enabled; }
    void Park() override { parked = enabled; }
    void Unpark() override {
        ++unparks;
        parked = false;
    }
    bool Parked() const override { return parked; }
};

class FakeSock final : public TcpClientControl {
public:
    explicit FakeSock(CallLog &log) : log_(log) {}
    short state = sckClosed;
    // The state the socket reaches when Connect is called.
    short stateAfterConnect = sckConnecting;
    short stateAfterClose = sckClosed;
    QByteArray incoming;  // what GetData hands out
    std::vector<QByteArray> sent;
    qint64 bytesToWrite = 0;
    bool receivePaused = false;
    QString remoteHost;
    qint32 remotePort = -1;
    qint32 localPort = -1;
    int connects = 0;
    int closes = 0;

    void Close() override {
        ++closes;
        log_ << QStringLiteral("sock.Close");
        state = stateAfterClose;
    }
    void Connect() override {
        ++connects;
        log_ << QStringLiteral("sock.Connect");
        state = stateAfterConnect;
    }
    void SetLocalPort(qint32 port) override { localPort = port; }
    void SetRemoteHost(const QString &host) override { remoteHost = host; }
    void SetRemotePort(qint32 port) override { remotePort = port; }
    short State() const override { return state; }
    // A real socket keeps what the kernel has not yet taken by sharing the
    // caller's block; set, the fake keeps the whole last block that way
    // until the test lets it go. Otherwise it keeps copies only.
    bool holdsWhatItSends = false;
    QByteArray holding;
    void SendData(const QByteArray &data) override {
        log_ << QStringLiteral("sock.SendData");
        sent.emplace_back(data.constData(), data.size());
        if (holdsWhatItSends) holding = data;
    }
    void GetData(QByteArray &data, int, qint32 maxLen) override {
        data = incoming.left(maxLen);
        incoming.remove(0, data.size());
    }
    qint64 BytesToWrite() const override { return bytesToWrite; }
    void SetReceivePaused(bool paused) override { receivePaused = paused; }
    // What FlushSendQueue reports as never acknowledged; each call is logged.
    qint64 unacknowledgedAtFlush = 0;
    std::vector<int> flushTimeouts;
    qint64 FlushSendQueue(int timeoutMs) override {
        log_ << QStringLiteral("sock.FlushSendQueue");
        flushTimeouts.push_back(timeoutMs);
        return unacknowledgedAtFlush;
    }

private:
    CallLog &log_;
};

class FakeDriver final : public SerialPortDriver {
public:
    explicit FakeDriver(CallLog &log) : log_(log) {}
    bool createResult = true;
    QStringList created;
    int removes = 0;
    QByteArray fromClient;    // bytes the client "wrote", served by ReadBytes
    QByteArray toClient;      // bytes written for the client
    int readCalls = 0;
    int writeCalls = 0;
    bool aboveHighWater = false;
    // Runs inside each ReadBytes: bytes that arrive while the caller drains.
    std::function<void()> onRead;

    qint32 PollBytesAvailable() override { return static_cast<qint32>(fromClient.size()); }
    bool RemovePort() override {
        ++removes;
        log_ << QStringLiteral("driver.RemovePort");
        return true;
    }
    bool CreatePort(const QString &name) override {
        created << name;
        log_ << QStringLiteral("driver.CreatePort ") + name;
        return createResult;
    }
    void TakeBytes(quint8 *buffer, qint32 &count) override {
        ++readCalls;
        const qint32 n = qMin<qint32>(count, static_cast<qint32>(fromClient.size()));
        for (qint32 i = 0; i < n; ++i) buffer[i] = static_cast<quint8>(fromClient[i]);
        fromClient.remove(0, n);
        count = n;
        if (onRead) onRead();
    }
    void QueueBytes(const quint8 *data, qint32 &count) override {
        ++writeCalls;
        toClient.append(reinterpret_cast<const char *>(data), count);
    }
    bool WriteQueueAboveHighWater() const override { return aboveHighWater; }
    bool readingHeldBack = false;
    void SetReadingHeldBack(bool held) override { readingHeldBack = held; }
    void SetDeviceLinkUp(bool up) override { deviceLink.push_back(up); }
    std::vector<bool> deviceLink;  // every call, in order

private:
    CallLog &log_;
};

struct ShownMessage {
    QString text;
    QString title;
    MessageIcon icon;
};

class FakeMessageBoxes final : public MessageBoxes {
public:
    std::vector<ShownMessage> shown;
    std::function<void()> whileShown;  // runs while the box is "open"
    void Show(const QString &text, const QString &title, MessageIcon icon) override {
        shown.push_back({text, title, icon});
        if (whileShown) whileShown();
    }
};

// Answers the settings dialog. Each answer edits the variables as the user
// would; without a scripted answer the dialog is cancelled.
class FakeSettingsDialog final : public SettingsDialogRunner {
public:
    using Answer = std::function<void(SettingsDialogVariables &)>;
    explicit FakeSettingsDialog(CallLog &log) : log_(log) {}
    std::deque<Answer> answers;
    QStringList errorMessagesShown;
    std::vector<bool> settingsOnWhileShown;
    QPoint lastTopLeft;

    void ShowModal(SettingsDialogVariables &v, QWidget *, QPoint topLeft) override {
        log_ << QStringLiteral("dialog");
        errorMessagesShown << v.ErrorMessage;
        settingsOnWhileShown.push_back(v.SettingsON);
        lastTopLeft = topLeft;
        if (answers.empty()) {
            v.CancelSettings = true;
        } else {
            auto answer = std::move(answers.front());
            answers.pop_front();
            answer(v);
        }
        v.SettingsON = false;
    }
    int unloads = 0;
    void Unload() override { ++unloads; }
    static Answer Connect() {
        return [](SettingsDialogVariables &v) { v.CancelSettings = false; };
    }
    static Answer Cancel() {
        return [](SettingsDialogVariables &v) { v.CancelSettings = true; };
    }

private:
    CallLog &log_;
};
