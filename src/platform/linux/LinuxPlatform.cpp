#include "LinuxPlatform.h"

#include "Adapters.h"
#include "Logging.h"
#include "ServerProbe.h"
#include "directory/DirectorySource.h"
#include "discovery/DiscoveryMerge.h"
#include "discovery/DiscoveryRound.h"
#include "discovery/IdentityPrefetch.h"
#include "dnssd/DnsSdSource.h"
#include "network/DomainName.h"
#include "platform/EnumBatch.h"
#include "sweep/AddressRangeSource.h"
#include "wsd/WsdSource.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace norvane {

namespace {
constexpr std::uint16_t WinsockVersion11 = 0x0101;
constexpr int WsaVersionNotSupported = 10092;
constexpr std::size_t MaxLanas = 254;

// Makes room for one more entry in a map of timed entries (each with its
// time `at`) kept at most ResolvedNamesKept long: expired entries go first,
// everything when none has expired.
template <typename TimedEntries>
void makeRoom(TimedEntries& entries, std::chrono::steady_clock::time_point now,
              std::chrono::steady_clock::duration lifetime) {
    if (entries.size() < ResolvedNamesKept)
        return;
    std::erase_if(entries, [&](const auto& entry) { return now - entry.second.at >= lifetime; });
    if (entries.size() >= ResolvedNamesKept)
        entries.clear();
}
constexpr std::size_t NeighbourTableLimit = 1 << 20;

std::string readSmallFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text(NeighbourTableLimit, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

// The host name in a call name: up to 15 bytes, up to a zero byte, without
// the padding spaces.
std::string hostFromCallName(const std::uint8_t* callname) {
    std::size_t length = 0;
    while (length < NcbNameSize - 1 && callname[length] != 0)
        ++length;
    while (length > 0 && callname[length - 1] == ' ')
        --length;
    return std::string(reinterpret_cast<const char*>(callname), length);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The sources that run beside the browse list, one line each; the
// discovery framework itself knows none of them.
DiscoverySources standardDiscoverySources() {
    DiscoverySources sources;
    sources.push_back(std::make_unique<WsdSource>());
    sources.push_back(std::make_unique<DnsSdSource>());
    sources.push_back(std::make_unique<DirectorySource>());
    sources.push_back(std::make_unique<AddressRangeSource>());
    return sources;
}

// A listing that shows the server took the connection: it listed, or it
// refused only the log-on or the listing.
bool listingStands(const SmbListing& listing) {
    return listing.error == 0 || listing.error == EACCES || listing.error == EPERM;
}

bool anyInGroup(const std::vector<DiscoveredHost>& hosts, const std::string& group) {
    return std::any_of(hosts.begin(), hosts.end(), [&](const DiscoveredHost& host) {
        return sameNameIgnoringCase(host.group, group);
    });
}
} // namespace

LinuxPlatform::LinuxPlatform(LinuxPlatformSettings settings,
                             std::shared_ptr<SmbDirectory> directory)
    : LinuxPlatform(std::move(settings), std::move(directory), standardDiscoverySources()) {}

LinuxPlatform::LinuxPlatform(LinuxPlatformSettings settings,
                             std::shared_ptr<SmbDirectory> directory, DiscoverySources sources)
    : m_settings(std::move(settings)), m_directory(std::move(directory)),
      m_discovery(std::make_unique<DiscoveryRound>(std::move(sources))),
      m_prefetch(std::make_unique<IdentityPrefetch>()) {
    if (!m_directory) {
        m_directory = std::make_shared<LibSmbDirectory>(
            SmbSettings{m_settings.smbConfigFile, m_settings.smbTimeoutMs}, &m_abandonment);
        m_checkServers = true;
        const std::string lister =
            m_settings.shareLister.empty() ? SpawnedLister::findProgram() : m_settings.shareLister;
        if (!lister.empty())
            m_lister = std::make_unique<SpawnedLister>(
                lister, SmbSettings{m_settings.smbConfigFile, m_settings.smbTimeoutMs});
    }
}

LinuxPlatform::~LinuxPlatform() {
    m_discovery->cancel();
}

DWORD LinuxPlatform::getProviderName(DWORD netType, char* buffer, DWORD* bufferSize) {
    DWORD result = win::NoError;
    const std::size_t need = std::strlen(LanManProviderName) + 1;
    if (buffer == nullptr || bufferSize == nullptr)
        result = win::InvalidParameter;
    else if (netType != WNNC_NET_LANMAN)
        result = win::BadProvider;
    else if (*bufferSize < need) {
        *bufferSize = static_cast<DWORD>(need);
        result = win::MoreData;
    } else if (!m_directory->available())
        result = win::NoNetwork;
    else
        std::memcpy(buffer, LanManProviderName, need);
    if (result != win::NoError)
        setLastError(result);
    return result;
}

DWORD LinuxPlatform::openEnum(DWORD scope, DWORD type, DWORD usage, const NetResource* container,
                              EnumHandle* handle) {
    // The container record alone tells what is listed; the usage adds nothing.
    (void)usage;
    DWORD result = win::NoError;
    std::optional<BrowseTarget> target;
    if (handle == nullptr || scope != RESOURCE_GLOBALNET || type > RESOURCETYPE_PRINT)
        result = win::InvalidParameter;
    else if (container == nullptr)
        target = BrowseTarget{};
    else if (!(target = browseTargetOf(*container)))
        result = container->remoteName ? win::NotContainer : win::BadProvider;
    if (result != win::NoError) {
        setLastError(result);
        return result;
    }
    if (target->level == BrowseLevel::Provider) {
        SourceOptions options;
        {
            const std::lock_guard lock(m_enumMutex);
            options = m_sourceOptions;
        }
        m_discovery->start(listAdapters(), options);
        m_prefetch->start(
            [this] { return m_discovery->hosts(); },
            [this](const std::string& name, bool brief) {
                return queryNameOnAdapters(name, brief);
            },
            [this](std::uint32_t address) {
                return queryNodeStatus(address, nodeStatusExchange());
            },
            [this](std::uint32_t address) { return m_discovery->askedNodeStatus(address); });
    }
    const std::lock_guard lock(m_enumMutex);
    const EnumHandle id = m_nextEnum++;
    m_enumerations[id] = Enumeration{*target, type, false, {}, 0};
    *handle = id;
    return win::NoError;
}

DWORD LinuxPlatform::enumResource(EnumHandle handle, DWORD* count, std::vector<NetResource>* batch,
                                  DWORD* bufferSize) {
    std::optional<Enumeration> pending;
    {
        const std::lock_guard lock(m_enumMutex);
        const auto it = m_enumerations.find(handle);
        if (it == m_enumerations.end()) {
            setLastError(win::InvalidHandle);
            return win::InvalidHandle;
        }
        if (!it->second.listed)
            pending = it->second;
    }
    // The listing runs without the lock: it may take the network's time.
    if (pending) {
        const SmbListing listing = listWithDiscovery(pending->target);
        if (listing.error != 0) {
            const DWORD result = windowsErrorFromErrno(listing.error, pending->target.level);
            setLastError(result);
            return result;
        }
        pending->records = browseRecords(pending->target, pending->type, listing.entries);
        pending->listed = true;
    }
    const std::lock_guard lock(m_enumMutex);
    const auto it = m_enumerations.find(handle);
    if (it == m_enumerations.end()) {
        setLastError(win::InvalidHandle);
        return win::InvalidHandle;
    }
    if (pending)
        it->second = std::move(*pending);
    const DWORD result = takeBatch(it->second.records, it->second.cursor, count, batch, bufferSize);
    if (result != win::NoError)
        setLastError(result);
    return result;
}

SmbListing LinuxPlatform::listWithDiscovery(const BrowseTarget& target) {
    const std::string url = browseUrl(target);
    switch (target.level) {
    case BrowseLevel::Provider: {
        SmbListing listing = m_directory->list(url, target.level);
        const std::vector<DiscoveredHost> found = m_discovery->hosts();
        std::set<std::string> browsed;
        for (const SmbEntry& entry : listing.entries)
            browsed.insert(upper(entry.name));
        {
            const std::lock_guard lock(m_enumMutex);
            m_browsedGroups = std::move(browsed);
            m_browsedServers.clear();
        }
        if (listing.error != 0 && found.empty())
            return listing;
        listing.error = 0;
        listing.entries = mergeWorkgroups(std::move(listing.entries), found);
        // An empty list, from a browse service that answered with nothing,
        // is no browse servers found, not an empty network.
        if (std::none_of(listing.entries.begin(), listing.entries.end(),
                         [](const SmbEntry& entry) { return entry.type == SmbWorkgroup; }))
            listing.error = ENOENT;
        return listing;
    }
    case BrowseLevel::Workgroup: {
        const std::vector<DiscoveredHost> found = m_discovery->hosts();
        const bool discovered = anyInGroup(found, target.name);
        bool browsed = true;
        {
            const std::lock_guard lock(m_enumMutex);
            browsed = !m_browsedGroups || m_browsedGroups->count(upper(target.name)) != 0;
        }
        // A group only discovery knows has no browse master to ask; asking
        // would cost the scan the browse service's time-outs.
        SmbListing listing;
        if (browsed || !discovered)
            listing = m_directory->list(url, target.level);
        if (listing.error != 0 && !discovered)
            return listing;
        listing.error = 0;
        {
            const std::lock_guard lock(m_enumMutex);
            for (const SmbEntry& entry : listing.entries) {
                if (entry.type == SmbServer)
                    m_browsedServers.insert(upper(entry.name));
            }
        }
        std::vector<DiscoveredHost> claimed;
        for (const DiscoveredHost& host : found) {
            if (sameNameIgnoringCase(host.group, target.name) && claimHolds(host))
                claimed.push_back(host);
        }
        listing.entries = mergeServers(std::move(listing.entries), target.name, claimed);
        return listing;
    }
    case BrowseLevel::Server:
        break;
    }
    if (!m_checkServers) {
        // A computer only discovery knows is listed at the address it
        // answered from, a directory's by its DNS name (see serverLocation).
        if (const auto answered = discoveredAddress(target.name))
            return m_directory->list("smb://" + inetNtoa(*answered), target.level);
        if (const auto named = namedHost(target.name);
            named && isDomainName(QString::fromStdString(named->dnsName)))
            return m_directory->list("smb://" + named->dnsName, target.level);
        return m_directory->list(url, target.level);
    }
    CheckedServer checked = takeCheckedServer(target.name);
    if (checked.refused != 0) {
        qCDebug(lcBrowse) << target.name.c_str() << "takes no SMB connection:" << checked.refused;
        return SmbListing{checked.refused, {}};
    }
    // A listing ahead stands when it listed or was refused with the log-on
    // in force now; one that failed otherwise (a time-out, a reset) is
    // tried again here, as the walk would have tried it.
    if (checked.listing && listingStands(*checked.listing) && checked.listedAs == logOnInForce())
        return std::move(*checked.listing);
    return m_directory->listServer(serverLocation(target.name, checked));
}

ServerLocation LinuxPlatform::serverLocation(const std::string& name,
                                             const CheckedServer& checked) {
    // A computer only discovery knows is listed at the address it answered
    // from and nowhere else: its name is only what the answer claimed, and
    // the SMB library would resolve it anew.
    if (const auto answered = discoveredAddress(name)) {
        const std::string address = "smb://" + inetNtoa(*answered);
        qCDebug(lcBrowse) << "listing" << name.c_str() << "through" << address.c_str();
        // The check's port only where it connected to that same address.
        const std::uint16_t port = *answered == checked.resolved.address ? checked.port : 0;
        return ServerLocation{.url = address, .kerberosUrl = address, .port = port};
    }
    // Any other at the address its check connected to: by name, the SMB
    // library would first ask the network whether the name is a
    // workgroup's (a broadcast time-out for each of two name types), then
    // resolve it anew. A Kerberos log-on needs a name: the DNS one where DNS
    // knows the server, which the library does not broadcast for.
    const std::string& dnsName = checked.resolved.dnsName;
    return ServerLocation{.url = "smb://" + inetNtoa(checked.resolved.address),
                          .kerberosUrl =
                              browseUrl({BrowseLevel::Server, dnsName.empty() ? name : dnsName}),
                          .port = checked.port};
}

std::optional<SmbListing> LinuxPlatform::listInProcess(const ListingRequest& request,
                                                       const ListingWatch* watch) {
    if (!m_listingSlots.acquire([this] { return m_abandonment.isSet(); }))
        return std::nullopt;
    std::optional<SmbListing> listing = m_lister->list(request, m_abandonment.fd(), watch);
    m_listingSlots.release();
    return listing;
}

void LinuxPlatform::prepareListingsAhead(std::size_t count) {
    // A listing process's start is mostly the SMB library's, which takes
    // far longer than the listing itself. Those above the floor start when
    // a slot is theirs, which may be never.
    if (m_lister)
        m_lister->prepare(std::min(count, ListerProcessFloor));
}

DWORD LinuxPlatform::listAhead(const NetResource& computer, const LogOnAhead& logOnAhead) {
    const auto target = browseTargetOf(computer);
    if (!m_lister || !target || target->level != BrowseLevel::Server) {
        prepareListing(computer);
        return win::NoError;
    }
    const std::string& name = target->name;
    std::optional<CheckedServer> checked = settledCheck(name);
    std::optional<Resolved> resolved;
    if (!checked) {
        resolved = resolve(name);
        if (m_abandonment.isSet())
            return win::NoError;
        if (!resolved) {
            CheckedServer unresolved;
            unresolved.refused = ENOENT;
            keepChecked(name, std::move(unresolved));
            return win::NoError;
        }
    }
    std::optional<std::optional<Credentials>> logOn = logOnAhead();
    if (!logOn && !checked) {
        // Listed in walk order unless the log-on is known once the server
        // is checked; the check runs here, side by side with the others.
        prepareListing(computer);
        checked = settledCheck(name);
        logOn = logOnAhead();
    }
    if (!logOn || (checked && checked->refused != 0))
        return win::NoError;
    qCDebug(lcBrowse) << "listing" << name.c_str() << "ahead";
    if (checked) {
        checked->listing = listInProcess(
            ListingRequest{.location = serverLocation(name, *checked), .logOn = *logOn});
        checked->listedAs = *logOn;
        if (!checked->listing)
            return win::NoError;
    } else {
        checked = listUnchecked(name, *resolved, *logOn);
        if (!checked)
            return win::NoError;
    }
    DWORD result = win::NoError;
    if (checked->listing && checked->listing->error != 0)
        result = windowsErrorFromErrno(checked->listing->error, target->level);
    qCDebug(lcBrowse) << "listed" << name.c_str() << "ahead:"
                      << (checked->refused != 0          ? std::strerror(checked->refused)
                          : !checked->listing            ? "no listing process answered"
                          : checked->listing->error != 0 ? std::strerror(checked->listing->error)
                                                         : "listed");
    keepChecked(name, std::move(*checked));
    return result;
}

std::optional<LinuxPlatform::CheckedServer> LinuxPlatform::settledCheck(const std::string& name) {
    const std::lock_guard lock(m_checkedMutex);
    const auto found = m_checkedServers.find(name);
    if (found == m_checkedServers.end() || !found->second.settled || found->second.listing)
        return std::nullopt;
    return found->second;
}

std::optional<LinuxPlatform::CheckedServer>
LinuxPlatform::listUnchecked(const std::string& name, const Resolved& resolved,
                             const std::optional<Credentials>& logOn) {
    const std::vector<std::uint16_t>& ports = m_settings.smbPorts;
    CheckedServer checked{.refused = 0,
                          .resolved = resolved,
                          .port = ports.empty() ? std::uint16_t(0) : ports.front(),
                          .listing = std::nullopt,
                          .listedAs = logOn,
                          .at = {},
                          .settled = false};
    // One listing per port at most: the next port follows a refusal, or
    // the port a late check found accepting.
    for (std::size_t attempt = 0; attempt < std::max<std::size_t>(ports.size(), 1); ++attempt) {
        std::optional<ProbeAnswer> late;
        const ListingWatch watch{m_settings.lateServerCheckDelay, [&] {
                                     // A slow server that took the listing's
                                     // connection gets no second one.
                                     if (connectionEstablished(resolved.address, checked.port))
                                         return true;
                                     late = probeSmbServer(resolved.address,
                                                           m_settings.smbPortConnectTimeout,
                                                           m_abandonment.fd(), ports);
                                     return late->error == 0 && late->port == checked.port;
                                 }};
        checked.listing = listInProcess(ListingRequest{serverLocation(name, checked), logOn},
                                        checked.settled ? nullptr : &watch);
        if (late) {
            if (late->error == ECANCELED)
                return std::nullopt;
            checked.settled = true;
            checked.refused = late->error;
            if (late->error != 0)
                return checked;
            if (late->port != checked.port) {
                qCDebug(lcBrowse) << name.c_str() << "answers on port" << late->port;
                checked.port = late->port;
                continue;
            }
        }
        if (m_abandonment.isSet())
            return std::nullopt;
        if (!checked.listing)
            return checked;
        const int error = checked.listing->error;
        if (error == ECONNREFUSED && !checked.settled) {
            const auto next = std::find(ports.begin(), ports.end(), checked.port);
            if (next != ports.end() && next + 1 != ports.end()) {
                checked.port = *(next + 1);
                continue;
            }
            // Every port refused: what a check would have found.
            checked.settled = true;
            checked.refused = ECONNREFUSED;
            checked.listing = std::nullopt;
            return checked;
        }
        // The server took the connection where it listed, or refused only
        // the log-on or the listing; a late check may have settled it too.
        checked.settled = checked.settled || listingStands(*checked.listing);
        return checked;
    }
    return checked;
}

void LinuxPlatform::keepChecked(const std::string& name, CheckedServer checked) {
    checked.at = std::chrono::steady_clock::now();
    const std::lock_guard lock(m_checkedMutex);
    makeRoom(m_checkedServers, checked.at, CheckedServerLifetime);
    m_checkedServers[name] = std::move(checked);
}

std::optional<Credentials> LinuxPlatform::logOnInForce() {
    const std::lock_guard lock(m_checkedMutex);
    return m_logOnInForce;
}

DWORD LinuxPlatform::closeEnum(EnumHandle handle) {
    const std::lock_guard lock(m_enumMutex);
    if (m_enumerations.erase(handle) == 0) {
        setLastError(win::InvalidHandle);
        return win::InvalidHandle;
    }
    return win::NoError;
}

ComputerRecord LinuxPlatform::knownFacts(const std::string& computer) {
    ComputerRecord facts;
    bool browsed = false;
    {
        const std::lock_guard lock(m_enumMutex);
        browsed = m_browsedServers.count(upper(computer)) != 0;
    }
    if (browsed)
        facts.foundBy = FoundBy::BrowseList;
    const std::optional<DiscoveredHost> host = m_discovery->knownHost(computer);
    if (!host)
        return facts;
    // Answers that disagree on where the name is prove nothing of it beyond
    // that they were heard.
    if (host->reach == HostReach::Contested) {
        facts.foundBy |= host->foundBy;
        return facts;
    }
    // A discovery answer counts for a browsed computer only where it came
    // from the address the computer's name resolved to.
    std::optional<std::uint32_t> resolved;
    if (browsed) {
        const std::lock_guard lock(m_resolvedMutex);
        const auto known = m_resolved.find(computer);
        if (known != m_resolved.end())
            resolved = known->second.address;
    } else {
        resolved = discoveredAddress(computer);
    }
    // A host an authenticated source named speaks for its name wherever it
    // resolves.
    if (host->reach != HostReach::Named && resolved != host->address)
        return facts;
    facts.foundBy |= host->foundBy;
    facts.dnsName = QString::fromStdString(host->dnsName);
    facts.operatingSystem = QString::fromStdString(host->operatingSystem);
    facts.osVersion = QString::fromStdString(host->osVersion);
    facts.directory = host->directory;
    return facts;
}

std::vector<std::string> LinuxPlatform::sourceShortfalls() {
    return m_discovery->shortfalls();
}

void LinuxPlatform::setSourceOptions(const SourceOptions& options) {
    const std::lock_guard lock(m_enumMutex);
    m_sourceOptions = options;
}

void LinuxPlatform::setLogOn(const std::optional<Credentials>& credentials) {
    {
        const std::lock_guard lock(m_checkedMutex);
        m_logOnInForce = credentials && !credentials->anonymous() ? credentials : std::nullopt;
    }
    m_directory->setLogOn(credentials);
}

std::uint8_t LinuxPlatform::netbios(Ncb& ncb) {
    std::uint8_t code = NRC_ILLCMD;
    switch (ncb.command) {
    case NCBENUM:
        code = enumerateAdapters(ncb);
        break;
    case NCBRESET:
        code = resetAdapter(ncb);
        break;
    case NCBASTAT:
        code = adapterStatus(ncb);
        break;
    default:
        break;
    }
    ncb.retcode = code;
    ncb.cmdCplt = code;
    return code;
}

std::uint8_t LinuxPlatform::enumerateAdapters(Ncb& ncb) {
    if (ncb.buffer == nullptr || ncb.length < 2)
        return NRC_BUFLEN;
    const std::size_t adapters = listAdapters().size();
    const std::size_t count =
        std::min({adapters, static_cast<std::size_t>(ncb.length) - 1, MaxLanas});
    ncb.buffer[0] = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i)
        ncb.buffer[1 + i] = static_cast<std::uint8_t>(i);
    return NRC_GOODRET;
}

std::uint8_t LinuxPlatform::resetAdapter(const Ncb& ncb) {
    return ncb.lanaNum < listAdapters().size() ? NRC_GOODRET : NRC_BRIDGE;
}

std::uint8_t LinuxPlatform::adapterStatus(Ncb& ncb) {
    const std::vector<Adapter> adapters = listAdapters();
    if (ncb.lanaNum >= adapters.size())
        return NRC_BRIDGE;
    if (ncb.buffer == nullptr || ncb.length < nbns::UnitIdBytes)
        return NRC_BUFLEN;
    const Adapter& adapter = adapters[ncb.lanaNum];
    const std::string host = hostFromCallName(ncb.callname);
    if (host == "*") {
        const auto own = interfaceMac(adapter.name);
        if (!own)
            return NRC_SYSTEM;
        std::copy(own->begin(), own->end(), ncb.buffer);
        return NRC_GOODRET;
    }
    const auto resolved = host.empty() ? std::nullopt : resolve(host);
    const std::optional<std::uint32_t> address =
        resolved ? std::optional(resolved->address) : std::nullopt;
    if (!address) {
        qCDebug(lcNameService) << "node status of" << host.c_str()
                               << "not asked: the name does not resolve";
        return NRC_CMDTMO;
    }
    const auto prefetched = m_prefetch->nodeStatus(*address);
    const auto status =
        prefetched ? *prefetched : queryNodeStatus(*address, nodeStatusExchange()).status;
    qCDebug(lcNameService) << "node status of" << host.c_str() << "at" << inetNtoa(*address).c_str()
                           << (status ? "answered" : "no answer");
    const auto neighbour = [&]() -> std::optional<MacAddress> {
        if (!adapter.onLink(*address))
            return std::nullopt;
        return *address == adapter.address
                   ? interfaceMac(adapter.name)
                   : macFromArpTable(readSmallFile(m_settings.neighbourTable), *address,
                                     adapter.name);
    };
    MacAddress unit{};
    if (status) {
        unit = status->unitId;
    } else {
        // A host with NetBIOS switched off does not answer; on the adapter's
        // link the kernel still knows its address.
        const auto known = neighbour();
        if (!known) {
            qCDebug(lcNameService)
                << host.c_str() << "has no MAC: no node status and not in the neighbour table";
            return NRC_CMDTMO;
        }
        unit = *known;
    }
    // Samba answers with an all-zero unit ID; a host on the adapter's link
    // still has its real address in the kernel's neighbour table. Off the
    // link the zeros are no address at all, and the query counts as failed.
    if (std::all_of(unit.begin(), unit.end(), [](std::uint8_t b) { return b == 0; })) {
        const auto known = neighbour();
        if (!known)
            return NRC_SYSTEM;
        unit = *known;
    }
    std::copy(unit.begin(), unit.end(), ncb.buffer);
    return NRC_GOODRET;
}

int LinuxPlatform::wsaStartup(std::uint16_t version) {
    // Nothing to start; only a version older than 1.1 is refused.
    const unsigned major = version & 0xFF;
    const unsigned minor = version >> 8;
    return major > 1 || (major == 1 && minor >= 1) ? 0 : WsaVersionNotSupported;
}

int LinuxPlatform::wsaCleanup() {
    return 0;
}

std::optional<std::uint32_t> LinuxPlatform::getHostByName(const char* name) {
    if (name == nullptr || *name == '\0' || m_abandonment.isSet())
        return std::nullopt;
    const std::optional<Resolved> resolved = lookUp(name);
    return resolved ? std::optional(resolved->address) : std::nullopt;
}

std::optional<LinuxPlatform::Resolved> LinuxPlatform::lookUp(const std::string& name) {
    std::optional<Resolved> resolved;
    const std::optional<DiscoveredHost> named = namedHost(name);
    if (named) {
        resolved = resolveNamed(*named);
    } else if (const auto answered = discoveredAddress(name)) {
        // A computer only discovery knows is reached at the address it
        // answered from: its name is not handed to the resolver, which would
        // take a name such as "localhost" or "2130706433" for an address of
        // its own.
        resolved = Resolved{.address = *answered, .dnsName = {}, .at = {}};
    } else {
        resolved = resolveName(name);
    }
    if (!resolved) {
        qCDebug(lcNameService) << name.c_str() << "not resolved by DNS, NetBIOS or discovery";
        if (named)
            rememberUnresolved(name);
        return resolved;
    }
    qCDebug(lcNameService) << name.c_str() << "resolved to" << inetNtoa(resolved->address).c_str();
    resolved->at = std::chrono::steady_clock::now();
    rememberResolved(name, *resolved);
    return resolved;
}

std::optional<LinuxPlatform::Resolved> LinuxPlatform::resolveByDns(const std::string& name) {
    std::optional<Resolved> resolved;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found != nullptr &&
        found->ai_addr != nullptr && found->ai_addrlen >= sizeof(sockaddr_in)) {
        // A name too long to be a host's is no name to log on to.
        const char* canonical = found->ai_canonname;
        const bool named = canonical != nullptr &&
                           strnlen(canonical, MaxBrowseNameBytes + 1) <= MaxBrowseNameBytes;
        resolved = Resolved{
            .address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr,
            .dnsName = named ? canonical : std::string(),
            .at = {}};
    }
    if (found != nullptr)
        freeaddrinfo(found);
    return resolved;
}

