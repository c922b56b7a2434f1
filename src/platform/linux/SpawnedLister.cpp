#include "SpawnedLister.h"

#include "ListingCodec.h"
#include "Logging.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace norvane {

namespace {

constexpr const char* ListerName = "norvane-share-lister";

using Clock = std::chrono::steady_clock;

bool isProgram(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

enum class Ready { Fd, Abandoned, Neither };

// Waits until `fd` has something to read (or has hung up), `abandonFd`
// becomes readable or `deadline` passes.
Ready waitReadable(int fd, int abandonFd, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd waits[2] = {{fd, POLLIN, 0}, {abandonFd, POLLIN, 0}};
        const int ready = ::poll(waits, abandonFd >= 0 ? 2 : 1,
                                 static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return Ready::Neither;
        return abandonFd >= 0 && (waits[1].revents & POLLIN) != 0 ? Ready::Abandoned : Ready::Fd;
    }
}

// Reads exactly `wanted` bytes into `into` unless the deadline passes, the
// abandonment descriptor becomes readable or the peer goes.
bool receiveAll(int fd, int abandonFd, Clock::time_point deadline, std::string& into,
                std::size_t wanted) {
    while (into.size() < wanted) {
        if (waitReadable(fd, abandonFd, deadline) != Ready::Fd)
            return false;
        std::array<char, 16384> chunk{};
        const std::size_t room = std::min(chunk.size(), wanted - into.size());
        const ssize_t got = ::recv(fd, chunk.data(), room, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return true;
}

} // namespace

SpawnedLister::SpawnedLister(std::string program, SmbSettings settings, Start start,
                             std::chrono::milliseconds sessionHolderWait)
    : m_program(std::move(program)), m_settings(std::move(settings)),
      m_spawner(start == Start::BySpawner ? std::make_unique<ListerSpawner>(m_program, m_settings)
                                          : nullptr),
      m_sessionHolderWait(sessionHolderWait) {}

SpawnedLister::~SpawnedLister() {
    for (const Process& process : m_idle)
        end(process);
}

std::string SpawnedLister::findProgram() {
    std::array<char, PATH_MAX> self{};
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length > 0) {
        std::string folder(self.data(), static_cast<std::size_t>(length));
        folder = folder.substr(0, folder.rfind('/') + 1);
        for (const std::string& candidate :
             {folder + ListerName, folder + "../libexec/norvane/" + ListerName}) {
            if (isProgram(candidate))
                return candidate;
        }
    }
    const std::string built = NORVANE_SHARE_LISTER_BUILT;
    return isProgram(built) ? built : std::string();
}

std::optional<SpawnedLister::Process> SpawnedLister::start() {
    if (m_spawner) {
        const std::optional<ListerSpawner::Started> forked = m_spawner->start();
        if (!forked)
            return std::nullopt;
        return Process{.pid = -1, .socket = forked->socket, .forked = forked->id, .sessions = {}};
    }
    const auto run = runListingProgram(
        m_program, {std::to_string(m_settings.timeoutMs), m_settings.configFile}, SOCK_STREAM);
    if (!run)
        return std::nullopt;
    return Process{.pid = run->pid, .socket = run->socket, .forked = {}, .sessions = {}};
}

void SpawnedLister::end(const Process& process) {
    // Closing its socket ends an idle process; one in a listing is killed.
    ::close(process.socket);
    if (process.pid < 0) {
        // Its spawner reaps it.
        m_spawner->kill(process.forked);
        return;
    }
    ::kill(process.pid, SIGKILL);
    while (::waitpid(process.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void SpawnedLister::prepare(std::size_t count) {
    const std::lock_guard lock(m_mutex);
    while (m_idle.size() + m_listing < count) {
        const std::optional<Process> process = start();
        if (!process)
            return;
        m_idle.push_back(*process);
    }
}

std::optional<SmbListing> SpawnedLister::list(const ListingRequest& request, int abandonFd,
                                              const ListingWatch* watch) {
    std::optional<Process> process;
    {
        std::unique_lock lock(m_mutex);
        ++m_listing;
        process = takeIdle(request, lock);
        if (process)
            countListing(*process, true);
    }
    const auto listing = process || (process = start())
                             ? listWith(*process, request, abandonFd, watch)
                             : std::nullopt;
    {
        const std::lock_guard lock(m_mutex);
        --m_listing;
        if (process)
            countListing(*process, false);
        if (listing) {
            if (const std::string session = sessionOf(request);
                !session.empty() && !process->keeps(session))
                process->sessions.push_back(session);
            if (++process->listings < ListingsPerProcess)
                m_idle.push_back(std::move(*process));
            else
                end(*process);
        }
    }
    m_listingEnded.notify_all();
    return listing;
}

void SpawnedLister::countListing(const Process& process, bool listing) {
    for (const std::string& session : process.sessions) {
        if (listing)
            m_listingSessions.insert(session);
        else if (const auto counted = m_listingSessions.find(session);
                 counted != m_listingSessions.end())
            m_listingSessions.erase(counted);
    }
}

bool SpawnedLister::idleKeeps(const std::string& session) const {
    return std::ranges::any_of(m_idle, [&](const Process& idle) { return idle.keeps(session); });
}

std::string SpawnedLister::sessionOf(const ListingRequest& request) {
    // Only a log-on without a password: a session kept from other
    // credentials of the same user must not stand in for a log-on.
    return request.logOn && !request.logOn->anonymous() ? std::string() : request.location.url;
}

std::optional<SpawnedLister::Process> SpawnedLister::takeIdle(const ListingRequest& request,
                                                              std::unique_lock<std::mutex>& lock) {
    const std::string session = sessionOf(request);
    if (!session.empty() && !idleKeeps(session) && m_listingSessions.contains(session))
        m_listingEnded.wait_for(lock, m_sessionHolderWait, [&] {
            return idleKeeps(session) || !m_listingSessions.contains(session);
        });
    // An idle process writes nothing: a socket with something to read, or
    // hung up, is one that has ended meanwhile (or its spawner has).
    std::erase_if(m_idle, [this](const Process& idle) {
        pollfd wait{idle.socket, POLLIN, 0};
        const bool ended = ::poll(&wait, 1, 0) != 0;
        if (ended)
            end(idle);
        return ended;
    });
    if (m_idle.empty())
        return std::nullopt;
    // The one that holds a session with the server, else the first started
    // (the likeliest to be ready), since each later one may be a server's.
    auto chosen =
        std::ranges::find_if(m_idle, [&](const Process& idle) { return idle.keeps(session); });
    if (chosen == m_idle.end())
        chosen = m_idle.begin();
    Process process = std::move(*chosen);
    m_idle.erase(chosen);
    return process;
}

std::optional<SmbListing> SpawnedLister::listWith(const Process& process,
                                                  const ListingRequest& request, int abandonFd,
                                                  const ListingWatch* watch) {
    const auto deadline = Clock::now() + SpawnedListingTimeout;
    std::string frame;
    std::optional<SmbListing> listing;
    std::string sent = encodeListingRequest(request);
    const bool asked = sendAll(process.socket, sent);
    // It holds the password.
    wipeBytes(sent.data(), sent.size());
    const bool goOn =
        !asked || watch == nullptr ||
        waitReadable(process.socket, abandonFd, Clock::now() + watch->after) != Ready::Neither ||
        watch->goOn();
    if (asked && goOn && receiveAll(process.socket, abandonFd, deadline, frame, FrameLengthBytes)) {
        const std::size_t length = frameLength(frame);
        frame.clear();
        if (length <= MaxListingBytes &&
            receiveAll(process.socket, abandonFd, deadline, frame, length))
            listing = decodeListing(frame);
    }
    if (!listing)
        end(process);
    return listing;
}

} // namespace norvane
