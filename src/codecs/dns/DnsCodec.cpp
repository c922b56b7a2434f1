#include "DnsCodec.h"

#include "nbns/PacketReader.h"

#include <algorithm>
#include <cstring>

namespace norvane::dns {

namespace {

constexpr std::uint8_t PointerMark = 0xC0;
constexpr std::uint16_t CacheFlushBit = 0x8000;
constexpr std::size_t QuestionFixedBytes = 4; // type, class
constexpr std::size_t RecordFixedBytes = 10;  // type, class, ttl, data length
constexpr std::size_t SrvFixedBytes = 6;      // priority, weight, port
constexpr std::size_t AddressBytes = 4;
// The smallest question (root name and its fixed part) and record.
constexpr std::size_t MinQuestionBytes = 1 + QuestionFixedBytes;
constexpr std::size_t MinRecordBytes = 1 + RecordFixedBytes;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct ReadName {
    Name name;
    std::size_t next = 0; // offset just after the name where it began
};

// A possibly compressed name at `offset`. Each pointer must point before
// itself and past the header, which bounds the walk by the message size.
std::variant<ReadName, ParseError> readName(const PacketReader& reader, std::size_t offset) {
    ReadName read;
    std::size_t pos = offset;
    std::size_t wireBytes = 1; // the root's zero byte
    bool jumped = false;
    for (;;) {
        if (!reader.has(pos, 1))
            return ParseError::Truncated;
        const std::uint8_t length = reader.byte(pos);
        if (length == 0) {
            if (!jumped)
                read.next = pos + 1;
            return read;
        }
        if ((length & PointerMark) == PointerMark) {
            if (!reader.has(pos, 2))
                return ParseError::Truncated;
            const std::size_t target =
                static_cast<std::size_t>(length & ~PointerMark) << 8 | reader.byte(pos + 1);
            if (target < HeaderBytes || target >= reader.size())
                return ParseError::PointerOutOfRange;
            if (target >= pos)
                return ParseError::PointerLoop;
            if (!jumped)
                read.next = pos + 2;
            jumped = true;
            pos = target;
            continue;
        }
        if (length > MaxLabelBytes)
            return ParseError::LabelTooLong;
        wireBytes += 1u + length;
        if (wireBytes > MaxNameBytes)
            return ParseError::NameTooLong;
        if (!reader.has(pos + 1, length))
            return ParseError::Truncated;
        read.name.push_back(reader.text(pos + 1, length));
        pos += 1u + length;
    }
}

// Reads the data of a record of `type` lying at [begin, end).
std::variant<RecordData, ParseError> readData(const PacketReader& reader, std::uint16_t type,
                                              std::size_t begin, std::size_t end) {
    const auto nameWithin = [&](std::size_t offset) -> std::variant<ReadName, ParseError> {
        auto read = readName(reader, offset);
        if (const auto* name = std::get_if<ReadName>(&read); name && name->next > end)
            return ParseError::BadRecordData;
        return read;
    };
    switch (type) {
    case TypePTR: {
        auto read = nameWithin(begin);
        if (const auto* error = std::get_if<ParseError>(&read))
            return *error;
        auto& name = std::get<ReadName>(read);
        if (name.next != end)
            return ParseError::BadRecordData;
        return RecordData{PtrData{std::move(name.name)}};
    }
    case TypeSRV: {
        if (end - begin < SrvFixedBytes)
            return ParseError::BadRecordData;
        auto read = nameWithin(begin + SrvFixedBytes);
        if (const auto* error = std::get_if<ParseError>(&read))
            return *error;
        auto& name = std::get<ReadName>(read);
        if (name.next != end)
            return ParseError::BadRecordData;
        return RecordData{SrvData{reader.u16(begin), reader.u16(begin + 2), reader.u16(begin + 4),
                                  std::move(name.name)}};
    }
    case TypeA: {
        if (end - begin != AddressBytes)
            return ParseError::BadRecordData;
        // The bytes in the order they came are the address in network order.
        std::uint32_t address = 0;
        std::memcpy(&address, reader.text(begin, AddressBytes).data(), AddressBytes);
        return RecordData{AddressData{address}};
    }
    default:
        return RecordData{};
    }
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

bool putName(std::vector<std::uint8_t>& out, const Name& name) {
    std::size_t wireBytes = 1;
    for (const std::string& label : name) {
        if (label.empty() || label.size() > MaxLabelBytes)
            return false;
        wireBytes += 1 + label.size();
        if (wireBytes > MaxNameBytes)
            return false;
        out.push_back(static_cast<std::uint8_t>(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(0);
    return true;
}

} // namespace

bool sameName(const Name& a, const Name& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const std::string& x, const std::string& y) {
                          return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                                            [](char c, char d) { return lower(c) == lower(d); });
                      });
}

std::optional<Name> nameFromText(std::string_view text) {
    Name name;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        const std::string_view label = text.substr(0, dot);
        if (label.empty())
            return std::nullopt;
        name.emplace_back(label);
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
        if (text.empty())
            return std::nullopt;
    }
    if (name.empty())
        return std::nullopt;
    return name;
}

std::string nameText(const Name& name) {
    std::string text;
    for (const std::string& label : name) {
        if (!text.empty())
            text += '.';
        for (const char c : label) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '.' || c == '\\') {
                text += '\\';
                text += c;
            } else if (byte < 0x20 || byte > 0x7E) {
                text += '\\';
                text += static_cast<char>('0' + byte / 100);
                text += static_cast<char>('0' + byte / 10 % 10);
                text += static_cast<char>('0' + byte % 10);
            } else {
                text += c;
            }
        }
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> queryMessage(std::uint16_t id,
                                                      std::span<const Question> questions) {
    std::vector<std::uint8_t> out;
    putU16(out, id);
    putU16(out, 0); // a standard query
    putU16(out, static_cast<std::uint16_t>(questions.size()));
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, 0);
    for (const Question& question : questions) {
        if (!putName(out, question.name))
            return std::nullopt;
        putU16(out, question.type);
        putU16(out, ClassIN);
    }
    return out;
}

