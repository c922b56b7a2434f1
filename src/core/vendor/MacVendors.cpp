#include "MacVendors.h"

#include "common/CsvReader.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace norvane {

namespace {
constexpr int MacBits = 48;
constexpr int MacBytes = 6;
constexpr unsigned LocalBit = 0x02;
constexpr int AssignmentField = 1;
constexpr int NameField = 2;

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<std::uint64_t> parseMac(const QString& text) {
    // "00-11-22-33-44-55": 17 characters.
    if (text.size() != MacBytes * 3 - 1)
        return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 0; i < MacBytes; ++i) {
        if (i > 0) {
            const QChar separator = text.at(i * 3 - 1);
            if (separator != QLatin1Char('-') && separator != QLatin1Char(':'))
                return std::nullopt;
        }
        const int high = hexValue(text.at(i * 3));
        const int low = hexValue(text.at(i * 3 + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        value = (value << 8) | static_cast<std::uint64_t>(high * 16 + low);
    }
    return value;
}
} // namespace

MacVendors MacVendors::load(const QString& directory) {
    MacVendors vendors;
    for (const char* name : RegistryFiles) {
        QFile file(QDir(directory).filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxRegistryBytes)
            continue;
        vendors.addRegistry(file.read(MaxRegistryBytes));
    }
    return vendors;
}

const MacVendors& MacVendors::system() {
    static const MacVendors vendors = load(QString::fromLatin1(RegistryDirectory));
    return vendors;
}

qsizetype MacVendors::addRegistry(const QByteArray& csv) {
    CsvReader reader(csv);
    qsizetype taken = 0;
    while (const std::optional<CsvRecord> record = reader.next()) {
        if (!record->wellFormed || record->fields.size() <= NameField)
            continue;
        const QString assignment = record->fields.at(AssignmentField).trimmed();
        const QString name = record->fields.at(NameField).trimmed();
        // Each prefix length has its own number of digits: 6, 7 or 9.
        const auto digits = assignment.size();
        const int bits = static_cast<int>(digits) * 4;
        const auto length = std::find(PrefixBits.begin(), PrefixBits.end(), bits);
        const bool hex = std::all_of(assignment.begin(), assignment.end(),
                                     [](QChar c) { return hexValue(c) >= 0; });
        if (length == PrefixBits.end() || !hex || name.isEmpty())
            continue;
        const std::uint64_t prefix = assignment.toULongLong(nullptr, 16);
        m_blocks.at(static_cast<std::size_t>(length - PrefixBits.begin())).insert(prefix, name);
        ++taken;
    }
    return taken;
}

std::optional<QString> MacVendors::vendorOf(const QString& macAddress) const {
    const std::optional<std::uint64_t> mac = parseMac(macAddress);
    if (!mac)
        return std::nullopt;
    if ((*mac >> (MacBits - 8)) & LocalBit)
        return locallyAdministered();
    for (std::size_t i = PrefixBits.size(); i-- > 0;) {
        const auto found = m_blocks.at(i).constFind(*mac >> (MacBits - PrefixBits.at(i)));
        if (found != m_blocks.at(i).constEnd())
            return *found;
    }
    return std::nullopt;
}

} // namespace norvane
