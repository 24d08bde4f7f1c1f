#include "platform/MessageBoxes.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <cstdio>

void QtMessageBoxes::Show(const QString &text, const QString &title, MessageIcon icon) {
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
        case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.exec();
}

QString StderrMessageBoxes::OneLine(const QString &text, const QString &title) {
    QString line = text;
    line.replace(QRegularExpression(QStringLiteral("[\\r\\n]+")), QStringLiteral(" "));
    return title + QStringLiteral(": ") + line.trimmed();
}

void StderrMessageBoxes::Show(const QString &text, const QString &title, MessageIcon) {
    const QString &shownTitle = lineTitle_.isEmpty() ? title : lineTitle_;
    const QByteArray line = OneLine(text, shownTitle).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}
