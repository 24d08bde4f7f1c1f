#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A network namespace of the test's own, removed again by the destructor,
// with `ip` run inside it and code run inside it in a forked child. Needs
// root; Create() says why not otherwise.
class ScopedNetns {
public:
    explicit ScopedNetns(const QString &tag);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns &) = delete;
    ScopedNetns &operator=(const ScopedNetns &) = delete;

    bool Create(QString *why);
    const QString &Name() const { return name_; }

    // `ip -n NAME arguments...`; false, with ip's words in *why, on failure.
    bool Ip(const QStringList &arguments, QString *why = nullptr) const;
    // Runs `body` in a child process moved into the namespace and returns
    // what it returned; nullopt when the child could not run or died.
    std::optional<QByteArray> RunInside(const std::function<QByteArray()> &body) const;

private:
    QString name_;
    bool created_ = false;
};
