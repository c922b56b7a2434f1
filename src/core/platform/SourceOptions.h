#pragma once

// What the user asked of the sources beyond the link for one scan: the
// domain whose directory to read and the address ranges to sweep. Nothing
// is swept unless the user named a range.

#include "network/AddressRange.h"

#include <QString>

#include <vector>

namespace norvane {

// New probes a sweep sends per second unless the user says otherwise.
constexpr unsigned DefaultProbesPerSecond = 1000;
// The rates a user may choose.
constexpr unsigned MinProbesPerSecond = 1;
constexpr unsigned MaxProbesPerSecond = 100000;

struct SourceOptions {
    // The domain to read the directory of; empty: the realm of the
    // Kerberos ticket held, if any.
    QString domain;
    // The address ranges to sweep, each already checked (parseAddressRange).
    std::vector<AddressRange> ranges;
    unsigned probesPerSecond = DefaultProbesPerSecond;

    bool operator==(const SourceOptions&) const = default;
};

} // namespace norvane
