#pragma once

// Bounds-checked big-endian reads over a received packet: a caller asks
// has() before it reads, and every read stays inside the packet.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace norvane {

class PacketReader {
public:
    explicit PacketReader(std::span<const std::uint8_t> packet) : m_packet(packet) {}

    std::size_t size() const { return m_packet.size(); }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= m_packet.size() && count <= m_packet.size() - offset;
    }
    std::uint8_t byte(std::size_t offset) const { return m_packet[offset]; }
    std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>(m_packet[offset] << 8 | m_packet[offset + 1]);
    }
    std::uint32_t u32(std::size_t offset) const {
        return static_cast<std::uint32_t>(u16(offset)) << 16 | u16(offset + 2);
    }
    std::span<const std::uint8_t> bytes(std::size_t offset, std::size_t count) const {
        return m_packet.subspan(offset, count);
    }
    std::string text(std::size_t offset, std::size_t count) const {
        return std::string(reinterpret_cast<const char*>(m_packet.data() + offset), count);
    }

private:
    std::span<const std::uint8_t> m_packet;
};

} // namespace norvane
