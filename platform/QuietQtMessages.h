#pragma once

#include <QString>

// Unattended, standard error is what a service's journal shows, and it is
// for the program's own lines. Qt's complaints about what a display-less
// platform cannot do (window masks, raise(), the tray's signals) mean
// nothing there; after this call they are dropped. Everything else Qt says
// still reaches standard error as before.
void QuietDisplayComplaints();

// True for a Qt message that only says the platform has no display
// features: from one of Qt's own logging categories ("qt.…"), or one of the
// platform plugins' uncategorised "does not support" notes.
bool IsDisplayComplaint(const char *category, const QString &message);
