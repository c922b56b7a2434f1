#include "WsdCodec.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>

namespace norvane::wsd {

namespace {

constexpr std::string_view SoapNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view AddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view DiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr std::string_view DevicesNs = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
constexpr std::string_view MexNs = "http://schemas.xmlsoap.org/ws/2004/09/mex";
constexpr std::string_view PubNs = "http://schemas.microsoft.com/windows/pub/2005/07";
constexpr std::string_view DiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr std::string_view AnonymousRole =
    "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
constexpr std::string_view ProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr std::string_view ProbeMatchesAction =
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr std::string_view ResolveAction =
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/Resolve";
constexpr std::string_view ResolveMatchesAction =
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches";
constexpr std::string_view GetAction = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";
constexpr std::string_view GetResponseAction =
    "http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse";

enum class Ns { Other, Soap, Addressing, Discovery, Devices, Mex, Pub };

struct Tag {
    Ns ns = Ns::Other;
    QString name;

    bool is(Ns wanted, QLatin1StringView wantedName) const {
        return ns == wanted && name == wantedName;
    }
};

using Path = std::vector<Tag>;

Ns namespaceOf(QStringView uri) {
    static const std::pair<std::string_view, Ns> known[] = {{SoapNs, Ns::Soap},
                                                            {AddressingNs, Ns::Addressing},
                                                            {DiscoveryNs, Ns::Discovery},
                                                            {DevicesNs, Ns::Devices},
                                                            {MexNs, Ns::Mex},
                                                            {PubNs, Ns::Pub}};
    for (const auto& [text, ns] : known) {
        if (uri == QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())))
            return ns;
    }
    return Ns::Other;
}

QLatin1StringView latin1(std::string_view text) {
    return QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
}

// True when the path is exactly these elements.
bool pathIs(const Path& path, std::initializer_list<std::pair<Ns, const char*>> expected) {
    if (path.size() != expected.size())
        return false;
    auto it = path.begin();
    for (const auto& [ns, name] : expected) {
        if (!it->is(ns, QLatin1StringView(name)))
            return false;
        ++it;
    }
    return true;
}

// Walks a document element by element: `start` sees each opened element's
// path, `end` its path and its own text, trimmed. False, with the reason,
// for a document that is malformed, declares a document type, refers to an
// entity or is nested or sized beyond the bounds.
bool walkXml(Bytes message, const std::function<void(const Path&)>& start,
             const std::function<void(const Path&, const QString&)>& end, std::string& problem) {
    QXmlStreamReader reader(QByteArray::fromRawData(reinterpret_cast<const char*>(message.data()),
                                                    static_cast<qsizetype>(message.size())));
    Path path;
    std::vector<QString> texts;
    std::size_t elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            problem = "document type declaration";
            return false;
        case QXmlStreamReader::EntityReference:
            problem = "entity reference";
            return false;
        case QXmlStreamReader::StartElement:
            if (++elements > MaxElements || path.size() >= MaxDepth) {
                problem = "too many or too deeply nested elements";
                return false;
            }
            path.push_back({namespaceOf(reader.namespaceUri()), reader.name().toString()});
            texts.emplace_back();
            start(path);
            break;
        case QXmlStreamReader::Characters:
            if (!texts.empty())
                texts.back() += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            end(path, texts.back().trimmed());
            path.pop_back();
            texts.pop_back();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        problem = "malformed XML: " + reader.errorString().toStdString();
        return false;
    }
    return true;
}

// One header field that must appear exactly once.
struct HeaderField {
    int count = 0;
    QString text;

    void take(const QString& value) {
        ++count;
        text = value;
    }
    bool equals(std::string_view expected) const { return count == 1 && text == latin1(expected); }
};

// The SOAP header fields a reply is checked by.
struct SoapHeader {
    HeaderField action;
    HeaderField related;

    // True when `path` ends at the header's Action or RelatesTo.
    bool take(const Path& path, const QString& text) {
        if (pathIs(path,
                   {{Ns::Soap, "Envelope"}, {Ns::Soap, "Header"}, {Ns::Addressing, "Action"}})) {
            action.take(text);
            return true;
        }
        if (pathIs(path,
                   {{Ns::Soap, "Envelope"}, {Ns::Soap, "Header"}, {Ns::Addressing, "RelatesTo"}})) {
            related.take(text);
            return true;
        }
        return false;
    }
};