std::optional<DiscoveredHost> LinuxPlatform::namedHost(const std::string& name) {
    {
        // A browsed computer keeps the browse list's path.
        const std::lock_guard lock(m_enumMutex);
        if (m_browsedServers.count(upper(name)) != 0)
            return std::nullopt;
    }
    std::optional<DiscoveredHost> host = m_discovery->knownHost(name);
    if (!host || host->reach != HostReach::Named)
        return std::nullopt;
    return host;
}

std::optional<LinuxPlatform::Resolved>
LinuxPlatform::resolveNamed(const DiscoveredHost& host) const {
    // The directory's DNS name is the one a Kerberos log-on asks a ticket for.
    const std::string dnsName =
        isDomainName(QString::fromStdString(host.dnsName)) ? host.dnsName : std::string();
    // The directory's own copy of the zone answered for the name already:
    // asking the domain's DNS server would give the same records, one
    // question per computer.
    if (host.zoneAddress && !dnsName.empty()) {
        if (*host.zoneAddress == 0)
            return std::nullopt;
        return Resolved{.address = *host.zoneAddress, .dnsName = dnsName, .at = {}};
    }
    if (!dnsName.empty()) {
        if (auto resolved = resolveByDns(dnsName)) {
            resolved->dnsName = dnsName;
            return resolved;
        }
    }
    if (auto resolved = resolveByDns(host.name)) {
        if (!dnsName.empty())
            resolved->dnsName = dnsName;
        return resolved;
    }
    // The name service gets one brief attempt: it reaches only the link,
    // where the owner of a name answers within a round trip, and a directory
    // holds many accounts with no host behind them, each of which would
    // otherwise cost the full budget.
    if (const auto address = queryNameOnAdapters(host.name, true))
        return Resolved{.address = *address, .dnsName = dnsName, .at = {}};
    return std::nullopt;
}