ParseResult parseMessage(std::span<const std::uint8_t> packet) {
    const PacketReader reader(packet);
    if (!reader.has(0, HeaderBytes))
        return {std::nullopt, ParseError::Truncated};
    Message message;
    message.id = reader.u16(0);
    message.flags = reader.u16(2);
    const std::size_t questionCount = reader.u16(4);
    const std::size_t recordCount =
        std::size_t{reader.u16(6)} + reader.u16(8) + std::size_t{reader.u16(10)};
    // Counts are checked against the room left before anything is reserved.
    if (questionCount * MinQuestionBytes + recordCount * MinRecordBytes >
        packet.size() - HeaderBytes)
        return {std::nullopt, ParseError::CountTooLarge};
    message.answerCount = reader.u16(6);

    std::size_t pos = HeaderBytes;
    message.questions.reserve(questionCount);
    for (std::size_t i = 0; i < questionCount; ++i) {
        auto read = readName(reader, pos);
        if (const auto* error = std::get_if<ParseError>(&read))
            return {std::nullopt, *error};
        auto& name = std::get<ReadName>(read);
        if (!reader.has(name.next, QuestionFixedBytes))
            return {std::nullopt, ParseError::Truncated};
        message.questions.push_back({std::move(name.name), reader.u16(name.next)});
        pos = name.next + QuestionFixedBytes;
    }
    message.records.reserve(recordCount);
    for (std::size_t i = 0; i < recordCount; ++i) {
        auto read = readName(reader, pos);
        if (const auto* error = std::get_if<ParseError>(&read))
            return {std::nullopt, *error};
        auto& name = std::get<ReadName>(read);
        const std::size_t fixed = name.next;
        if (!reader.has(fixed, RecordFixedBytes))
            return {std::nullopt, ParseError::Truncated};
        const std::size_t dataBegin = fixed + RecordFixedBytes;
        const std::size_t dataLength = reader.u16(fixed + 8);
        if (!reader.has(dataBegin, dataLength))
            return {std::nullopt, ParseError::Truncated};
        Record record;
        record.name = std::move(name.name);
        record.type = reader.u16(fixed);
        record.rrClass = static_cast<std::uint16_t>(reader.u16(fixed + 2) & ~CacheFlushBit);
        record.ttl = reader.u32(fixed + 4);
        auto data = readData(reader, record.type, dataBegin, dataBegin + dataLength);
        if (const auto* error = std::get_if<ParseError>(&data))
            return {std::nullopt, *error};
        record.data = std::move(std::get<RecordData>(data));
        message.records.push_back(std::move(record));
        pos = dataBegin + dataLength;
    }
    return {std::move(message), ParseError::None};
}

const char* errorText(ParseError error) {
    switch (error) {
    case ParseError::None:
        return "no error";
    case ParseError::Truncated:
        return "truncated";
    case ParseError::CountTooLarge:
        return "a count larger than the message";
    case ParseError::LabelTooLong:
        return "a label over 63 bytes";
    case ParseError::NameTooLong:
        return "a name over 255 bytes";
    case ParseError::PointerOutOfRange:
        return "a compression pointer out of range";
    case ParseError::PointerLoop:
        return "a compression pointer that does not point backwards";
    case ParseError::BadRecordData:
        return "record data that does not fit its type";
    }
    return "unknown error";
}

} // namespace norvane::dns
