#pragma once

// The IPv4 address ranges a sweep covers, as the user names them: a CIDR
// block ("192.168.4.0/22"), a first-last pair ("192.168.4.10-192.168.4.90")
// or one address. A range is two numbers; its addresses are produced one at
// a time and never held together.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace norvane {

// The most addresses one range may hold: a /16.
constexpr std::uint64_t MaxRangeAddresses = 65536;

// Addresses in host byte order, both ends included.
struct AddressRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;

    std::uint64_t size() const { return std::uint64_t(last) - first + 1; }
    bool operator==(const AddressRange&) const = default;
};

struct AddressRangeParse {
    std::optional<AddressRange> range;
    QString error; // why the text was refused, for the user
};

// A CIDR block of /30 or wider gives its host addresses (without the
// network and broadcast addresses); host bits set in its address are
// ignored. Refused: malformed text, last before first, a range over
// MaxRangeAddresses, and addresses of 0.0.0.0/8 or from 224.0.0.0 up (multicast,
// reserved).
AddressRangeParse parseAddressRange(QStringView text);

// "a.b.c.d" of an address in host byte order.
QString hostOrderAddressText(std::uint32_t address);

// The addresses of several ranges in ascending order, each once even where
// ranges overlap.
class AddressSequence {
public:
    explicit AddressSequence(std::vector<AddressRange> ranges);

    // How many addresses the sequence holds in all.
    std::uint64_t total() const { return m_total; }
    // The next address, or nothing after the last.
    std::optional<std::uint32_t> next();

private:
    std::vector<AddressRange> m_ranges; // sorted, disjoint
    std::size_t m_range = 0;
    std::uint64_t m_offset = 0; // into m_ranges[m_range]
    std::uint64_t m_total = 0;
};

} // namespace norvane
