#include "DnsAnswer.h"

#include "DirectoryLimits.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstring>

namespace norvane::directory {

namespace {

QString hostText(const char* name) {
    QString host = QString::fromLatin1(name).toLower();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host;
}

// The SRV record's target; nothing when its data is malformed.
std::optional<SrvTarget> srvTarget(const ns_msg& message, const ns_rr& record) {
    const unsigned char* data = ns_rr_rdata(record);
    const int length = ns_rr_rdlen(record);
    if (length < 7)
        return std::nullopt;
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0)
        return std::nullopt;
    return SrvTarget{
        .host = hostText(target),
        .port = std::uint16_t(ns_get16(data + 4)),
        .priority = std::uint16_t(ns_get16(data)),
        .weight = std::uint16_t(ns_get16(data + 2)),
    };
}

} // namespace

std::optional<DnsAnswer> parseDnsAnswer(const QByteArray& bytes, std::uint16_t id) {
    if (bytes.size() < NS_HFIXEDSZ || std::size_t(bytes.size()) > MaxDnsAnswer)
        return std::nullopt;
    ns_msg message;
    if (ns_initparse(reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()),
                     &message) < 0)
        return std::nullopt;
    if (ns_msg_id(message) != id || ns_msg_getflag(message, ns_f_qr) == 0)
        return std::nullopt;
    DnsAnswer answer;
    // A name that does not exist, or a server that refuses, is an answer too:
    // one with no records.
    if (ns_msg_getflag(message, ns_f_rcode) != ns_r_noerror)
        return answer;
    for (const ns_sect section : {ns_s_an, ns_s_ar}) {
        const int count = ns_msg_count(message, section);
        for (int i = 0; i < count; ++i) {
            ns_rr record;
            if (ns_parserr(&message, section, i, &record) < 0)
                return std::nullopt;
            if (ns_rr_class(record) != ns_c_in)
                continue;
            if (ns_rr_type(record) == ns_t_srv && section == ns_s_an &&
                answer.targets.size() < std::size_t(MaxSrvTargets)) {
                if (std::optional<SrvTarget> target = srvTarget(message, record))
                    answer.targets.push_back(std::move(*target));
            } else if (ns_rr_type(record) == ns_t_a && ns_rr_rdlen(record) == 4 &&
                       answer.addresses.size() < std::size_t(MaxSrvTargets)) {
                std::uint32_t address = 0;
                std::memcpy(&address, ns_rr_rdata(record), sizeof address);
                answer.addresses.push_back(
                    {.host = hostText(ns_rr_name(record)), .address = address});
            }
        }
    }
    // Lower priority first; among equals the heavier first, as the weight
    // asks for more of the load.
    std::stable_sort(
        answer.targets.begin(), answer.targets.end(), [](const SrvTarget& a, const SrvTarget& b) {
            return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
        });
    return answer;
}

std::optional<std::uint32_t> addressOf(const DnsAnswer& answer, const QString& host) {
    for (const HostAddress& known : answer.addresses) {
        if (known.host == host)
            return known.address;
    }
    return std::nullopt;
}

} // namespace norvane::directory
