#pragma once

// An SMB directory that answers listings from a script and remembers what
// was asked.

#include "linux/SmbBrowser.h"

#include <cerrno>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace norvane::test {

class ScriptedDirectory : public SmbDirectory {
public:
    bool isAvailable = true;
    std::map<std::string, SmbListing> listings; // by URL; missing: ENOENT
    std::vector<std::pair<std::string, BrowseLevel>> asked;

    bool available() override { return isAvailable; }
    SmbListing list(const std::string& url, BrowseLevel level) override {
        asked.emplace_back(url, level);
        const auto it = listings.find(url);
        return it != listings.end() ? it->second : SmbListing{ENOENT, {}};
    }
};

} // namespace norvane::test
