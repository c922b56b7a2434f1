#pragma once

// Bounds-checked little-endian reads over a received message: a caller asks
// has() before it reads, and every read stays inside the message.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace norvane::smb2 {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t size() const { return m_bytes.size(); }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= m_bytes.size() && count <= m_bytes.size() - offset;
    }
    std::uint8_t u8(std::size_t offset) const { return m_bytes[offset]; }
    std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8);
    }
    std::uint32_t u32(std::size_t offset) const {
        return u16(offset) | static_cast<std::uint32_t>(u16(offset + 2)) << 16;
    }
    std::uint64_t u64(std::size_t offset) const {
        return u32(offset) | static_cast<std::uint64_t>(u32(offset + 4)) << 32;
    }
    std::span<const std::uint8_t> bytes(std::size_t offset, std::size_t count) const {
        return m_bytes.subspan(offset, count);
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

// Appends little-endian fields to a message being built.
class ByteWriter {
public:
    void u8(std::uint8_t value) { m_bytes.push_back(value); }
    void u16(std::uint16_t value) {
        u8(static_cast<std::uint8_t>(value));
        u8(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void u64(std::uint64_t value) {
        u32(static_cast<std::uint32_t>(value));
        u32(static_cast<std::uint32_t>(value >> 32));
    }
    void bytes(std::span<const std::uint8_t> data) {
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    }
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
    // Room for a message of known length, taken once.
    void reserve(std::size_t bytes) { m_bytes.reserve(bytes); }
    std::size_t size() const { return m_bytes.size(); }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace norvane::smb2