std::optional<LinuxPlatform::Resolved> LinuxPlatform::resolveName(const std::string& name) {
    std::optional<Resolved> resolved = resolveByDns(name);
    if (!resolved) {
        // As Windows does: fall back to a NetBIOS name query on the LAN. A
        // discovered host's query asked already counts where it found the
        // name; where it did not, it may have been a brief one.
        const auto prefetched = m_prefetch->nameQuery(name);
        const auto address =
            prefetched && *prefetched ? *prefetched : queryNameOnAdapters(name, false);
        if (address)
            resolved = Resolved{.address = *address, .dnsName = {}, .at = {}};
    }
    return resolved;
}

bool LinuxPlatform::claimHolds(const DiscoveredHost& host) {
    // An authenticated source named it, or answers disagree on it and it is
    // reached by the name service alone: there is no claim to check.
    if (host.reach != HostReach::AnsweredFrom)
        return true;
    const auto answer = m_prefetch->nameQuery(host.name);
    if (!answer || !*answer || **answer == host.address)
        return true;
    qCDebug(discoveryCategory(host.foundBy))
        << "left out" << QString::fromStdString(host.name) << "at" << inetNtoa(host.address).c_str()
        << ": the name service puts that name at" << inetNtoa(**answer).c_str();
    return false;
}

