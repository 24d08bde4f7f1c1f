#include "host/HelpDocument.h"

#include <QFileInfo>
#include <optional>

#include "platform/CommandLine.h"
#include "platform/ProcessLauncher.h"
#include "platform/Registry.h"

namespace {

const QLatin1Char kQuote('"');

QString TrimBlanks(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}

QString ReadReaderCommand(Registry &registry) {
    bool ok = false;
    const QString value = registry.ReadDefaultValue(PdfReaderKey(), &ok);
    return ok ? TrimNull(value) : QString();
}

QString ReaderPathFromCommand(const QString &command) {
    if (command.isEmpty()) return {};
    if (command.startsWith(kQuote)) {
        // An opening quote that is never closed leaves no path to trust.
        const qsizetype close = command.indexOf(kQuote, 1);
        return close < 0 ? QString() : command.mid(1, close - 1);
    }
    QString path = command;
    path.remove(QStringLiteral("%1"));
    path.remove(kQuote);
    return TrimBlanks(path);
}

// The viewer's file name; a command run through env(1), as snap packages
// register theirs, names it after the variable assignments.
QString ViewerName(const QStringList &words) {
    qsizetype i = 0;
    if (QFileInfo(words.first()).fileName() == QLatin1String("env")) {
        for (i = 1; i < words.size() &&
                    (words[i].contains(QLatin1Char('=')) || words[i].startsWith(QLatin1Char('-')));
             ++i) {
        }
        if (i == words.size()) return {};
    }
    return QFileInfo(words[i]).fileName();
}

// Readers here know no /A switch; each names the page its own way. An unknown
// one gets the document alone, which it opens at its start or where the user
// last left it.
QStringList DocumentWords(const QString &viewer, const QString &document, qint32 page) {
    const QString number = QString::number(page);
    static const QStringList kPageIndexOption = {QStringLiteral("evince"), QStringLiteral("atril"),
                                                 QStringLiteral("xreader")};
    static const QStringList kTrailingPage = {QStringLiteral("xpdf"), QStringLiteral("mupdf"),
                                              QStringLiteral("mupdf-gl"),
                                              QStringLiteral("mupdf-x11")};
    if (kPageIndexOption.contains(viewer))
        return {QStringLiteral("--page-index=") + number, document};
    if (viewer == QLatin1String("okular")) return {QStringLiteral("-p"), number, document};
    if (viewer == QLatin1String("zathura")) return {QStringLiteral("-P"), number, document};
    if (viewer == QLatin1String("qpdfview")) return {document + QLatin1Char('#') + number};
    if (kTrailingPage.contains(viewer)) return {document, number};
    return {document};
}

}  // namespace

QString PdfReaderKey() {
    return QStringLiteral("Applications\\AcroRD32.exe\\shell\\Read\\command");
}

QString TrimNull(const QString &text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString GetPDFReaderPath(Registry &registry) {
    return ReaderPathFromCommand(ReadReaderCommand(registry));
}

QString AcrobatCommandLine(const QString &reader, const QString &document, qint32 page) {
    return kQuote + reader + kQuote + QStringLiteral(" /A ") + kQuote + QStringLiteral("Page=") +
           QString::number(page) + kQuote + QLatin1Char(' ') + kQuote + document + kQuote;
}

QStringList ReaderArguments(const QString &reader, const QString &registeredCommand,
                            const QString &document, qint32 page) {
    std::optional<QStringList> words = SplitCommandLine(registeredCommand);
    if (!words || words->isEmpty() || words->first() != reader)
        words = QStringList{reader, QStringLiteral("%1")};

    const QStringList documentWords = DocumentWords(ViewerName(*words), document, page);
    const qsizetype slot = words->indexOf(QStringLiteral("%1"));
    if (slot < 0) {
        *words += documentWords;
    } else {
        words->remove(slot);
        for (qsizetype i = 0; i < documentWords.size(); ++i)
            words->insert(slot + i, documentWords[i]);
    }
    return *words;
}

void OpenHelpDocument(const QString &document, qint32 page, Registry &registry,
                      ProcessLauncher &launcher) {
    const QString command = ReadReaderCommand(registry);
    const QString reader = ReaderPathFromCommand(command);
    if (reader.isEmpty()) return;
    launcher.StartDetached(ReaderArguments(reader, command, document, page));
}
