#include "DomainName.h"

#include <QRegularExpression>

namespace norvane {

namespace {
constexpr qsizetype MaxDomainNameLength = 253;
}

bool isDomainName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^([A-Za-z0-9][A-Za-z0-9-]{0,62}\\.)*[A-Za-z0-9][A-Za-z0-9-]{0,62}$"));
    return name.size() <= MaxDomainNameLength && pattern.match(name).hasMatch();
}

} // namespace norvane