std::optional<std::uint32_t> LinuxPlatform::discoveredAddress(const std::string& name) {
    {
        const std::lock_guard lock(m_enumMutex);
        if (m_browsedServers.count(upper(name)) != 0)
            return std::nullopt;
    }
    const std::optional<DiscoveredHost> host = m_discovery->knownHost(name);
    if (!host || host->reach != HostReach::AnsweredFrom || !claimHolds(*host))
        return std::nullopt;
    return host->address;
}

std::optional<std::uint32_t> LinuxPlatform::queryNameOnAdapters(const std::string& name,
                                                                bool brief) const {
    const auto netbios = nbns::netbiosName(name, nbns::SuffixWorkstation);
    if (!netbios)
        return std::nullopt;
    std::vector<NameQueryTarget> targets;
    for (const Adapter& adapter : listAdapters()) {
        if (adapter.canBroadcast)
            targets.push_back({adapter.broadcast, adapter.address, adapter.netmask});
    }
    NbnsExchange exchange = nameQueryExchange();
    if (brief) {
        exchange.timeout = NameClaimCheckTimeout;
        exchange.attempts = 1;
    }
    return queryName(*netbios, targets, exchange);
}

void LinuxPlatform::abandonLookups() {
    m_abandonment.set(true);
    m_listingSlots.wakeAll();
}

