#include "platform/MessagePump.h"

#include <QCoreApplication>

void QtMessagePump::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }
