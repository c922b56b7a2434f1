// Feeds arbitrary datagrams to the DNS message parser, and the names of
// every message it accepts back through the query encoder and the
// diagnostic text, which must take whatever the parser gives them.

#include "dns/DnsCodec.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace norvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = dns::parseMessage(std::span<const std::uint8_t>(data, size));
    if (!parsed.message)
        return 0;
    std::vector<dns::Question> questions = parsed.message->questions;
    for (const dns::Record& record : parsed.message->records) {
        (void)dns::nameText(record.name);
        questions.push_back({record.name, record.type});
    }
    if (questions.size() > UINT16_MAX)
        return 0;
    // Every parsed name can be encoded again, and a query we wrote must read
    // back with the same questions.
    const auto query = dns::queryMessage(parsed.message->id, questions);
    if (!query)
        __builtin_trap();
    {
        const auto again = dns::parseMessage(*query);
        if (!again.message || again.message->questions.size() != questions.size())
            __builtin_trap();
    }
    return 0;
}
