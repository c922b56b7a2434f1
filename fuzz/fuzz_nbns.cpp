// Feeds arbitrary datagrams to the name service response parsers and
// arbitrary text to the neighbour table reader. The first two bytes choose
// the transaction id the parsers expect, so that matching ids are reached.

#include "linux/Adapters.h"
#include "nbns/NbnsCodec.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace norvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const auto id = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    const std::span<const std::uint8_t> packet(data, size);
    static const nbns::NetbiosName asked = *nbns::netbiosName("LABSRV1", 0);
    if (const auto status = nbns::parseNodeStatusResponse(packet, id))
        (void)status->names.size();
    if (const auto addresses = nbns::parseNameQueryResponse(packet, id, asked))
        (void)addresses->size();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)macFromArpTable(text, 0x0100007F, "eth0");
    return 0;
}
