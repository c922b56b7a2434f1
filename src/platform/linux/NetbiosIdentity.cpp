#include "NetbiosIdentity.h"

#include <algorithm>

namespace norvane {

namespace {

constexpr std::uint16_t GroupNameFlag = 0x8000;
constexpr std::size_t NetbiosNameLength = nbns::NetbiosNameBytes - 1;

// The first 15 bytes of a node status name without their padding; nothing
// when a byte is not printable ASCII.
std::optional<std::string> nameText(const nbns::NetbiosName& bytes) {
    std::string name(bytes.begin(), bytes.begin() + NetbiosNameLength);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E;
        }))
        return std::nullopt;
    return name;
}

// Letters, digits, hyphens and underscores, upper-cased and cut to 15.
std::optional<std::string> netbiosShape(std::string_view label) {
    if (label.empty())
        return std::nullopt;
    std::string name;
    for (const char c : label) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!allowed)
            return std::nullopt;
        if (name.size() < NetbiosNameLength)
            name += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return name;
}

} // namespace

std::optional<NetbiosIdentity> identityFromNodeStatus(const nbns::NodeStatus& status) {
    std::optional<std::string> name;
    std::optional<std::string> group;
    for (const nbns::NodeName& entry : status.names) {
        if (entry.name[NetbiosNameLength] != nbns::SuffixWorkstation)
            continue;
        std::optional<std::string>& slot = (entry.flags & GroupNameFlag) != 0 ? group : name;
        if (!slot)
            slot = nameText(entry.name);
    }
    if (!name || !group)
        return std::nullopt;
    return NetbiosIdentity{*name, *group};
}

std::optional<NetbiosIdentity> identityFromHostName(std::string_view host,
                                                    std::string_view domain) {
    auto name = netbiosShape(host);
    auto group = netbiosShape(domain);
    if (!name || !group)
        return std::nullopt;
    return NetbiosIdentity{std::move(*name), std::move(*group)};
}

} // namespace norvane