void LinuxPlatform::resumeLookups() {
    m_abandonment.set(false);
}

void LinuxPlatform::rememberResolved(const std::string& name, const Resolved& resolved) {
    const std::lock_guard lock(m_resolvedMutex);
    makeRoom(m_resolved, resolved.at, ResolvedNameLifetime);
    m_resolved[name] = resolved;
}

void LinuxPlatform::rememberUnresolved(const std::string& name) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(m_resolvedMutex);
    makeRoom(m_unresolved, now, ResolvedNameLifetime);
    m_unresolved[name] = Unresolved{now};
}

std::optional<LinuxPlatform::Resolved> LinuxPlatform::resolve(const std::string& name) {
    {
        const std::lock_guard lock(m_resolvedMutex);
        const auto found = m_resolved.find(name);
        if (found != m_resolved.end() &&
            std::chrono::steady_clock::now() - found->second.at < ResolvedNameLifetime)
            return found->second;
        const auto failed = m_unresolved.find(name);
        if (failed != m_unresolved.end() &&
            std::chrono::steady_clock::now() - failed->second.at < ResolvedNameLifetime)
            return std::nullopt;
    }
    if (name.empty() || m_abandonment.isSet())
        return std::nullopt;
    return lookUp(name);
}

LinuxPlatform::CheckedServer LinuxPlatform::checkServer(const std::string& name) {
    CheckedServer checked;
    const auto resolved = resolve(name);
    if (m_abandonment.isSet())
        checked.refused = ECANCELED;
    else if (!resolved)
        checked.refused = ENOENT;
    else {
        const ProbeAnswer answer =
            probeSmbServer(resolved->address, m_settings.smbPortConnectTimeout, m_abandonment.fd(),
                           m_settings.smbPorts);
        checked = CheckedServer{.refused = answer.error,
                                .resolved = *resolved,
                                .port = answer.port,
                                .listing = std::nullopt,
                                .listedAs = std::nullopt,
                                .at = {},
                                .settled = true};
    }
    return checked;
}

