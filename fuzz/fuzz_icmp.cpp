// Feeds arbitrary packets to the ICMP reply classifier, framed both as raw
// IP datagrams and as bare ICMP messages. The first eight bytes choose the
// request the packet must answer (destination, identifier, sequence), so
// that matching replies and matching quoted requests are reached. Each
// packet comes once from the destination and once from another host.

#include "icmp/IcmpCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

using namespace norvane;

namespace {
constexpr std::size_t RequestBytes = 8;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < RequestBytes)
        return 0;
    icmp::Request request;
    std::memcpy(&request.destination, data, sizeof request.destination);
    request.identifier = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    request.sequence = static_cast<std::uint16_t>(data[6] << 8 | data[7]);
    const std::span<const std::uint8_t> packet(data + RequestBytes, size - RequestBytes);
    const std::uint32_t sources[] = {request.destination, ~request.destination};
    for (const auto framing : {icmp::Framing::IpDatagram, icmp::Framing::IcmpMessage}) {
        for (const std::uint32_t source : sources) {
            const icmp::Answer answer = icmp::classify(packet, framing, source, request);
            // Touch every echoed byte, so that a span past the packet shows.
            std::uint8_t sum = 0;
            for (const std::uint8_t byte : answer.data)
                sum = static_cast<std::uint8_t>(sum + byte);
            (void)sum;
            (void)icmp::describe(answer.reason);
        }
    }
    (void)icmp::echoRequest(request.identifier, request.sequence, packet);
    return 0;
}
