// Feeds arbitrary bytes to every reader of the SMB2 identification codec:
// the frame assembler in pieces, both response parsers, the SPNEGO unwrap,
// the CHALLENGE parser, and the exchange driven through both steps.

#include "smb2/IdentityExchange.h"
#include "smb2/NtlmMessages.h"
#include "smb2/SessionFrame.h"
#include "smb2/Smb2Messages.h"
#include "smb2/Spnego.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

using namespace norvane::smb2;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    (void)parseNegotiateResponse(input);
    if (const auto setup = parseSessionSetupResponse(input)) {
        if (const auto token = ntlmTokenOf(setup->securityBuffer))
            (void)parseNtlmChallenge(*token);
    }
    if (const auto token = ntlmTokenOf(input))
        (void)parseNtlmChallenge(*token);

    // The input as a stream of frames, delivered in pieces of varying size,
    // answering the exchange with each message it completes.
    IdentityExchange exchange(Guid{}, Salt{});
    FrameAssembler frame(512);
    std::size_t offset = 0;
    std::size_t piece = 1;
    while (offset < size && !exchange.finished()) {
        std::size_t taken = 0;
        const auto chunk = input.subspan(offset, std::min(piece, size - offset));
        const auto state = frame.append(chunk, taken);
        offset += taken;
        piece = piece % 61 + 7;
        if (state == FrameAssembler::State::Invalid)
            break;
        if (state == FrameAssembler::State::Complete) {
            (void)exchange.take(frame.message());
            frame.reset();
        }
    }
    return 0;
}
