#pragma once

// Reading DNS answers that name a domain's controllers: SRV records and the
// addresses that come with them. The message is untrusted; libresolv's
// parser checks every length against it.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace norvane::directory {

struct SrvTarget {
    QString host; // lower case, no trailing dot
    std::uint16_t port = 0;
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;

    bool operator==(const SrvTarget&) const = default;
};

struct HostAddress {
    QString host;              // lower case, no trailing dot
    std::uint32_t address = 0; // network byte order

    bool operator==(const HostAddress&) const = default;
};

struct DnsAnswer {
    std::vector<SrvTarget> targets;     // in the order to try: priority, then weight
    std::vector<HostAddress> addresses; // A records of the answer and additional sections
};

// The records of `message` when it is a well-formed answer to the question
// with id `id` (none when the server reports an error); nothing otherwise. At most MaxSrvTargets
// targets are kept.
std::optional<DnsAnswer> parseDnsAnswer(const QByteArray& message, std::uint16_t id);

// The address of `host` among `addresses`, where one is given.
std::optional<std::uint32_t> addressOf(const DnsAnswer& answer, const QString& host);

} // namespace norvane::directory
