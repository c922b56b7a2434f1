// Lists servers' shares for a parent that runs several listings side by
// side (SpawnedLister): reads one request at a time (location and log-on)
// on standard input, answers each with one frame on standard output, and
// ends when its input does or its parent goes.
//   norvane-share-lister TIMEOUT_MS [SMB_CONF]

#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

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
std::optional<norvane::ListingRequest> nextRequest() {
    using namespace norvane;
    std::string request;
    for (std::size_t field = 0; field < ListingRequestFields; ++field) {
        if (!readExactly(request, FrameLengthBytes))
            break;
        const std::size_t length =
            frameLength(std::string_view(request).substr(request.size() - FrameLengthBytes));
        if (length > MaxListingRequestBytes || !readExactly(request, length))
            break;
    }
    std::optional<ListingRequest> decoded = decodeListingRequest(request);
    // The request holds the password.
    wipeBytes(request.data(), request.size());
    return decoded;
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
    // Ends with the platform that started it, even one killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    LibSmbDirectory directory(settings);
    // The library's start (configuration, modules) costs more than a
    // listing: made before the first request, it overlaps whatever the
    // parent does until it needs this process.
    directory.available();
    while (const auto request = nextRequest()) {
        directory.setLogOn(request->logOn);
        const std::string listing = encodeListing(directory.listServer(request->location));
        // The password is kept no longer than its listing.
        directory.setLogOn(std::nullopt);
        std::string frame;
        putFrameLength(frame, listing.size());
        if (!writeAll(frame + listing))
            return 1;
    }
    return 0;
}
