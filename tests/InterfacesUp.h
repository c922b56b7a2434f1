#pragma once

// Whether any network interface of the test's namespace is up: a fresh
// network namespace has none, not even loopback. An unreadable list counts
// as up, so that a test never takes the machine's own network for a fresh
// namespace.

#include <ifaddrs.h>
#include <net/if.h>

namespace norvane::test {

inline bool anyInterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return true;
    bool anyUp = false;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
        anyUp = anyUp || (entry->ifa_flags & IFF_UP) != 0;
    freeifaddrs(list);
    return anyUp;
}

} // namespace norvane::test