void LinuxPlatform::prepareListing(const NetResource& computer) {
    const auto target = browseTargetOf(computer);
    if (!m_checkServers || !target || target->level != BrowseLevel::Server)
        return;
    CheckedServer checked = checkServer(target->name);
    // An abandoned check says nothing about the server.
    if (checked.refused == ECANCELED)
        return;
    keepChecked(target->name, std::move(checked));
}

LinuxPlatform::CheckedServer LinuxPlatform::takeCheckedServer(const std::string& name) {
    {
        const std::lock_guard lock(m_checkedMutex);
        const auto found = m_checkedServers.find(name);
        if (found != m_checkedServers.end()) {
            CheckedServer checked = std::move(found->second);
            m_checkedServers.erase(found);
            if (std::chrono::steady_clock::now() - checked.at < CheckedServerLifetime &&
                checked.settled)
                return checked;
        }
    }
    return checkServer(name);
}

NbnsExchange LinuxPlatform::nameQueryExchange() const {
    return {m_settings.nbnsPort, m_settings.nameQueryTimeout, m_settings.nameQueryAttempts,
            m_abandonment.fd()};
}

NbnsExchange LinuxPlatform::nodeStatusExchange() const {
    return {.port = m_settings.nbnsPort,
            .timeout = m_settings.nodeStatusTimeout,
            .attempts = m_settings.nodeStatusAttempts,
            .abandonFd = m_abandonment.fd(),
            .refusals = m_settings.nameServiceRefusals};
}

IcmpHandle LinuxPlatform::icmpCreateFile() {
    return m_icmp.open();
}

bool LinuxPlatform::icmpCloseHandle(IcmpHandle handle) {
    return m_icmp.close(handle);
}

DWORD LinuxPlatform::icmpSendEcho(IcmpHandle handle, std::uint32_t destination, const void* data,
                                  std::uint16_t dataSize, const IpOptionInformation* options,
                                  void* replyBuffer, DWORD replySize, DWORD timeoutMs) {
    DWORD status = IP_SUCCESS;
    const DWORD replies = m_icmp.send(handle, destination, data, dataSize, options, replyBuffer,
                                      replySize, timeoutMs, status);
    if (replies == 0)
        setLastError(status);
    return replies;
}

std::optional<IcmpSocketKind> LinuxPlatform::icmpSocketKind(IcmpHandle handle) const {
    return m_icmp.kind(handle);
}

} // namespace norvane
