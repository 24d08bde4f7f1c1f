#include "platform/Registry.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <optional>

#include "platform/CommandLine.h"

namespace {

const QString kPdfMimeType = QStringLiteral("application/pdf");

QString ResolveProgram(const QString &program) {
    if (!program.contains(QLatin1Char('/'))) return QStandardPaths::findExecutable(program);
    const QFileInfo file(program);
    return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
}

std::optional<QString> CommandOfEntry(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const std::optional<QString> exec = ExecKeyOf(file.read(1 << 20));
    if (!exec) return std::nullopt;
    const std::optional<QStringList> words = ExpandExecLine(*exec);
    if (!words) return std::nullopt;
    const QString program = ResolveProgram(words->first());
    if (program.isEmpty()) return std::nullopt;

    QString command = QuoteArgumentAlways(program);
    for (qsizetype i = 1; i < words->size(); ++i) {
        const QString &word = words->at(i);
        command += QLatin1Char(' ');
        command += word == QLatin1String("%1") ? QStringLiteral("\"%1\"") : QuoteArgument(word);
    }
    return command;
}

}  // namespace

DesktopRegistry::DesktopRegistry(XdgDirs dirs, QStringList query)
    : dirs_(std::move(dirs)), query_(std::move(query)) {}

QString DesktopRegistry::ReadDefaultValue(const QString &keyUnderClassesRoot, bool *ok) {
    *ok = false;
    if (keyUnderClassesRoot.compare(
            QStringLiteral("Applications\\AcroRD32.exe\\shell\\Read\\command"),
            Qt::CaseInsensitive) != 0)
        return {};
    QString entry = FindDesktopEntry(QueryDefaultApplication(), dirs_);
    if (entry.isEmpty())
        entry = FindDesktopEntry(DefaultApplicationFor(kPdfMimeType, dirs_), dirs_);
    if (entry.isEmpty()) return {};
    const std::optional<QString> command = CommandOfEntry(entry);
    if (!command) return {};
    *ok = true;
    return *command;
}

QString DesktopRegistry::QueryDefaultApplication() const {
    if (query_.isEmpty()) return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(query_.first(), query_.mid(1));
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return output.section(QLatin1Char('\n'), 0, 0).trimmed();
}
