// Lists servers' shares for a parent that runs several listings side by
// side (SpawnedLister): reads one request at a time (location and log-on)
// on standard input, answers each with one frame on standard output, and
// ends when its input does or its parent goes. With --spawner it forks such
// processes instead, one for each socket its input brings (ListerSpawner),
// so that each starts with the SMB library loaded and its context made.
//   norvane-share-lister [--spawner] TIMEOUT_MS [SMB_CONF]

#include "ListerSpawner.h"
#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
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

// One message of the spawner's input, and the descriptor it carried (-1
// for none); its length is 0 at the end of input.
struct SpawnerMessage {
    std::array<char, norvane::SpawnerKillMessageBytes> bytes{};
    ssize_t length = 0;
    int fd = -1;
};

SpawnerMessage nextMessage() {
    SpawnerMessage next;
    iovec part{next.bytes.data(), next.bytes.size()};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    do
        next.length = ::recvmsg(STDIN_FILENO, &message, MSG_CMSG_CLOEXEC);
    while (next.length < 0 && errno == EINTR);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
            header->cmsg_len == CMSG_LEN(sizeof(int)) && next.fd < 0)
            std::memcpy(&next.fd, CMSG_DATA(header), sizeof next.fd);
    }
    if (next.length < 0)
        next.length = 0;
    return next;
}

// Forks a listing process for each start its input brings and kills those
// it is asked to. Returns true in each forked process, with its socket as
// standard input and output; false in the spawner when its input ends.
bool forkListers() {
    using namespace norvane;
    // Ended processes stay until reaped here, even if the parent ignored
    // SIGCHLD and passed that on.
    std::signal(SIGCHLD, SIG_DFL);
    const pid_t spawner = ::getpid();
    std::map<std::uint32_t, pid_t> children;
    std::uint32_t started = 0;
    for (;;) {
        const SpawnerMessage message = nextMessage();
        if (message.length == 0)
            return false;
        // Reaped only here, so that a number still held names a process of
        // this spawner's, never one that took a reaped process's id.
        for (pid_t ended; (ended = ::waitpid(-1, nullptr, WNOHANG)) > 0;)
            std::erase_if(children, [&](const auto& child) { return child.second == ended; });
        if (message.bytes[0] == SpawnerStartMessage && message.length == 1) {
            const std::uint32_t number = started++;
            if (message.fd < 0)
                continue;
            const pid_t child = ::fork();
            if (child == 0) {
                ::dup2(message.fd, STDIN_FILENO);
                ::dup2(message.fd, STDOUT_FILENO);
                ::close(message.fd);
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() != spawner)
                    std::_Exit(0);
                return true;
            }
            if (child > 0)
                children[number] = child;
        } else if (const auto number = decodeSpawnerKill(std::string_view(
                       message.bytes.data(), static_cast<std::size_t>(message.length)))) {
            if (const auto found = children.find(*number); found != children.end())
                ::kill(found->second, SIGKILL);
        }
        if (message.fd >= 0)
            ::close(message.fd);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace norvane;
    const bool spawner = argc > 1 && std::strcmp(argv[1], SpawnerArgument) == 0;
    if (spawner) {
        --argc;
        ++argv;
    }
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
    // parent does until it needs this process, and a spawner makes it once
    // for all the processes it forks.
    directory.available();
    if (spawner && !forkListers())
        return 0;
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
