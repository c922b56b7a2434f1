// Feeds arbitrary bytes to the WS-Discovery parsers: matches of a Probe and
// of a Resolve, the metadata a device returns, the HTTP response that
// carries it, transport addresses and computer names. The id the replies
// must relate to is fixed, so that inputs that carry it reach the matches.

#include "wsd/WsdCodec.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace norvane::wsd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::string_view Id = "urn:uuid:0";
    const Bytes input(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)parseMatches(input, MatchKind::Probe, Id).matches.size();
    (void)parseMatches(input, MatchKind::Resolve, Id).matches.size();
    (void)parseMetadata(input, Id).computer.has_value();
    for (const bool closed : {false, true}) {
        const HttpResponse response = parseHttpResponse(input, closed);
        if (response.state == HttpState::Complete)
            (void)parseMetadata(Bytes(reinterpret_cast<const std::uint8_t*>(response.body.data()),
                                      response.body.size()),
                                Id);
    }
    (void)parseHttpUrl(text).has_value();
    (void)parseComputer(text).has_value();
    return 0;
}
