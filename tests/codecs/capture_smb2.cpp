// Runs the identification exchange against one server and prints each
// message it received, framing removed, as one line of hex: how the
// fixtures of tst_smb2codec were captured from the lab's smbd.
//   capture_smb2 ADDRESS [raw]

#include "smb2/IdentityExchange.h"
#include "smb2/SessionFrame.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace norvane::smb2;

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(445);
    inet_pton(AF_INET, argv[1], &to.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        return 1;
    const bool raw = argc > 2 && std::strcmp(argv[2], "raw") == 0;
    IdentityExchange exchange(Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, Salt{},
                              raw ? TokenWrapping::Raw : TokenWrapping::Spnego);
    auto request = exchange.firstRequest();
    FrameAssembler frame;
    while (!request.empty()) {
        std::fprintf(stderr, "sent %zu bytes\n", request.size());
        if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            return 1;
        frame.reset();
        std::uint8_t buffer[4096];
        while (frame.state() == FrameAssembler::State::NeedMore) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0)
                return 1;
            std::size_t taken = 0;
            frame.append(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)),
                         taken);
        }
        if (frame.state() != FrameAssembler::State::Complete)
            return 1;
        for (const std::uint8_t b : frame.message())
            std::printf("%02x", b);
        std::printf("\n");
        request = exchange.take(frame.message());
    }
    std::fprintf(stderr, "state %d dialect %04x\n", static_cast<int>(exchange.state()),
                 exchange.dialect());
    if (const auto& c = exchange.challenge())
        std::fprintf(stderr, "nb %s/%s dns %s/%s version %d.%d.%d\n",
                     c->netbiosComputer.toUtf8().constData(), c->netbiosDomain.toUtf8().constData(),
                     c->dnsComputer.toUtf8().constData(), c->dnsDomain.toUtf8().constData(),
                     c->version ? c->version->major : -1, c->version ? c->version->minor : -1,
                     c->version ? c->version->build : -1);
    close(fd);
    return exchange.state() == IdentityExchange::State::Identified ? 0 : 1;
}
