#pragma once

// Hosts on loopback addresses (127.x.y.z all reach this machine) that
// answer an address sweep from one thread: a node status answer on a UDP
// port, and an SMB server on a TCP port that replays the lab smbd's
// captured answers, or misbehaves in one chosen way. Records which NTLMSSP
// messages each server received and whether the client closed.

#include "NbnsPackets.h"

#include <QByteArray>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace norvane::test {

enum class SmbBehaviour {
    None,          // nothing listens: the connect is refused
    Answer,        // the captured negotiate and SPNEGO challenge answers
    AnswerRaw,     // the same with a bare NTLMSSP challenge
    CloseAtOnce,   // accepts, then closes without a word
    Truncated,     // half the negotiate answer, then closes
    StallMidFrame, // half the negotiate answer, then nothing, never closes
    Silent,        // accepts and never answers nor closes
    Oversized,     // a frame header claiming 16 MiB, then a flood of bytes
    LyingChallenge // a challenge whose target information length lies
};

struct FakeHost {
    std::uint32_t address = 0; // host byte order
    bool nodeStatus = false;   // answers node status
    QByteArray name = {};      // its unique and group <00> names
    QByteArray group = {};
    QByteArray unitId = QByteArray(6, '\0');
    SmbBehaviour smb = SmbBehaviour::None;
};

