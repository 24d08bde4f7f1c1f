#pragma once

#include <QString>

class QWidget;

enum class MessageIcon { None, Exclamation, Critical };

// Modal message boxes with a single OK button. Show() returns when the user
// has closed the box; events keep running meanwhile (a nested loop).
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Show(const QString &text, const QString &title, MessageIcon icon) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void Show(const QString &text, const QString &title, MessageIcon icon) override;
};

// For unattended operation: the box's text becomes one line on standard
// error, "<title>: <text>" with line breaks as blanks, and Show() returns at
// once, as if OK had been pressed. A non-empty `lineTitle` stands in for
// every box's title, so that lines of several bridges in one log can be
// told apart.
class StderrMessageBoxes final : public MessageBoxes {
public:
    explicit StderrMessageBoxes(QString lineTitle = {}) : lineTitle_(std::move(lineTitle)) {}
    void Show(const QString &text, const QString &title, MessageIcon icon) override;
    static QString OneLine(const QString &text, const QString &title);

private:
    QString lineTitle_;
};
