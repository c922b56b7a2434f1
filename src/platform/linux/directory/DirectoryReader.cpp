#include "DirectoryReader.h"

#include "../Logging.h"
#include "CancellableWait.h"
#include "DirectoryEntry.h"
#include "DirectoryLimits.h"
#include "DnsQuestion.h"
#include "KerberosTicket.h"
#include "LdapConnection.h"
#include "network/DomainName.h"

#include <arpa/nameser.h>
#include <ldap.h>

namespace norvane::directory {

namespace {

using Outcome = DirectoryRead::Outcome;

const std::vector<const char*> ComputerAttributes{
    "name",
    "sAMAccountName",
    "description",
    "dNSHostName",
    "operatingSystem",
    "operatingSystemVersion",
    "userAccountControl",
    "lastLogonTimestamp",
    "objectGUID",
};

DirectoryEntry entryOf(Attributes& attributes) {
    const auto take = [&attributes](const char* name) {
        const auto found = attributes.find(QByteArray(name));
        return found == attributes.end() ? QByteArray() : std::move(found->second);
    };
    return DirectoryEntry{
        .distinguishedName = take("dn"),
        .name = take("name"),
        .samAccountName = take("samaccountname"),
        .description = take("description"),
        .dnsHostName = take("dnshostname"),
        .operatingSystem = take("operatingsystem"),
        .operatingSystemVersion = take("operatingsystemversion"),
        .userAccountControl = take("useraccountcontrol"),
        .lastLogonTimestamp = take("lastlogontimestamp"),
        .objectGuid = take("objectguid"),
    };
}

// The filter value `value` with LDAP's special characters escaped.
QByteArray escapedFilterValue(const QByteArray& value) {
    berval in{.bv_len = ber_len_t(value.size()), .bv_val = const_cast<char*>(value.constData())};
    berval out{.bv_len = 0, .bv_val = nullptr};
    if (ldap_bv2escaped_filter_value(&in, &out) != 0)
        return {};
    QByteArray escaped(out.bv_val, qsizetype(out.bv_len));
    ber_memfree(out.bv_val);
    return escaped;
}

// Reads one controller; fills `result` and says whether it is done (read,
// or cancelled) rather than worth trying the next controller.
class ControllerRead {
public:
    ControllerRead(const CancellableWait& wait, DirectoryRead& result)
        : m_connection(wait), m_result(result) {}

    bool run(const SrvTarget& target, std::uint32_t address) {
        if (!m_connection.connectTo(target.host, address, target.port) || !m_connection.bind())
            return stop();
        qCDebug(lcDirectory) << "bound to" << target.host << "with a security layer of"
                             << m_connection.securityStrength() << "bits";
        const std::optional<Attributes> root =
            m_connection.readOne("", LDAP_SCOPE_BASE, "(objectClass=*)",
                                 {"defaultNamingContext", "configurationNamingContext"});
        if (!root)
            return stop();
        const QByteArray base = valueOf(*root, "defaultnamingcontext");
        if (base.isEmpty()) {
            m_result.reason = QStringLiteral("the controller names no default naming context");
            return false;
        }
        m_result.group = netBiosName(base, valueOf(*root, "configurationnamingcontext"));
        if (m_connection.cancelled())
            return stop();
        const DirectoryEntryMapper mapper(m_result.group, std::chrono::system_clock::now());
        const bool complete =
            m_connection.readPaged(base, "(objectClass=computer)", ComputerAttributes, MaxComputers,
                                   [this, &mapper](Attributes&& attributes) {
                                       const DirectoryEntry entry = entryOf(attributes);
                                       MappedEntry mapped = mapper.map(entry);
                                       if (!mapped.note.isEmpty())
                                           qCDebug(lcDirectory)
                                               << entry.distinguishedName << mapped.note;
                                       if (mapped.record)
                                           m_result.computers.push_back(std::move(*mapped.record));
                                       else
                                           ++m_result.leftOut;
                                   });
        if (!complete)
            return stop();
        readZone(base, target.host);
        if (m_connection.cancelled())
            return stop();
        m_result.outcome = Outcome::Read;
        m_result.controller = target.host;
        return true;
    }

private:
    // The domain's zone in the domain's DNS partition, where the domain's
    // DNS servers keep it; a directory without it leaves the names to DNS.
    // So does a zone read only in part: cut at its bound, or without the
    // record of the controller it was read from (a zone the user may not
    // list reads as empty).
    void readZone(const QByteArray& base, const QString& controller) {
        DirectoryZone zone(m_result.domain);
        std::size_t nodes = 0;
        const QByteArray zoneBase =
            "DC=" + m_result.domain.toLatin1() + ",CN=MicrosoftDNS,DC=DomainDnsZones," + base;
        const bool complete = m_connection.readPaged(
            zoneBase, "(objectClass=dnsNode)", {"name", "dnsRecord"}, MaxZoneNodes,
            [&zone, &nodes](Attributes&& attributes) {
                ++nodes;
                std::optional<std::uint32_t> address;
                for (int i = 0; i < MaxValuesPerAttribute && !address; ++i) {
                    const auto record = attributes.find(
                        i == 0 ? QByteArray("dnsrecord") : "dnsrecord#" + QByteArray::number(i));
                    if (record == attributes.end())
                        break;
                    address = addressOfDnsRecord(record->second);
                }
                zone.addNode(valueOf(attributes, "name"), address);
            });
        if (!complete) {
            qCDebug(lcDirectory) << "the zone" << m_result.domain
                                 << "is not read from the directory:" << m_connection.error();
            return;
        }
        if (nodes >= MaxZoneNodes || !zone.addressOf(controller)) {
            qCDebug(lcDirectory) << "the zone" << m_result.domain << "read from the directory"
                                 << (nodes >= MaxZoneNodes ? "is cut short"
                                                           : "lacks the controller's record")
                                 << ": names are left to DNS";
            return;
        }
        qCDebug(lcDirectory) << "the zone" << m_result.domain << "holds" << zone.size()
                             << "addresses";
        m_result.zone = std::move(zone);
    }

