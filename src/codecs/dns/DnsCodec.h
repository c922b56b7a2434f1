#pragma once

// The DNS messages of multicast DNS service discovery: queries, and the
// records of an answer that discovery reads (PTR, SRV, A). Pure functions
// over bytes. Every count, length and compression pointer of a received
// message is checked against the message's real size: pointers may only
// point backwards, so that no loop can form, labels are at most 63 bytes
// and names at most 255.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace norvane::dns {

constexpr std::size_t HeaderBytes = 12;
constexpr std::size_t MaxLabelBytes = 63;
constexpr std::size_t MaxNameBytes = 255; // on the wire, length bytes and the root included
constexpr std::uint16_t TypeA = 1;
constexpr std::uint16_t TypePTR = 12;
constexpr std::uint16_t TypeTXT = 16;
constexpr std::uint16_t TypeSRV = 33;
constexpr std::uint16_t ClassIN = 1;

// A domain name as its labels; a label may hold any byte, dots included
// (service instance names often do).
using Name = std::vector<std::string>;

// Whether two names are the same, ASCII letters compared without case.
bool sameName(const Name& a, const Name& b);

// "a.b.c" split at its dots; nothing for an empty label.
std::optional<Name> nameFromText(std::string_view text);

// The labels joined with dots, for diagnostics; dots and backslashes inside a
// label are escaped with a backslash, bytes outside printable ASCII as \DDD.
std::string nameText(const Name& name);

struct Question {
    Name name;
    std::uint16_t type = 0;
};

// A standard query asking `questions`, with the given id; nothing when a
// name cannot be encoded (an empty label, a label over 63 bytes, a name
// over 255).
std::optional<std::vector<std::uint8_t>> queryMessage(std::uint16_t id,
                                                      std::span<const Question> questions);

struct PtrData {
    Name target;
};

struct SrvData {
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;
    std::uint16_t port = 0;
    Name target;
};

struct AddressData {
    std::uint32_t address = 0; // network byte order
};

// Records of other types are kept without their data.
using RecordData = std::variant<std::monostate, PtrData, SrvData, AddressData>;

struct Record {
    Name name;
    std::uint16_t type = 0;
    std::uint16_t rrClass = 0; // the cache-flush bit removed
    std::uint32_t ttl = 0;
    RecordData data;
};

struct Message {
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::vector<Question> questions;
    // Answer, authority and additional records, in that order.
    std::vector<Record> records;
    std::size_t answerCount = 0; // how many of `records` are answers

    bool isResponse() const { return (flags & 0x8000) != 0; }
};

enum class ParseError {
    None,
    Truncated,         // a field runs past the end of the message
    CountTooLarge,     // a section count that the message cannot hold
    LabelTooLong,      // a label length byte over 63 that is no pointer
    NameTooLong,       // a name over 255 bytes
    PointerOutOfRange, // a compression pointer past the end or into the header
    PointerLoop,       // a compression pointer that does not point backwards
    BadRecordData,     // record data that does not fit its type
};

struct ParseResult {
    std::optional<Message> message;
    ParseError error = ParseError::None;
};

// Reads a whole message; a message with any fault is refused as a whole.
ParseResult parseMessage(std::span<const std::uint8_t> packet);

const char* errorText(ParseError error);

} // namespace norvane::dns
