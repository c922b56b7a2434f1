// Lists servers' shares anonymously (or with the user's Kerberos ticket)
// for a parent that runs several listings side by side (SpawnedLister):
// reads one request at a time on standard input, answers each with one
// frame on standard output, and ends when its input does.
//   norvane-share-lister TIMEOUT_MS [SMB_CONF]

#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Appends exactly `wanted` bytes of standard input; false at its end.
bool readExactly(std::string& into, std::size_t wanted) {
    char chunk[4096];
    while (wanted > 0) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, std::min(sizeof chunk, wanted));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into.append(chunk, static_cast<std::size_t>(got));
        wanted -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

// The next request, or nothing at the end of input or a malformed one.
std::optional<norvane::ServerLocation> nextRequest() {
    using namespace norvane;
    std::string request;
    for (int field = 0; field < 2; ++field) {
        if (!readExactly(request, FrameLengthBytes))
            return std::nullopt;
        const std::size_t length =
            frameLength(std::string_view(request).substr(request.size() - FrameLengthBytes));
        if (length > MaxListingRequestBytes || !readExactly(request, length))
            return std::nullopt;
    }
    return decodeListingRequest(request);
}

} // namespace

int main(int argc, char** argv) {
    using namespace norvane;
    if (argc < 2 || argc > 3)
        return 2;
    SmbSettings settings;
    settings.timeoutMs = std::atoi(argv[1]);
    if (argc == 3)
        settings.configFile = argv[2];
    if (settings.timeoutMs <= 0)
        return 2;
    LibSmbDirectory directory(settings);
    while (const auto location = nextRequest()) {
        const std::string listing = encodeListing(directory.listServer(*location));
        std::string frame;
        putFrameLength(frame, listing.size());
        if (!writeAll(frame + listing))
            return 1;
    }
    return 0;
}
