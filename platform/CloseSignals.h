#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (shutdown, interrupt, logout) into a
// CloseRequested signal on the UI thread. The handler only writes one byte
// to a socket pair, the one thing that is safe in a signal handler.
// One instance per process.
class CloseSignals : public QObject {
    Q_OBJECT
public:
    explicit CloseSignals(QObject *parent = nullptr);
    ~CloseSignals() override;

signals:
    void CloseRequested(int signalNumber);

private:
    void OnReadable();
    QSocketNotifier *notifier_ = nullptr;
};
