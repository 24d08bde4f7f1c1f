#pragma once

#include <QString>
#include <functional>

#include "config/SettingsDialogRunner.h"

class QEventLoop;

// Stands in for the settings dialog where nobody can answer it. It never
// waits for a person: it writes what the dialog would have shown as one line
// (through `log`), and answers as Connect with the settings unchanged. After
// a link failure it first pauses, 1 s after the first failure, doubling up
// to 30 s, and back to 1 s once the link has come up; events keep running
// during the pause, so a close request is handled at once.
class UnattendedSettingsRunner final : public SettingsDialogRunner {
public:
    static constexpr int kFirstPauseMs = 1000;
    static constexpr int kLongestPauseMs = 30000;

    using Log = std::function<void(const QString &line)>;
    // Waits about `milliseconds`, running events; returns early when told.
    using Pause = std::function<void(int milliseconds)>;

    UnattendedSettingsRunner(QString lineTitle, Log log, Pause pause);
    // The real one: log to standard error, pause in a nested event loop.
    explicit UnattendedSettingsRunner(QString lineTitle);
    ~UnattendedSettingsRunner() override;

    void ShowModal(SettingsDialogVariables &variables, QWidget *owner, QPoint topLeft) override;
    // Ends a pause under way at once.
    void Unload() override;
    void LinkEstablished() override { nextPauseMs_ = kFirstPauseMs; }

    int NextPauseMs() const { return nextPauseMs_; }

private:
    void PauseInEventLoop(int milliseconds);

    QString lineTitle_;
    Log log_;
    Pause pause_;
    int nextPauseMs_ = kFirstPauseMs;
    QEventLoop *pauseLoop_ = nullptr;
};
