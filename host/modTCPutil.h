#pragma once

#include <QString>

class HostResolver;
class MessageBoxes;

// This PC's own IPv4 address, for the status display and as the default
// device address.

// Readies the sockets library; false when it is unusable (no message).
bool StartWinsock(HostResolver &resolver);

// Releases the sockets library; a failure is reported in a message box.
void StopWinsock(HostResolver &resolver, MessageBoxes &boxes);

// The first address that this PC's host name resolves to, in dotted
// decimal ("10.0.0.5"); the empty text when it cannot be found.
QString GetLocalIP(HostResolver &resolver, MessageBoxes &boxes);
