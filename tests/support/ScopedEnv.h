#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets (or, with nullptr, unsets) an environment variable for the life of
// the object, and puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    bool had_;
    QByteArray old_;
};
