#include "AddressRange.h"

#include <QList>

#include <algorithm>

namespace norvane {

namespace {

constexpr std::uint32_t FirstMulticast = 0xE0000000;        // 224.0.0.0
constexpr std::uint32_t FirstAfterThisNetwork = 0x01000000; // past 0.0.0.0/8
constexpr int AddressBits = 32;
// Blocks this narrow have no network or broadcast address of their own.
constexpr int NarrowestWithBroadcast = 30;

std::optional<std::uint32_t> parseAddress(QStringView text) {
    const auto parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    std::uint32_t address = 0;
    for (const QStringView part : parts) {
        // Decimal only: a leading zero reads as octal elsewhere.
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0') ||
            !std::all_of(part.begin(), part.end(),
                         [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
            return std::nullopt;
        const uint value = part.toUInt();
        if (value > 255)
            return std::nullopt;
        address = address << 8 | value;
    }
    return address;
}

AddressRangeParse refused(QStringView text, const QString& why) {
    return {.range = std::nullopt, .error = QStringLiteral("%1: %2").arg(text, why)};
}

} // namespace

QString hostOrderAddressText(std::uint32_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xFF)
        .arg(address >> 8 & 0xFF)
        .arg(address & 0xFF);
}

AddressRangeParse parseAddressRange(QStringView text) {
    text = text.trimmed();
    AddressRange range;
    if (const auto slash = text.indexOf(u'/'); slash >= 0) {
        const auto base = parseAddress(text.first(slash));
        const QStringView prefixText = text.sliced(slash + 1);
        bool ok = false;
        const int prefix = prefixText.toInt(&ok);
        if (!base || !ok || prefixText.isEmpty() || !prefixText.front().isDigit() || prefix < 0 ||
            prefix > AddressBits)
            return refused(text, QStringLiteral("not an address block such as 192.168.1.0/24"));
        const std::uint64_t blockSize = std::uint64_t(1) << (AddressBits - prefix);
        if (blockSize > MaxRangeAddresses)
            return refused(text, QStringLiteral("%1 addresses, more than the %2 a range may hold")
                                     .arg(blockSize)
                                     .arg(MaxRangeAddresses));
        const auto mask = static_cast<std::uint32_t>(~(blockSize - 1));
        range = {.first = *base & mask,
                 .last = static_cast<std::uint32_t>((*base & mask) + blockSize - 1)};
        if (prefix <= NarrowestWithBroadcast) {
            ++range.first;
            --range.last;
        }
    } else if (const auto dash = text.indexOf(u'-'); dash >= 0) {
        const auto first = parseAddress(text.first(dash).trimmed());
        const auto last = parseAddress(text.sliced(dash + 1).trimmed());
        if (!first || !last)
            return refused(text, QStringLiteral("not a range such as 192.168.1.10-192.168.1.90"));
        if (*last < *first)
            return refused(text, QStringLiteral("the last address comes before the first"));
        range = {.first = *first, .last = *last};
        if (range.size() > MaxRangeAddresses)
            return refused(text, QStringLiteral("%1 addresses, more than the %2 a range may hold")
                                     .arg(range.size())
                                     .arg(MaxRangeAddresses));
    } else {
        const auto address = parseAddress(text);
        if (!address)
            return refused(text, QStringLiteral("not an IPv4 address, block or range"));
        range = {.first = *address, .last = *address};
    }
    if (range.last >= FirstMulticast || range.first < FirstAfterThisNetwork)
        return refused(text,
                       QStringLiteral("0.0.0.0/8, multicast and reserved addresses are not swept"));
    return {.range = range, .error = {}};
}

AddressSequence::AddressSequence(std::vector<AddressRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
    for (const AddressRange& range : ranges) {
        if (!m_ranges.empty() &&
            std::uint64_t(range.first) <= std::uint64_t(m_ranges.back().last) + 1)
            m_ranges.back().last = std::max(m_ranges.back().last, range.last);
        else
            m_ranges.push_back(range);
    }
    for (const AddressRange& range : m_ranges)
        m_total += range.size();
}

std::optional<std::uint32_t> AddressSequence::next() {
    while (m_range < m_ranges.size()) {
        const AddressRange& range = m_ranges[m_range];
        if (m_offset < range.size())
            return static_cast<std::uint32_t>(range.first + m_offset++);
        ++m_range;
        m_offset = 0;
    }
    return std::nullopt;
}

} // namespace norvane
