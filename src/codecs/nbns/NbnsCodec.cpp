#include "NbnsCodec.h"

#include "PacketReader.h"

#include <algorithm>
#include <cstring>

namespace norvane::nbns {

namespace {

constexpr std::uint16_t FlagResponse = 0x8000;
constexpr std::uint16_t FlagRecursionDesired = 0x0100;
constexpr std::uint16_t FlagBroadcast = 0x0010;
constexpr unsigned OpcodeShift = 11;
constexpr std::uint16_t OpcodeMask = 0x0F;
constexpr std::uint16_t RcodeMask = 0x0F;
constexpr std::uint8_t PointerMark = 0xC0;
constexpr std::size_t MaxEncodedNameLength = 255; // all labels of one name
constexpr std::size_t AddressEntryBytes = 6;      // flags and an IPv4 address
constexpr std::size_t ResourceFixedBytes = 10;    // type, class, ttl, rdlength
constexpr std::size_t QuestionFixedBytes = 4;     // type, class

struct ParsedName {
    NetbiosName name{};
    std::size_t next = 0; // offset just after the name where it was found
};

std::optional<NetbiosName> decodeLabel(std::span<const std::uint8_t> label) {
    if (label.size() != EncodedNameBytes)
        return std::nullopt;
    NetbiosName name{};
    for (std::size_t i = 0; i < NetbiosNameBytes; ++i) {
        const std::uint8_t high = label[2 * i];
        const std::uint8_t low = label[2 * i + 1];
        if (high < 'A' || high > 'P' || low < 'A' || low > 'P')
            return std::nullopt;
        name[i] = static_cast<std::uint8_t>((high - 'A') << 4 | (low - 'A'));
    }
    return name;
}

// A NetBIOS name at `offset`: a 32-byte first label, optional scope labels,
// a terminating zero; at most one compression pointer, which must point
// backwards into the packet.
std::optional<ParsedName> readName(const PacketReader& reader, std::size_t offset) {
    std::size_t pos = offset;
    std::size_t next = 0;
    bool jumped = false;
    bool first = true;
    std::size_t total = 0;
    ParsedName parsed;
    for (;;) {
        if (!reader.has(pos, 1))
            return std::nullopt;
        const std::uint8_t length = reader.byte(pos);
        if (length == 0) {
            if (first)
                return std::nullopt;
            parsed.next = jumped ? next : pos + 1;
            return parsed;
        }
        if ((length & PointerMark) == PointerMark) {
            if (jumped || !reader.has(pos, 2))
                return std::nullopt;
            const std::size_t target =
                static_cast<std::size_t>(length & ~PointerMark) << 8 | reader.byte(pos + 1);
            if (target < HeaderBytes || target >= pos)
                return std::nullopt;
            next = pos + 2;
            pos = target;
            jumped = true;
            continue;
        }
        if ((length & PointerMark) != 0 || !reader.has(pos + 1, length))
            return std::nullopt;
        total += length + 1u;
        if (total > MaxEncodedNameLength)
            return std::nullopt;
        if (first) {
            const auto name = decodeLabel(reader.bytes(pos + 1, length));
            if (!name)
                return std::nullopt;
            parsed.name = *name;
            first = false;
        }
        pos += 1u + length;
    }
}

struct Answer {
    NetbiosName name{};
    std::uint16_t type = 0;
    std::uint16_t rrClass = 0;
    std::span<const std::uint8_t> data;
};

// Checks the header of a response with the given id and calls `visit` for
// each answer record until it returns true. False when the packet is
// malformed before an accepted answer.
template <typename Visit>
bool visitAnswers(std::span<const std::uint8_t> packet, std::uint16_t transactionId,
                  Visit&& visit) {
    const PacketReader reader(packet);
    if (!reader.has(0, HeaderBytes))
        return false;
    const std::uint16_t flags = reader.u16(2);
    if (reader.u16(0) != transactionId || (flags & FlagResponse) == 0 ||
        ((flags >> OpcodeShift) & OpcodeMask) != 0 || (flags & RcodeMask) != 0)
        return false;
    const std::uint16_t questions = reader.u16(4);
    const std::uint16_t answers = reader.u16(6);
    std::size_t pos = HeaderBytes;
    for (std::uint16_t i = 0; i < questions; ++i) {
        const auto name = readName(reader, pos);
        if (!name || !reader.has(name->next, QuestionFixedBytes))
            return false;
        pos = name->next + QuestionFixedBytes;
    }
    for (std::uint16_t i = 0; i < answers; ++i) {
        const auto name = readName(reader, pos);
        if (!name || !reader.has(name->next, ResourceFixedBytes))
            return false;
        const std::size_t fixed = name->next;
        const std::uint16_t dataLength = reader.u16(fixed + 8);
        if (!reader.has(fixed + ResourceFixedBytes, dataLength))
            return false;
        Answer answer{name->name, reader.u16(fixed), reader.u16(fixed + 2),
                      reader.bytes(fixed + ResourceFixedBytes, dataLength)};
        if (visit(answer))
            return true;
        pos = fixed + ResourceFixedBytes + dataLength;
    }
    return false;
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::vector<std::uint8_t> request(std::uint16_t transactionId, std::uint16_t flags,
                                  const NetbiosName& name, std::uint16_t type) {
    std::vector<std::uint8_t> out;
    out.reserve(HeaderBytes + 2 + EncodedNameBytes + QuestionFixedBytes);
    putU16(out, transactionId);
    putU16(out, flags);
    putU16(out, 1); // one question
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, 0);
    out.push_back(static_cast<std::uint8_t>(EncodedNameBytes));
    const auto encoded = encodeName(name);
    out.insert(out.end(), encoded.begin(), encoded.end());
    out.push_back(0);
    putU16(out, type);
    putU16(out, ClassIN);
    return out;
}

} // namespace

std::optional<NetbiosName> netbiosName(std::string_view name, std::uint8_t suffix) {
    if (name.empty() || name.size() > NetbiosNameBytes - 1)
        return std::nullopt;
    NetbiosName bytes;
    bytes.fill(' ');
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        bytes[i] = static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    bytes[NetbiosNameBytes - 1] = suffix;
    return bytes;
}

NetbiosName wildcardName() {
    NetbiosName name{};
    name[0] = '*';
    return name;
}

std::array<std::uint8_t, EncodedNameBytes> encodeName(const NetbiosName& name) {
    std::array<std::uint8_t, EncodedNameBytes> encoded{};
    for (std::size_t i = 0; i < NetbiosNameBytes; ++i) {
        encoded[2 * i] = static_cast<std::uint8_t>('A' + (name[i] >> 4));
        encoded[2 * i + 1] = static_cast<std::uint8_t>('A' + (name[i] & 0x0F));
    }
    return encoded;
}

std::vector<std::uint8_t> nameQueryRequest(std::uint16_t transactionId, const NetbiosName& name,
                                           bool broadcast) {
    const auto flags =
        static_cast<std::uint16_t>(FlagRecursionDesired | (broadcast ? FlagBroadcast : 0));
    return request(transactionId, flags, name, TypeNB);
}

std::vector<std::uint8_t> nodeStatusRequest(std::uint16_t transactionId) {
    return request(transactionId, 0, wildcardName(), TypeNBSTAT);
}

std::optional<std::vector<std::uint32_t>>
parseNameQueryResponse(std::span<const std::uint8_t> packet, std::uint16_t transactionId,
                       const NetbiosName& asked) {
    std::vector<std::uint32_t> addresses;
    const bool found = visitAnswers(packet, transactionId, [&](const Answer& answer) {
        if (answer.type != TypeNB || answer.rrClass != ClassIN || answer.name != asked)
            return false;
        if (answer.data.empty() || answer.data.size() % AddressEntryBytes != 0)
            return false;
        for (std::size_t at = 0; at < answer.data.size(); at += AddressEntryBytes) {
            std::uint32_t address = 0;
            std::memcpy(&address, answer.data.data() + at + 2, sizeof address);
            addresses.push_back(address);
        }
        return true;
    });
    if (!found)
        return std::nullopt;
    return addresses;
}

std::optional<NodeStatus> parseNodeStatusResponse(std::span<const std::uint8_t> packet,
                                                  std::uint16_t transactionId) {
    NodeStatus status;
    const bool found = visitAnswers(packet, transactionId, [&](const Answer& answer) {
        if (answer.type != TypeNBSTAT || answer.rrClass != ClassIN || answer.data.empty())
            return false;
        const std::size_t count = answer.data[0];
        const std::size_t need = 1 + count * NodeNameEntryBytes + UnitIdBytes;
        if (answer.data.size() < need)
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = answer.data.data() + 1 + i * NodeNameEntryBytes;
            NodeName name;
            std::copy_n(entry, NetbiosNameBytes, name.name.begin());
            name.flags = static_cast<std::uint16_t>(entry[16] << 8 | entry[17]);
            status.names.push_back(name);
        }
        std::copy_n(answer.data.data() + 1 + count * NodeNameEntryBytes, UnitIdBytes,
                    status.unitId.begin());
        return true;
    });
    if (!found)
        return std::nullopt;
    return status;
}

} // namespace norvane::nbns
