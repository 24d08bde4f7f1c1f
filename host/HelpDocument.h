#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class ProcessLauncher;
class Registry;

// The registry key under HKEY_CLASSES_ROOT whose default value is the PDF
// reader's command.
QString PdfReaderKey();

// The text up to, not including, its first NUL; the whole text without one.
QString TrimNull(const QString &text);

// The reader program's path from its registered command, or an empty text
// when none is registered. A command that begins with a double quote gives
// the quoted text; any other gives the command without "%1" and double
// quotes, blanks trimmed.
QString GetPDFReaderPath(Registry &registry);

// "<reader>" /A "Page=<page>" "<document>": Adobe Reader's own form.
QString AcrobatCommandLine(const QString &reader, const QString &document, qint32 page);

// Program and arguments that open `document` at `page` with `reader`, built
// from the registered command (reader first, "%1" where the document goes):
// the document words take the place of "%1", in the form the reader
// understands for a page when it is a known one, else the document alone.
// A registered command that does not start with `reader` is taken as
// `reader` "%1". Browsers get the document's file:// address with the page
// as its fragment. A command that runs Flatpak names its viewer in
// --command; the page's words go outside the "@@" pair that hands the
// document to the sandbox.
QStringList ReaderArguments(const QString &reader, const QString &registeredCommand,
                            const QString &document, qint32 page);

// Starts the registered reader on `document` at `page` and returns without
// waiting. Nothing happens, and nothing is reported, when no reader is
// registered or it cannot be started.
void OpenHelpDocument(const QString &document, qint32 page, Registry &registry,
                      ProcessLauncher &launcher);