std::string xmlEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string envelope(std::string_view to, std::string_view action, std::string_view messageId,
                     std::string_view body) {
    std::string message = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap:Envelope xmlns:soap=\"";
    message += SoapNs;
    message += "\" xmlns:wsa=\"";
    message += AddressingNs;
    message += "\" xmlns:wsd=\"";
    message += DiscoveryNs;
    message += "\" xmlns:wsdp=\"";
    message += DevicesNs;
    message += "\"><soap:Header><wsa:To>";
    message += xmlEscaped(to);
    message += "</wsa:To><wsa:Action>";
    message += action;
    message += "</wsa:Action><wsa:MessageID>";
    message += xmlEscaped(messageId);
    message += "</wsa:MessageID><wsa:ReplyTo><wsa:Address>";
    message += AnonymousRole;
    message += "</wsa:Address></wsa:ReplyTo></soap:Header><soap:Body>";
    message += body;
    message += "</soap:Body></soap:Envelope>";
    return message;
}

// A name or group as the walk can use it: not empty, within its bound, no
// control characters and no path separators.
bool usableName(std::string_view text, std::size_t limit) {
    return !text.empty() && text.size() <= limit &&
           std::none_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7F || c == '\\' || c == '/';
           });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::optional<std::size_t> decimal(std::string_view text, std::size_t limit) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit)
        return std::nullopt;
    return value;
}

// The body of a chunked response: Complete, Incomplete so far, or Failed.
HttpResponse decodeChunked(std::string_view data, bool closed) {
    HttpResponse response;
    std::size_t at = 0;
    for (;;) {
        const std::size_t lineEnd = data.find("\r\n", at);
        if (lineEnd == std::string_view::npos)
            break;
        std::string_view sizeText = data.substr(at, lineEnd - at);
        sizeText = trimmed(sizeText.substr(0, sizeText.find(';')));
        std::size_t size = 0;
        const auto [end, error] =
            std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size, 16);
        if (sizeText.empty() || error != std::errc() || end != sizeText.data() + sizeText.size() ||
            size > MaxResponseBytes) {
            response.state = HttpState::Failed;
            response.problem = "bad chunk size";
            return response;
        }
        at = lineEnd + 2;
        if (size == 0) {
            // Trailer fields, if any, end with an empty line.
            const std::size_t trailerEnd =
                data.substr(at, 2) == "\r\n" ? at : data.find("\r\n\r\n", at);
            if (trailerEnd == std::string_view::npos)
                break;
            response.state = HttpState::Complete;
            return response;
        }
        if (data.size() - at < size + 2)
            break;
        if (data.substr(at + size, 2) != "\r\n") {
            response.state = HttpState::Failed;
            response.problem = "chunk without its line end";
            return response;
        }
        response.body.append(data.substr(at, size));
        at += size + 2;
    }
    response.body.clear();
    if (closed) {
        response.state = HttpState::Failed;
        response.problem = "chunked body cut short";
    }
    return response;
}

} // namespace

std::string probeMessage(std::string_view messageId) {
    return envelope(DiscoveryTo, ProbeAction, messageId,
                    "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>");
}

std::string resolveMessage(std::string_view messageId, std::string_view endpoint) {
    return envelope(DiscoveryTo, ResolveAction, messageId,
                    "<wsd:Resolve><wsa:EndpointReference><wsa:Address>" + xmlEscaped(endpoint) +
                        "</wsa:Address></wsa:EndpointReference></wsd:Resolve>");
}

std::string getMessage(std::string_view messageId, std::string_view endpoint) {
    return envelope(endpoint, GetAction, messageId, {});
}

