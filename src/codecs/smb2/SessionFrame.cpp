#include "SessionFrame.h"

#include <algorithm>

namespace norvane::smb2 {

namespace {

constexpr std::uint8_t SessionMessageType = 0x00;
constexpr std::size_t MaxFrameLength = 0xFFFFFF;

} // namespace

std::vector<std::uint8_t> framed(std::span<const std::uint8_t> message) {
    const std::size_t length = std::min(message.size(), MaxFrameLength);
    std::vector<std::uint8_t> frame{SessionMessageType, static_cast<std::uint8_t>(length >> 16),
                                    static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length)};
    frame.insert(frame.end(), message.begin(),
                 message.begin() + static_cast<std::ptrdiff_t>(length));
    return frame;
}

FrameAssembler::State FrameAssembler::append(std::span<const std::uint8_t> data,
                                             std::size_t& taken) {
    taken = 0;
    while (m_state == State::NeedMore && taken < data.size()) {
        const std::size_t wanted =
            m_bytes.size() < FrameHeaderBytes ? FrameHeaderBytes : FrameHeaderBytes + m_expected;
        const std::size_t count = std::min(wanted - m_bytes.size(), data.size() - taken);
        m_bytes.insert(m_bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(taken),
                       data.begin() + static_cast<std::ptrdiff_t>(taken + count));
        taken += count;
        if (m_bytes.size() == FrameHeaderBytes && m_expected == 0) {
            m_expected = static_cast<std::size_t>(m_bytes[1]) << 16 |
                         static_cast<std::size_t>(m_bytes[2]) << 8 | m_bytes[3];
            if (m_bytes[0] != SessionMessageType || m_expected == 0 || m_expected > m_maxMessage) {
                m_state = State::Invalid;
                m_bytes.clear();
                break;
            }
            m_bytes.reserve(FrameHeaderBytes + m_expected);
        }
        if (m_expected != 0 && m_bytes.size() == FrameHeaderBytes + m_expected)
            m_state = State::Complete;
    }
    return m_state;
}

std::span<const std::uint8_t> FrameAssembler::message() const {
    if (m_state != State::Complete)
        return {};
    return std::span<const std::uint8_t>(m_bytes).subspan(FrameHeaderBytes);
}

void FrameAssembler::reset() {
    m_bytes.clear();
    m_expected = 0;
    m_state = State::NeedMore;
}

} // namespace norvane::smb2
