#pragma once

// Scriptable doubles of the process launcher and the registry.

#include <QHash>
#include <QStringList>
#include <deque>
#include <functional>

#include "platform/ProcessLauncher.h"
#include "platform/Registry.h"

class FakeProcessLauncher final : public ProcessLauncher {
public:
    // Script.
    bool startFails = false;
    bool detachedFails = false;
    qint64 pid = 4242;
    // Answers to successive Polls; once used up, the process has exited with 0.
    std::deque<Status> polls;
    // Sees "start <command line>" and "poll <pid>" as they happen.
    std::function<void(const QString &)> onCall;

    // Record.
    QStringList started;
    int pollCount = 0;
    QList<QStringList> detached;

    std::optional<qint64> Start(const QString &commandLine) override {
        started.append(commandLine);
        Note(QStringLiteral("start ") + commandLine);
        if (startFails) return std::nullopt;
        return pid;
    }
    Status Poll(qint64 polled) override {
        ++pollCount;
        Note(QStringLiteral("poll ") + QString::number(polled));
        if (polls.empty()) return {Status::State::Exited, 0};
        const Status next = polls.front();
        polls.pop_front();
        return next;
    }
    bool StartDetached(const QStringList &arguments) override {
        detached.append(arguments);
        return !detachedFails;
    }

private:
    void Note(const QString &call) {
        if (onCall) onCall(call);
    }
};

class FakeRegistry final : public Registry {
public:
    QHash<QString, QString> values;  // key -> default value; absent keys are missing
    QStringList keysRead;

    QString ReadDefaultValue(const QString &key, bool *ok) override {
        keysRead.append(key);
        *ok = values.contains(key);
        return values.value(key);
    }
};
