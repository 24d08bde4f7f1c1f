#include "host/HelpDocument.h"

#include <QFileInfo>
#include <QUrl>
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

// The viewer a Flatpak command runs: its --command, which desktop entries
// of Flatpak applications carry; empty (unknown) without one.
QString FlatpakViewer(const QStringList &words) {
    const QString option = QStringLiteral("--command");
    for (qsizetype i = 1; i < words.size(); ++i) {
        if (words[i].startsWith(option + QLatin1Char('=')))
            return QFileInfo(words[i].mid(option.size() + 1)).fileName();
        if (words[i] == option && i + 1 < words.size()) return QFileInfo(words[i + 1]).fileName();
    }
    return {};
}

bool IsFlatpak(const QStringList &words) {
    return QFileInfo(words.first()).fileName() == QLatin1String("flatpak");
}

// The viewer's file name; a command run through env(1), as snap packages
// register theirs, names it after the variable assignments.
QString ViewerName(const QStringList &words) {
    if (IsFlatpak(words)) return FlatpakViewer(words);
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

// What takes the place of "%1": words before the document, the document in
// the viewer's form, words after it.
struct DocumentWords {
    QStringList before;
    QString document;
    QStringList after;
};

// Browsers open a PDF at the page its address's fragment names.
QString PageAddress(const QString &document, qint32 page) {
    QUrl address = QUrl::fromLocalFile(QFileInfo(document).absoluteFilePath());
    address.setFragment(QStringLiteral("page=") + QString::number(page));
    return address.toString(QUrl::FullyEncoded);
}

// Readers here know no /A switch; each names the page its own way. An unknown
// one gets the document alone, which it opens at its start or where the user
// last left it.
DocumentWords ForViewer(const QString &viewer, const QString &document, qint32 page) {
    const QString number = QString::number(page);
    static const QStringList kPageIndexOption = {QStringLiteral("evince"), QStringLiteral("atril"),
                                                 QStringLiteral("xreader"), QStringLiteral("papers")};
    static const QStringList kTrailingPage = {QStringLiteral("xpdf"), QStringLiteral("mupdf"),
                                              QStringLiteral("mupdf-gl"),
                                              QStringLiteral("mupdf-x11")};
    static const QStringList kBrowsers = {
        QStringLiteral("firefox"),         QStringLiteral("firefox-esr"),
        QStringLiteral("chromium"),        QStringLiteral("chromium-browser"),
        QStringLiteral("google-chrome"),   QStringLiteral("google-chrome-stable")};
    if (kPageIndexOption.contains(viewer))
        return {{QStringLiteral("--page-index=") + number}, document, {}};
    if (viewer == QLatin1String("okular")) return {{QStringLiteral("-p"), number}, document, {}};
    if (viewer == QLatin1String("zathura")) return {{QStringLiteral("-P"), number}, document, {}};
    if (viewer == QLatin1String("qpdfview")) return {{}, document + QLatin1Char('#') + number, {}};
    if (kTrailingPage.contains(viewer)) return {{}, document, {number}};
    if (kBrowsers.contains(viewer)) return {{}, PageAddress(document, page), {}};
    return {{}, document, {}};
}

// Flatpak hands the words between "@@" (or "@@u", addresses) and "@@" to the
// sandbox as files: the page's own words go outside that pair, and a
// document in another form than a file name cannot pass it, so such a viewer
// gets the document alone.
void PlaceInForwardedSlot(QStringList &words, qsizetype slot, DocumentWords placed,
                          const QString &document) {
    const qsizetype open = slot - 1;
    const qsizetype close = words.indexOf(QStringLiteral("@@"), slot + 1);
    const bool asAddress = words[open] == QLatin1String("@@u");
    if (placed.document != document &&
        !(asAddress && placed.document.startsWith(QLatin1String("file:")))) {
        placed = {{}, document, {}};
    }
    words[slot] = placed.document;
    if (close >= 0) {
        for (qsizetype i = 0; i < placed.after.size(); ++i)
            words.insert(close + 1 + i, placed.after[i]);
    }
    for (qsizetype i = 0; i < placed.before.size(); ++i) words.insert(open + i, placed.before[i]);
}

bool InForwardedSlot(const QStringList &words, qsizetype slot) {
    return IsFlatpak(words) && slot > 0 &&
           (words[slot - 1] == QLatin1String("@@") || words[slot - 1] == QLatin1String("@@u"));
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

    const DocumentWords placed = ForViewer(ViewerName(*words), document, page);
    qsizetype slot = words->indexOf(QStringLiteral("%1"));
    if (slot >= 0 && InForwardedSlot(*words, slot)) {
        PlaceInForwardedSlot(*words, slot, placed, document);
        return *words;
    }
    if (slot < 0) {
        slot = words->size();
    } else {
        words->remove(slot);
    }
    const QStringList documentWords = placed.before + QStringList{placed.document} + placed.after;
    for (qsizetype i = 0; i < documentWords.size(); ++i) words->insert(slot + i, documentWords[i]);
    return *words;
}

void OpenHelpDocument(const QString &document, qint32 page, Registry &registry,
                      ProcessLauncher &launcher) {
    const QString command = ReadReaderCommand(registry);
    const QString reader = ReaderPathFromCommand(command);
    if (reader.isEmpty()) return;
    launcher.StartDetached(ReaderArguments(reader, command, document, page));
}
