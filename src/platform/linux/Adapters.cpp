#include "Adapters.h"

#include "ProcText.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace norvane {

namespace {
constexpr unsigned ArpFlagComplete = 0x2;

std::optional<MacAddress> parseMac(std::string_view text) {
    if (text.size() != 17)
        return std::nullopt;
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && text[3 * i - 1] != ':')
            return std::nullopt;
        unsigned value = 0;
        for (std::size_t j = 0; j < 2; ++j) {
            const char c = text[3 * i + j];
            unsigned digit = 0;
            if (c >= '0' && c <= '9')
                digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
            value = value * 16 + digit;
        }
        mac[i] = static_cast<std::uint8_t>(value);
    }
    return mac;
}
} // namespace

std::vector<Adapter> listAdapters() {
    std::vector<Adapter> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return adapters;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            entry->ifa_netmask == nullptr)
            continue;
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0)
            continue;
        const std::string name = entry->ifa_name;
        if (std::any_of(adapters.begin(), adapters.end(),
                        [&](const Adapter& known) { return known.name == name; }))
            continue;
        Adapter adapter;
        adapter.name = name;
        adapter.address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
        adapter.netmask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
        // On a point-to-point link the same field holds the peer's address.
        adapter.canBroadcast = (flags & IFF_BROADCAST) != 0;
        if (adapter.canBroadcast)
            adapter.broadcast =
                entry->ifa_broadaddr != nullptr
                    ? reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr.s_addr
                    : (adapter.address | ~adapter.netmask);
        adapters.push_back(adapter);
    }
    freeifaddrs(list);
    return adapters;
}

std::optional<MacAddress> macFromArpTable(std::string_view table, std::uint32_t address,
                                          std::string_view device) {
    bool header = true;
    while (!table.empty()) {
        const auto end = std::min(table.find('\n'), table.size());
        std::string_view line = table.substr(0, end);
        table.remove_prefix(std::min(end + 1, table.size()));
        if (header) {
            header = false;
            continue;
        }
        // IP address, HW type, Flags, HW address, Mask, Device
        const std::string ip(nextField(line));
        nextField(line);
        const std::string flagsText(nextField(line));
        const std::string_view mac = nextField(line);
        nextField(line);
        const std::string_view dev = nextField(line);
        in_addr parsed{};
        if (inet_pton(AF_INET, ip.c_str(), &parsed) != 1 || parsed.s_addr != address ||
            dev != device)
            continue;
        const unsigned long flags = std::strtoul(flagsText.c_str(), nullptr, 16);
        if ((flags & ArpFlagComplete) == 0)
            continue;
        return parseMac(mac);
    }
    return std::nullopt;
}

std::optional<MacAddress> interfaceMac(const std::string& device) {
    if (device.size() >= IFNAMSIZ)
        return std::nullopt;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    ifreq request{};
    std::memcpy(request.ifr_name, device.c_str(), device.size() + 1);
    const int result = ioctl(fd, SIOCGIFHWADDR, &request);
    close(fd);
    if (result != 0)
        return std::nullopt;
    MacAddress mac{};
    std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, mac.size());
    return mac;
}

} // namespace norvane
