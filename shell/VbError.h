#pragma once

#include <QString>

// An error raised by an operation, carrying the number and the description
// that the operation's callers (and its messages) speak of: 91 for an object
// that is not there, 9 for a missing list element, 13 for text that is not a
// number, 6 for a value out of range. Thrown by value; the operations that
// raise it say so in their headers.
struct VbError {
    int number;
    QString description;
};
