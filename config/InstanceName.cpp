#include "config/InstanceName.h"

#include <algorithm>

namespace {
const char *const kVariable = "VASKORLINK_INSTANCE";

bool IsNameCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u'-' || u == u'_' || u == u'.';
}
}  // namespace

InstanceName InstanceName::FromEnvironment() {
    if (!qEnvironmentVariableIsSet(kVariable)) return InstanceName(std::nullopt);
    return InstanceName(qEnvironmentVariable(kVariable));
}

bool InstanceName::IsValidName(const QString &name) {
    if (name.isEmpty() || name.size() > kLongest || name.startsWith(QLatin1Char('.'))) return false;
    return std::all_of(name.begin(), name.end(), IsNameCharacter);
}

QString InstanceName::Qualify(const QString &exeName) const {
    const QString name = Name();
    return name.isEmpty() ? exeName : exeName + QLatin1Char('@') + name;
}

QString InstanceName::RefusalText() const {
    // The name is shown, not trusted: cut short, and without control
    // characters that could forge further lines in a log.
    QString shown = name_.value_or(QString()).left(kLongest + 1);
    for (QChar &c : shown) {
        if (!c.isPrint()) c = QLatin1Char('?');
    }
    return QStringLiteral(
               "Invalid instance name \"%1\" in %2: use 1 to %3 letters, digits, "
               "'-', '_' or '.', not starting with '.'.")
        .arg(shown, QLatin1String(kVariable))
        .arg(kLongest);
}