MatchesReply parseMatches(Bytes message, MatchKind kind, std::string_view relatesTo) {
    const bool probe = kind == MatchKind::Probe;
    const QLatin1StringView listName(probe ? "ProbeMatches" : "ResolveMatches");
    const QLatin1StringView matchName(probe ? "ProbeMatch" : "ResolveMatch");
    MatchesReply reply;
    SoapHeader header;
    bool envelope = false;
    int lists = 0;
    std::size_t matchesSeen = 0;
    struct Pending {
        Match match;
        int endpoints = 0;
        int transportLists = 0;
    };
    std::optional<Pending> pending;
    // Inside the list of matches: Envelope/Body/List, and /Match below it.
    const auto inList = [&](const Path& path) {
        return path.size() >= 3 && path[0].is(Ns::Soap, QLatin1StringView("Envelope")) &&
               path[1].is(Ns::Soap, QLatin1StringView("Body")) &&
               path[2].is(Ns::Discovery, listName);
    };
    const auto inMatch = [&](const Path& path) {
        return path.size() >= 4 && inList(path) && path[3].is(Ns::Discovery, matchName);
    };
    const auto isMatch = [&](const Path& path) { return path.size() == 4 && inMatch(path); };
    const auto start = [&](const Path& path) {
        if (path.size() == 1)
            envelope = path[0].is(Ns::Soap, QLatin1StringView("Envelope"));
        if (path.size() == 3 && inList(path))
            ++lists;
        if (isMatch(path)) {
            pending.reset();
            if (++matchesSeen <= MaxMatchesPerMessage)
                pending.emplace();
        }
    };
    const auto end = [&](const Path& path, const QString& text) {
        header.take(path, text);
        if (!pending || path.size() < 5 || !inMatch(path))
            return;
        if (path.size() == 6 &&
            path[4].is(Ns::Addressing, QLatin1StringView("EndpointReference")) &&
            path[5].is(Ns::Addressing, QLatin1StringView("Address"))) {
            ++pending->endpoints;
            pending->match.endpoint = text.toStdString();
        } else if (path.size() == 5 && path[4].is(Ns::Discovery, QLatin1StringView("XAddrs"))) {
            ++pending->transportLists;
            for (const QString& address :
                 text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (pending->match.transportAddresses.size() < MaxTransportAddresses)
                    pending->match.transportAddresses.push_back(address.toStdString());
            }
        }
    };
    const auto endMatch = [&](const Path& path, const QString& text) {
        end(path, text);
        if (isMatch(path) && pending) {
            if (pending->endpoints == 1 && pending->transportLists <= 1 &&
                !pending->match.endpoint.empty() &&
                pending->match.endpoint.size() <= MaxEndpointBytes)
                reply.matches.push_back(std::move(pending->match));
            pending.reset();
        }
    };
    std::string problem;
    if (!walkXml(message, start, endMatch, problem))
        reply.problem = problem;
    else if (!envelope)
        reply.problem = "not a SOAP 1.2 envelope";
    else if (!header.action.equals(probe ? ProbeMatchesAction : ResolveMatchesAction))
        reply.problem =
            "not a single " + std::string(probe ? "ProbeMatches" : "ResolveMatches") + " action";
    else if (header.related.count != 1 ||
             header.related.text !=
                 QString::fromUtf8(relatesTo.data(), static_cast<qsizetype>(relatesTo.size())))
        reply.problem = "does not relate to our message";
    else if (lists != 1)
        reply.problem = "not a single list of matches";
    if (!reply.problem.empty())
        reply.matches.clear();
    return reply;
}

std::optional<HttpUrl> parseHttpUrl(std::string_view url) {
    constexpr std::string_view scheme = "http://";
    if (!startsWithIgnoringCase(url, scheme))
        return std::nullopt;
    url.remove_prefix(scheme.size());
    const std::size_t slash = url.find('/');
    const std::string_view authority = url.substr(0, slash);
    HttpUrl parsed;
    parsed.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    if (std::any_of(parsed.path.begin(), parsed.path.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte <= 0x20 || byte >= 0x7F || c == '#';
        }))
        return std::nullopt;
    const std::size_t colon = authority.find(':');
    const std::string host(authority.substr(0, colon));
    in_addr address{};
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    parsed.address = address.s_addr;
    if (colon != std::string_view::npos) {
        const auto port = decimal(authority.substr(colon + 1), 65535);
        if (!port || *port == 0)
            return std::nullopt;
        parsed.port = static_cast<std::uint16_t>(*port);
    }
    return parsed;
}

std::string httpPost(const HttpUrl& url, std::string_view body) {
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &url.address, host, sizeof host);
    std::string request =
        "POST " + url.path + " HTTP/1.1\r\nHost: " + host + ':' + std::to_string(url.port) +
        "\r\nContent-Type: application/soap+xml\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n";
    request += body;
    return request;
}

