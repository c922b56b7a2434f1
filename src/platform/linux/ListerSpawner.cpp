#include "ListerSpawner.h"

#include "Logging.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace norvane {

namespace {

constexpr const char* BindNow = "LD_BIND_NOW=1";

// Sends `bytes` as one message, with `fd` attached when it is not -1,
// without waiting: a spawner that does not read fails the message rather
// than stalling the walk.
bool sendMessage(int socket, std::string_view bytes, int fd) {
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
    if (fd >= 0) {
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        return sent == static_cast<ssize_t>(bytes.size());
    }
}

} // namespace

ListerSpawner::ListerSpawner(std::string program, SmbSettings settings)
    : m_program(std::move(program)), m_settings(std::move(settings)) {}

ListerSpawner::~ListerSpawner() {
    const std::lock_guard lock(m_mutex);
    stop();
}

std::optional<ListingProgramRun> runListingProgram(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   int socketType, const char* firstVariable) {
    int sockets[2] = {-1, -1};
    if (::socketpair(AF_UNIX, socketType | SOCK_CLOEXEC, 0, sockets) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> environment;
    if (firstVariable != nullptr)
        environment.push_back(const_cast<char*>(firstVariable));
    for (char** variable = environ; *variable != nullptr; ++variable)
        environment.push_back(*variable);
    environment.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        qCDebug(lcBrowse) << "listing program not started:" << spawned;
        return std::nullopt;
    }
    return ListingProgramRun{.pid = pid, .socket = sockets[0]};
}

bool ListerSpawner::running() {
    if (m_socket >= 0)
        return true;
    // Every symbol bound once, in the spawner, instead of lazily again in
    // each process it forks.
    const auto run = runListingProgram(
        m_program, {SpawnerArgument, std::to_string(m_settings.timeoutMs), m_settings.configFile},
        SOCK_SEQPACKET, BindNow);
    if (!run)
        return false;
    m_pid = run->pid;
    m_socket = run->socket;
    m_started = 0;
    ++m_spawners;
    return true;
}

void ListerSpawner::stop() {
    if (m_socket < 0)
        return;
    // Its processes end with it.
    ::kill(m_pid, SIGKILL);
    ::close(m_socket);
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_socket = -1;
    m_pid = -1;
}

std::optional<ListerSpawner::Started> ListerSpawner::start() {
    const std::lock_guard lock(m_mutex);
    // A spawner that has gone is started anew, once.
    for (int attempt = 0; attempt < 2 && running(); ++attempt) {
        int sockets[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
            return std::nullopt;
        const bool sent =
            sendMessage(m_socket, std::string_view(&SpawnerStartMessage, 1), sockets[1]);
        ::close(sockets[1]);
        if (sent)
            return Started{.socket = sockets[0],
                           .id = {.spawner = m_spawners, .number = m_started++}};
        const int error = errno;
        ::close(sockets[0]);
        // A full socket is a spawner behind with its forks, not a gone one:
        // ending it would end the listings under way.
        if (error == EAGAIN || error == EWOULDBLOCK)
            return std::nullopt;
        qCDebug(lcBrowse) << "listing spawner gone:" << std::strerror(error);
        stop();
    }
    return std::nullopt;
}

void ListerSpawner::kill(Id process) {
    const std::lock_guard lock(m_mutex);
    if (m_socket < 0 || process.spawner != m_spawners)
        return;
    sendMessage(m_socket, encodeSpawnerKill(process.number), -1);
}

} // namespace norvane
