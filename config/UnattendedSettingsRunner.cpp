#include "config/UnattendedSettingsRunner.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "platform/MessageBoxes.h"

UnattendedSettingsRunner::UnattendedSettingsRunner(QString lineTitle, Log log, Pause pause)
    : lineTitle_(std::move(lineTitle)), log_(std::move(log)), pause_(std::move(pause)) {}

UnattendedSettingsRunner::UnattendedSettingsRunner(QString lineTitle)
    : lineTitle_(std::move(lineTitle)) {
    StderrMessageBoxes lines;
    log_ = [this, lines](const QString &line) mutable {
        lines.Show(line, lineTitle_, MessageIcon::None);
    };
    pause_ = [this](int milliseconds) { PauseInEventLoop(milliseconds); };
}

UnattendedSettingsRunner::~UnattendedSettingsRunner() = default;

void UnattendedSettingsRunner::ShowModal(SettingsDialogVariables &variables, QWidget *, QPoint) {
    if (variables.ErrorMessage.isEmpty()) {
        log_(QStringLiteral("no one to answer the settings dialog; connecting with the saved "
                            "settings"));
    } else {
        const int pause = nextPauseMs_;
        log_(variables.ErrorMessage + QStringLiteral("; trying again in %1 s").arg(pause / 1000));
        nextPauseMs_ = std::min(2 * nextPauseMs_, kLongestPauseMs);
        pause_(pause);
    }
    variables.CancelSettings = false;
    variables.SettingsON = false;
}

void UnattendedSettingsRunner::Unload() {
    if (pauseLoop_ != nullptr) pauseLoop_->quit();
}

void UnattendedSettingsRunner::PauseInEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    pauseLoop_ = &loop;
    loop.exec();
    pauseLoop_ = nullptr;
}
