#pragma once

// The messages of WS-Discovery and of the metadata exchange that follows
// it, as bytes: the Probe and Resolve a client multicasts, the matches that
// come back, the HTTP exchange that fetches a device's metadata and the
// computer that metadata names. Every parser takes hostile input: sizes,
// counts and nesting are bounded, documents with a document type
// declaration are refused, elements are known by namespace and name, and a
// reply counts only when it relates to the message it answers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::wsd {

using Bytes = std::span<const std::uint8_t>;

// Largest datagram taken; a longer one is dropped whole.
constexpr std::size_t MaxDatagramBytes = 32767;
// Largest HTTP response (head and body) and head taken.
constexpr std::size_t MaxResponseBytes = 65536;
constexpr std::size_t MaxResponseHeadBytes = 8192;
// Bounds on what one message may carry.
constexpr std::size_t MaxMatchesPerMessage = 16;
constexpr std::size_t MaxTransportAddresses = 8;
constexpr std::size_t MaxElements = 2048;
constexpr std::size_t MaxDepth = 24;
constexpr std::size_t MaxEndpointBytes = 256;
// A computer's name as a host may announce it (a DNS label at most) and its
// workgroup or domain (a DNS name at most).
constexpr std::size_t MaxComputerNameBytes = 63;
constexpr std::size_t MaxGroupBytes = 255;
// The group of a computer that is neither in a workgroup nor a domain: the
// workgroup such a computer browses in.
constexpr const char* NotJoinedGroup = "WORKGROUP";

std::string probeMessage(std::string_view messageId);
std::string resolveMessage(std::string_view messageId, std::string_view endpoint);
// The metadata Get sent to a device's transport address.
std::string getMessage(std::string_view messageId, std::string_view endpoint);

enum class MatchKind { Probe, Resolve };

struct Match {
    std::string endpoint;                        // the device's endpoint address
    std::vector<std::string> transportAddresses; // its XAddrs, possibly none
};

// The matches of a ProbeMatches or ResolveMatches message, or why the
// message was refused (then `problem` is set and there are no matches).
struct MatchesReply {
    std::vector<Match> matches;
    std::string problem;
};

MatchesReply parseMatches(Bytes message, MatchKind kind, std::string_view relatesTo);

// A transport address the client may fetch from: http with an IPv4 address.
struct HttpUrl {
    std::uint32_t address = 0; // network byte order
    std::uint16_t port = 80;
    std::string path;
};

// Only http://a.b.c.d[:port][/path]; nothing for another scheme, a host
// name, user information or a path with spaces or control characters.
std::optional<HttpUrl> parseHttpUrl(std::string_view url);

// A POST of a SOAP body, the connection closed after the answer.
std::string httpPost(const HttpUrl& url, std::string_view body);

enum class HttpState { Incomplete, Complete, Failed };

struct HttpResponse {
    HttpState state = HttpState::Incomplete;
    std::string body;    // when complete
    std::string problem; // when failed
};

// Reads a response from what arrived so far; `closed` when the peer has
// closed the connection. Only status 200 is a success; redirects are not
// followed.
HttpResponse parseHttpResponse(Bytes received, bool closed);

struct Computer {
    std::string name;
    std::string group;
};

// "NAME/Workgroup:WG", "NAME/Domain:DOMAIN" or "NAME/NotJoined"; a
// backslash may stand for the slash.
std::optional<Computer> parseComputer(std::string_view text);

struct MetadataReply {
    std::optional<Computer> computer;
    std::string problem; // why no computer was taken
};

// The computer a GetResponse's host section names.
MetadataReply parseMetadata(Bytes message, std::string_view relatesTo);

} // namespace norvane::wsd
