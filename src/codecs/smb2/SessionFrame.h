#pragma once

// The session framing of SMB over TCP port 445: each message follows a
// 4-byte header, a zero type byte and a 24-bit big-endian length. Messages
// longer than the bound the reader sets are refused rather than buffered.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace norvane::smb2 {

constexpr std::size_t FrameHeaderBytes = 4;
// The longest message a server's identity exchange needs: a negotiate
// response or a challenge is a few hundred bytes.
constexpr std::size_t MaxSessionMessageBytes = 16 * 1024;

// `message` with its frame header.
std::vector<std::uint8_t> framed(std::span<const std::uint8_t> message);

// Gathers one framed message from the pieces a stream delivers, keeping at
// most the header and `maxMessage` bytes.
class FrameAssembler {
public:
    enum class State {
        NeedMore, // the message is not complete yet
        Complete, // message() holds it; bytes past it were not taken
        Invalid,  // not a session message, or longer than allowed
    };

    explicit FrameAssembler(std::size_t maxMessage = MaxSessionMessageBytes)
        : m_maxMessage(maxMessage) {}

    // Takes bytes from `data` up to the end of the message and says how
    // far the message is; `taken` gets the count taken.
    State append(std::span<const std::uint8_t> data, std::size_t& taken);
    State state() const { return m_state; }
    std::span<const std::uint8_t> message() const;
    // Ready for the next message.
    void reset();

private:
    std::size_t m_maxMessage;
    std::size_t m_expected = 0; // message bytes, once the header is in
    std::vector<std::uint8_t> m_bytes;
    State m_state = State::NeedMore;
};

} // namespace norvane::smb2
