#include "platform/QuietQtMessages.h"

#include <QtGlobal>
#include <cstdio>
#include <cstring>

namespace {

QtMessageHandler previousHandler = nullptr;

void DropDisplayComplaints(QtMsgType type, const QMessageLogContext &context,
                           const QString &message) {
    if (type != QtFatalMsg && IsDisplayComplaint(context.category, message)) return;
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
        return;
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

}  // namespace

bool IsDisplayComplaint(const char *category, const QString &message) {
    if (category != nullptr && std::strncmp(category, "qt.", 3) == 0) return true;
    return message.startsWith(QLatin1String("This plugin does not support"));
}

void QuietDisplayComplaints() {
    QtMessageHandler previous = qInstallMessageHandler(DropDisplayComplaints);
    if (previous != DropDisplayComplaints) previousHandler = previous;
}