inline QByteArray smb2Fixture(const char* name) {
    QFile file(QStringLiteral(NORVANE_SMB2_FIXTURES "/%1.hex").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return QByteArray::fromHex(file.readAll().trimmed());
}

inline QByteArray sessionFramed(const QByteArray& message) {
    const auto size = quint32(message.size());
    return QByteArray{1, '\0'} + char(size >> 16) + char(size >> 8 & 0xFF) + char(size & 0xFF) +
           message;
}

inline QByteArray nodeStatusAnswer(int id, const FakeHost& host) {
    QByteArray data(1, 2);
    const auto entry = [&](const QByteArray& name, int flags) {
        QByteArray e = name.leftJustified(15, ' ', true);
        e.append('\0');
        putU16(e, flags);
        data.append(e);
    };
    entry(host.name, 0x0400);
    entry(host.group, 0x8400);
    data.append(host.unitId);
    data.append(QByteArray(40, '\0'));
    return responseHeader(id, 0x8400, 0, 1) +
           answerRecord(encodedLabel(nbns::wildcardName()), nbns::TypeNBSTAT, data);
}

class FakeSmbHosts {
public:
    struct Seen {
        std::vector<int> ntlmTypes; // NTLMSSP message types received, in order
        bool clientClosed = false;
        int nodeStatusQueries = 0; // datagrams received on the name service port
    };

    // Binds every host's sockets; the ports are chosen on the first host
    // and shared by all. valid() is false when a bind failed.
    explicit FakeSmbHosts(std::vector<FakeHost> hosts) : m_hosts(std::move(hosts)) {
        m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        for (const FakeHost& host : m_hosts) {
            if (host.nodeStatus)
                m_udp.push_back({bindTo(host.address, SOCK_DGRAM, m_nameServicePort), host});
            if (host.smb != SmbBehaviour::None)
                m_listeners.push_back({bindTo(host.address, SOCK_STREAM, m_smbPort), host});
        }
        for (const auto& [fd, host] : m_listeners)
            listen(fd, 16);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeSmbHosts() {
        std::uint64_t one = 1;
        (void)write(m_stop, &one, sizeof one);
        m_thread.join();
        for (const auto& c : m_connections)
            close(c.fd);
        for (const auto& [fd, host] : m_udp)
            close(fd);
        for (const auto& [fd, host] : m_listeners)
            close(fd);
        close(m_stop);
    }

    bool valid() const {
        bool ok = m_stop >= 0;
        for (const auto& [fd, host] : m_udp)
            ok = ok && fd >= 0;
        for (const auto& [fd, host] : m_listeners)
            ok = ok && fd >= 0;
        return ok;
    }
    std::uint16_t nameServicePort() const { return m_nameServicePort; }
    std::uint16_t smbPort() const { return m_smbPort; }
    std::map<std::uint32_t, Seen> seen() const {
        const std::lock_guard lock(m_mutex);
        return m_seen;
    }
    std::size_t openConnections() const { return m_open; }

private:
    struct Connection {
        int fd = -1;
        FakeHost host;
        QByteArray received;
        int answered = 0;
    };

    // A socket of `type` on address:port; port 0 picks one and sets it.
    static int bindTo(std::uint32_t address, int type, std::uint16_t& port) {
        const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(address);
        local.sin_port = htons(port);
        socklen_t size = sizeof local;
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
            close(fd);
            return -1;
        }
        port = ntohs(local.sin_port);
        return fd;
    }

    void serve() {
        for (;;) {
            std::vector<pollfd> fds{{m_stop, POLLIN, 0}};
            for (const auto& [fd, host] : m_udp)
                fds.push_back({fd, POLLIN, 0});
            for (const auto& [fd, host] : m_listeners)
                fds.push_back({fd, POLLIN, 0});
            for (const auto& c : m_connections)
                fds.push_back({c.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[0].revents)
                return;
            std::size_t i = 1;
            for (const auto& [fd, host] : m_udp) {
                if (fds[i++].revents)
                    answerNodeStatus(fd, host);
            }
            for (const auto& [fd, host] : m_listeners) {
                if (fds[i++].revents) {
                    const int accepted = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (accepted >= 0)
                        m_newConnections.push_back({accepted, host, {}, 0});
                }
            }
            for (auto& c : m_connections) {
                if (fds[i++].revents)
                    serveConnection(c);
            }
            std::erase_if(m_connections, [](const Connection& c) { return c.fd < 0; });
            for (auto& c : m_newConnections) {
                startConnection(c);
                if (c.fd >= 0)
                    m_connections.push_back(std::move(c));
            }
            m_newConnections.clear();
            m_open = m_connections.size();
        }
    }

    void answerNodeStatus(int fd, const FakeHost& host) {
        char buffer[512];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t got =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (got < 2)
            return;
        {
            const std::lock_guard lock(m_mutex);
            ++m_seen[host.address].nodeStatusQueries;
        }
        const int id = quint8(buffer[0]) << 8 | quint8(buffer[1]);
        const QByteArray answer = nodeStatusAnswer(id, host);
        sendto(fd, answer.constData(), std::size_t(answer.size()), 0,
               reinterpret_cast<sockaddr*>(&from), size);
    }

    void startConnection(Connection& c) {
        if (c.host.smb == SmbBehaviour::CloseAtOnce)
            closeConnection(c);
    }

    void closeConnection(Connection& c) {
        close(c.fd);
        c.fd = -1;
    }

    void send(Connection& c, const QByteArray& bytes) {
        (void)::send(c.fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
    }

    void serveConnection(Connection& c) {
        char buffer[4096];
        const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            const std::lock_guard lock(m_mutex);
            m_seen[c.host.address].clientClosed = true;
            closeConnection(c);
            return;
        }
        c.received.append(buffer, got);
        // Answer each whole request.
        while (c.received.size() >= 4) {
            const qsizetype length =
                quint8(c.received[1]) << 16 | quint8(c.received[2]) << 8 | quint8(c.received[3]);
            if (c.received.size() < 4 + length)
                return;
            const QByteArray request = c.received.mid(4, length);
            c.received.remove(0, 4 + length);
            if (const auto at = request.indexOf(QByteArray("NTLMSSP\0", 8));
                at >= 0 && at + 8 < request.size()) {
                const std::lock_guard lock(m_mutex);
                m_seen[c.host.address].ntlmTypes.push_back(request[at + 8]);
            }
            answer(c);
            if (c.fd < 0)
                return;
        }
    }

    void answer(Connection& c) {
        const int step = c.answered++;
        const QByteArray negotiate = sessionFramed(smb2Fixture("smbd-negotiate-response"));
        switch (c.host.smb) {
        case SmbBehaviour::Answer:
        case SmbBehaviour::AnswerRaw:
        case SmbBehaviour::LyingChallenge: {
            if (step == 0) {
                send(c, negotiate);
                return;
            }
            if (step > 1)
                return;
            QByteArray setup =
                smb2Fixture(c.host.smb == SmbBehaviour::AnswerRaw ? "smbd-session-setup-raw"
                                                                  : "smbd-session-setup-spnego");
            if (c.host.smb == SmbBehaviour::LyingChallenge) {
                // The target information's length, in the bare challenge
                // at offset 72 of the message, claims far past the end.
                setup = smb2Fixture("smbd-session-setup-raw");
                setup[72 + 40] = char(0xF0);
                setup[72 + 41] = char(0xFF);
            }
            send(c, sessionFramed(setup));
            return;
        }
        case SmbBehaviour::Truncated:
            send(c, negotiate.left(negotiate.size() / 2));
            closeConnection(c);
            return;
        case SmbBehaviour::StallMidFrame:
            send(c, negotiate.left(negotiate.size() / 2));
            return;
        case SmbBehaviour::Oversized:
            send(c, QByteArray::fromHex("00ffffff") + QByteArray(64 * 1024, 'x'));
            return;
        case SmbBehaviour::None:
        case SmbBehaviour::CloseAtOnce:
        case SmbBehaviour::Silent:
            return;
        }
    }

    std::vector<FakeHost> m_hosts;
    int m_stop = -1;
    std::uint16_t m_nameServicePort = 0;
    std::uint16_t m_smbPort = 0;
    std::vector<std::pair<int, FakeHost>> m_udp;
    std::vector<std::pair<int, FakeHost>> m_listeners;
    std::vector<Connection> m_connections;
    std::vector<Connection> m_newConnections;
    std::atomic<std::size_t> m_open{0};
    mutable std::mutex m_mutex;
    std::map<std::uint32_t, Seen> m_seen;
    std::thread m_thread;
};

} // namespace norvane::test
