#include "DnsQuestion.h"

#include "../Logging.h"
#include "DirectoryLimits.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace norvane::directory {

namespace {

// The IPv4 name servers of resolv.conf.
std::vector<sockaddr_in> nameServers(res_state state) {
    std::vector<sockaddr_in> servers;
    for (int i = 0; i < state->nscount && i < MAXNS; ++i) {
        if (state->nsaddr_list[i].sin_family == AF_INET)
            servers.push_back(state->nsaddr_list[i]);
    }
    return servers;
}

} // namespace

std::optional<DnsAnswer> DnsQuestion::ask(const QByteArray& name, int type) {
    struct __res_state state = {};
    if (res_ninit(&state) != 0) {
        qCDebug(lcDirectory) << "no resolver configuration";
        return std::nullopt;
    }
    unsigned char query[NS_PACKETSZ];
    const int queryLength = res_nmkquery(&state, ns_o_query, name.constData(), ns_c_in, type,
                                         nullptr, 0, nullptr, query, sizeof query);
    const std::vector<sockaddr_in> servers = nameServers(&state);
    res_nclose(&state);
    if (queryLength < NS_HFIXEDSZ)
        return std::nullopt;
    const auto id = std::uint16_t(ns_get16(query));
    for (const sockaddr_in& server : servers) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return std::nullopt;
        std::optional<DnsAnswer> answer;
        WaitResult waited = WaitResult::TimedOut;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
            send(fd, query, std::size_t(queryLength), 0) == queryLength) {
            const Deadline deadline = deadlineIn(DnsTimeout);
            // Answers with another id (late ones to an earlier question) are
            // read and passed over until the deadline.
            while (!answer && (waited = m_wait.readable(fd, deadline)) == WaitResult::Ready) {
                QByteArray bytes(int(MaxDnsAnswer), Qt::Uninitialized);
                const ssize_t got = recv(fd, bytes.data(), std::size_t(bytes.size()), 0);
                if (got <= 0)
                    break;
                bytes.truncate(int(got));
                answer = parseDnsAnswer(bytes, id);
            }
        }
        close(fd);
        if (answer)
            return answer;
        if (waited == WaitResult::Cancelled) {
            m_cancelled = true;
            return std::nullopt;
        }
        qCDebug(lcDirectory) << "no usable answer for" << name << "from a name server";
    }
    return std::nullopt;
}

} // namespace norvane::directory