HttpResponse parseHttpResponse(Bytes received, bool closed) {
    HttpResponse response;
    const auto fail = [&](std::string problem) {
        response.state = HttpState::Failed;
        response.problem = std::move(problem);
        response.body.clear();
        return response;
    };
    if (received.size() > MaxResponseBytes)
        return fail("response too large");
    const std::string_view data(reinterpret_cast<const char*>(received.data()), received.size());
    const std::size_t headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string_view::npos || headEnd > MaxResponseHeadBytes) {
        if (data.size() > MaxResponseHeadBytes)
            return fail("response head too long");
        return closed ? fail("response head cut short") : response;
    }
    const std::string_view head = data.substr(0, headEnd + 2);
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, lineEnd);
    if (!startsWithIgnoringCase(statusLine, "HTTP/1.") || statusLine.size() < 12 ||
        statusLine[8] != ' ')
        return fail("not an HTTP response");
    const auto status = decimal(statusLine.substr(9, 3), 999);
    if (!status || (statusLine.size() > 12 && statusLine[12] != ' '))
        return fail("not an HTTP response");
    if (*status != 200)
        return fail("HTTP status " + std::to_string(*status) +
                    (*status / 100 == 3 ? " (redirect not followed)" : ""));
    std::optional<std::size_t> contentLength;
    bool chunked = false;
    for (std::size_t at = lineEnd + 2; at < head.size(); at = lineEnd + 2) {
        lineEnd = head.find("\r\n", at);
        const std::string_view line = head.substr(at, lineEnd - at);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return fail("malformed header field");
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (name.size() == 14 && startsWithIgnoringCase(name, "Content-Length")) {
            const auto length = decimal(value, MaxResponseBytes);
            if (!length)
                return fail("bad or too large content length");
            if (contentLength && *contentLength != *length)
                return fail("conflicting content lengths");
            contentLength = length;
        } else if (name.size() == 17 && startsWithIgnoringCase(name, "Transfer-Encoding")) {
            if (value.size() != 7 || !startsWithIgnoringCase(value, "chunked"))
                return fail("unsupported transfer encoding");
            chunked = true;
        }
    }
    const std::string_view body = data.substr(headEnd + 4);
    if (chunked) {
        response = decodeChunked(body, closed);
        return response;
    }
    if (contentLength) {
        if (body.size() >= *contentLength) {
            response.state = HttpState::Complete;
            response.body.assign(body.substr(0, *contentLength));
            return response;
        }
        return closed ? fail("body cut short") : response;
    }
    if (closed) {
        response.state = HttpState::Complete;
        response.body.assign(body);
    }
    return response;
}

std::optional<Computer> parseComputer(std::string_view text) {
    text = trimmed(text);
    const std::size_t separator = text.find_first_of("/\\");
    if (separator == std::string_view::npos)
        return std::nullopt;
    Computer computer;
    computer.name = std::string(trimmed(text.substr(0, separator)));
    const std::string_view membership = trimmed(text.substr(separator + 1));
    constexpr std::string_view workgroup = "Workgroup:";
    constexpr std::string_view domain = "Domain:";
    if (startsWithIgnoringCase(membership, workgroup))
        computer.group = std::string(trimmed(membership.substr(workgroup.size())));
    else if (startsWithIgnoringCase(membership, domain))
        computer.group = std::string(trimmed(membership.substr(domain.size())));
    else if (membership.size() == 9 && startsWithIgnoringCase(membership, "NotJoined"))
        computer.group = NotJoinedGroup;
    else
        return std::nullopt;
    if (!usableName(computer.name, MaxComputerNameBytes) ||
        !usableName(computer.group, MaxGroupBytes))
        return std::nullopt;
    return computer;
}

MetadataReply parseMetadata(Bytes message, std::string_view relatesTo) {
    MetadataReply reply;
    SoapHeader header;
    bool envelope = false;
    std::vector<QString> computers;
    const auto start = [&](const Path& path) {
        if (path.size() == 1)
            envelope = path[0].is(Ns::Soap, QLatin1StringView("Envelope"));
    };
    const auto end = [&](const Path& path, const QString& text) {
        if (!header.take(path, text) &&
            pathIs(path, {{Ns::Soap, "Envelope"},
                          {Ns::Soap, "Body"},
                          {Ns::Mex, "Metadata"},
                          {Ns::Mex, "MetadataSection"},
                          {Ns::Devices, "Relationship"},
                          {Ns::Devices, "Host"},
                          {Ns::Pub, "Computer"}}) &&
            computers.size() < 2)
            computers.push_back(text);
    };
    std::string problem;
    if (!walkXml(message, start, end, problem))
        reply.problem = problem;
    else if (!envelope)
        reply.problem = "not a SOAP 1.2 envelope";
    else if (!header.action.equals(GetResponseAction))
        reply.problem = "not a single GetResponse action";
    else if (header.related.count > 1 ||
             (header.related.count == 1 &&
              header.related.text !=
                  QString::fromUtf8(relatesTo.data(), static_cast<qsizetype>(relatesTo.size()))))
        reply.problem = "does not relate to our Get";
    else if (computers.empty())
        reply.problem = "not a computer (no pub:Computer in its host section)";
    else if (computers.size() > 1)
        reply.problem = "more than one pub:Computer";
    else if (!(reply.computer = parseComputer(computers.front().toStdString())))
        reply.problem = "unusable pub:Computer \"" + computers.front().left(80).toStdString() + '"';
    return reply;
}

} // namespace norvane::wsd
