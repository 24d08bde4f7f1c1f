#pragma once

#include <QString>
#include <optional>

// The bridge's instance name. Several bridges, one per device, can run for
// one user when each is started under its own name: the name picks the
// settings folder and keys the single-instance lock. It comes only from the
// environment (VASKORLINK_INSTANCE), since the program reads no arguments;
// without it there is the one unnamed bridge, as on a desktop.
class InstanceName {
public:
    static constexpr int kLongest = 64;

    // nullopt: no instance was asked for.
    explicit InstanceName(std::optional<QString> name) : name_(std::move(name)) {}
    // From VASKORLINK_INSTANCE; set but empty is a name, and an invalid one.
    static InstanceName FromEnvironment();

    // ASCII letters, digits, '-', '_' and '.', 1 to kLongest of them, not
    // starting with '.': a name that is always one plain folder name and
    // one plain file name, never "..", a hidden file or a path.
    static bool IsValidName(const QString &name);

    bool Given() const { return name_.has_value(); }
    // True without a name, or with a valid one.
    bool IsValid() const { return !name_ || IsValidName(*name_); }
    // The valid name; empty without one.
    QString Name() const { return IsValid() ? name_.value_or(QString()) : QString(); }
    // "<exe>@<name>" for a valid name, else the EXE name alone: what keys the
    // lock and titles the unattended lines, so each bridge is told apart.
    QString Qualify(const QString &exeName) const;
    // Why an invalid name is refused, quoting (a bounded part of) it.
    QString RefusalText() const;

private:
    std::optional<QString> name_;
};
