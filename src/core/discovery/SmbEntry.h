#pragma once

// One entry of an SMB browse listing: a workgroup, a server or a share, as
// the SMB library names its type. Discovery merges its hosts into listings
// of these, so the type lives where that logic can reach it.

#include <string>

namespace norvane {

// libsmbclient's entry types that the browser uses.
constexpr unsigned SmbWorkgroup = 1;
constexpr unsigned SmbServer = 2;
constexpr unsigned SmbFileShare = 3;
constexpr unsigned SmbPrinterShare = 4;

struct SmbEntry {
    unsigned type = 0;
    std::string name;
    std::string comment;
};

} // namespace norvane
