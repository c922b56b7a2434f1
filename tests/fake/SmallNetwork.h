#pragma once

// The small scripted network of the window's and the command line's tests:
// its hosts and shares are written here once, and each suite lays out the
// browse list over them (which computer sits in which of the workgroups WG1
// and WG2, with which comment), since its assertions read that layout.

#include "FakePlatform.h"

#include <initializer_list>
#include <optional>
#include <string>

namespace norvane::test {

struct BrowseListed {
    std::string group;
    std::string computer; // remote name, \\NAME
    std::optional<std::string> comment{};
};

// ALPHA resolves and its adapter answers with a MAC the vendor registry
// knows; GAMMA resolves but no adapter answers; DELTA answers with a
// locally administered MAC; any other name resolves to nothing. ALPHA
// shares a folder and a printer, DELTA a folder.
inline void buildSmallNetwork(FakePlatform& fake, std::initializer_list<BrowseListed> browseList) {
    fake.addDomain("WG1");
    fake.addDomain("WG2");
    for (const BrowseListed& listed : browseList)
        fake.addComputer(listed.group, listed.computer, listed.comment);
    fake.addHost("ALPHA", "10.0.0.12", {0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B});
    fake.addresses["GAMMA"] = FakePlatform::address("192.168.1.2");
    fake.addHost("DELTA", "10.0.0.5", {0x02, 0x00, 0x00, 0x00, 0x00, 0x01});
    fake.addShare("\\\\ALPHA", "\\\\ALPHA\\Public", RESOURCETYPE_DISK, "Public files");
    fake.addShare("\\\\ALPHA", "\\\\ALPHA\\Laser", RESOURCETYPE_PRINT, "Second floor");
    fake.addShare("\\\\DELTA", "\\\\DELTA\\Docs", RESOURCETYPE_DISK);
}

} // namespace norvane::test