    static QByteArray valueOf(const Attributes& attributes, const char* name) {
        const auto found = attributes.find(QByteArray(name));
        return found == attributes.end() ? QByteArray() : found->second;
    }

    // The domain's NetBIOS name from its cross-reference in the partitions
    // container; where that cannot be read, the first label of the domain.
    QString netBiosName(const QByteArray& base, const QByteArray& configuration) {
        if (!configuration.isEmpty()) {
            const std::optional<Attributes> crossRef = m_connection.readOne(
                "CN=Partitions," + configuration, LDAP_SCOPE_ONELEVEL,
                "(&(objectClass=crossRef)(nCName=" + escapedFilterValue(base) + "))",
                {"nETBIOSName"});
            if (crossRef) {
                const QString name = QString::fromUtf8(valueOf(*crossRef, "netbiosname"));
                if (isValidNetBiosName(name))
                    return name.toUpper();
                qCDebug(lcDirectory)
                    << "no usable NetBIOS name in the partitions container:" << name;
            }
        }
        return m_result.domain.section(QLatin1Char('.'), 0, 0).left(NetBiosNameLength).toUpper();
    }

    bool stop() {
        m_result.reason = m_connection.error();
        if (m_connection.cancelled()) {
            m_result.outcome = Outcome::Cancelled;
            return true;
        }
        return false;
    }

    LdapConnection m_connection;
    DirectoryRead& m_result;
};

} // namespace

bool isDomainName(const QString& domain) {
    return norvane::isDomainName(domain);
}

DirectoryRead DirectoryReader::read(const QString& requested) const {
    DirectoryRead result;
    QString why;
    const std::optional<KerberosTicket> ticket = liveTicket(&why);
    if (!ticket) {
        result.outcome = Outcome::NoTicket;
        result.reason = why;
        qCDebug(lcDirectory) << "directory not read:" << why;
        return result;
    }
    result.domain = (requested.isEmpty() ? ticket->realm : requested).toLower();
    if (!isDomainName(result.domain)) {
        result.outcome = Outcome::NoDomain;
        result.reason = QStringLiteral("not a DNS domain name: %1").arg(result.domain.left(100));
        qCDebug(lcDirectory) << "directory not read:" << result.reason;
        return result;
    }

    const CancellableWait wait(m_cancelFd);
    DnsQuestion dns(wait);
    const std::optional<DnsAnswer> controllers =
        dns.ask("_ldap._tcp.dc._msdcs." + result.domain.toLatin1(), ns_t_srv);
    if (dns.cancelled()) {
        result.outcome = Outcome::Cancelled;
        return result;
    }
    if (!controllers || controllers->targets.empty()) {
        result.outcome = Outcome::NoController;
        result.reason = QStringLiteral("DNS names no domain controller of %1").arg(result.domain);
        qCDebug(lcDirectory) << "directory not read:" << result.reason;
        return result;
    }

    result.reason = QStringLiteral("no controller could be read");
    int tried = 0;
    for (const SrvTarget& target : controllers->targets) {
        if (tried == MaxControllers)
            break;
        std::optional<std::uint32_t> address = addressOf(*controllers, target.host);
        if (!address) {
            const std::optional<DnsAnswer> found = dns.ask(target.host.toLatin1(), ns_t_a);
            if (dns.cancelled()) {
                result.outcome = Outcome::Cancelled;
                return result;
            }
            if (found)
                address = addressOf(*found, target.host);
        }
        if (!address) {
            qCDebug(lcDirectory) << "controller" << target.host << "has no address";
            continue;
        }
        ++tried;
        result.computers.clear();
        result.leftOut = 0;
        ControllerRead controller(wait, result);
        if (controller.run(target, *address))
            break;
        qCDebug(lcDirectory) << "controller" << target.host << "not read:" << result.reason;
    }
    if (result.outcome == Outcome::Read) {
        result.reason.clear();
        qCDebug(lcDirectory) << "read" << result.computers.size() << "computers of" << result.domain
                             << "(" << result.group << ") from" << result.controller << ";"
                             << result.leftOut << "left out";
    } else if (result.outcome == Outcome::Cancelled) {
        result.computers.clear();
    } else {
        result.computers.clear();
        qCDebug(lcDirectory) << "directory not read:" << result.reason;
    }
    return result;
}

} // namespace norvane::directory
