#pragma once

// The network platform on Linux: browsing over libsmbclient, NetBIOS
// adapters and node status over the NetBIOS name service, name resolution
// with a NetBIOS fallback, ICMP echo over ICMP sockets.

#include "Abandonment.h"
#include "IcmpEcho.h"
#include "ListingSlots.h"
#include "NbnsClient.h"
#include "ServerProbe.h"
#include "SmbBrowser.h"
#include "SpawnedLister.h"
#include "discovery/DiscoveredHost.h"
#include "platform/NetworkPlatform.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace norvane {

// Name service budgets as long as Windows gives: a Wi-Fi client in power
// save or a host behind a VPN answers within them. A switched-off host
// costs a look-up the full budget (three attempts), but look-ups of a walk
// run side by side, so a workgroup of gone hosts costs about one budget.
constexpr std::uint16_t NbnsPort = 137;
constexpr std::chrono::milliseconds NameQueryAttemptTimeout{750};
constexpr int NameQueryAttempts = 3;
// The one attempt that asks whether a name a discovered host claims, and
// that its own name service does not answer for, belongs to a computer
// elsewhere: the owner answers a broadcast within a round trip.
constexpr std::chrono::milliseconds NameClaimCheckTimeout{250};
constexpr std::chrono::milliseconds NodeStatusAttemptTimeout{750};
constexpr int NodeStatusAttempts = 3;
// The SMB library's own time-out for each of its requests.
constexpr int SmbConnectTimeoutMs = 5000;
// How long a server's SMB ports get to accept a connection before its share
// list is asked for: two TCP connection attempts.
constexpr std::chrono::milliseconds SmbPortConnectTimeout{2000};
// How long a listing made ahead, which connects without a check first, may
// go unanswered before the server is checked, unless the listing's
// connection is established by then: a LAN server lists its shares well
// within it, and a server whose ports stay silent then costs this and
// SmbPortConnectTimeout, not the SMB library's own connect time-out.
constexpr std::chrono::milliseconds LateServerCheckDelay{300};
// How long a resolved address is reused by the node status or share
// listing that follows, and how many names (and server checks) are kept
// that long: every computer of a group, as many as a domain's directory
// names (up to 200,000), since the checks run far ahead of the listings,
// which run one at a time, and a lost check is made again by the listing.
constexpr std::chrono::seconds ResolvedNameLifetime{10};
constexpr std::size_t ResolvedNamesKept = std::size_t(1) << 18;
// How long the outcome of a server's check made ahead of its share listing
// stands for the listing: long enough for the listings before it, which
// run one at a time, short enough that a server that changed in between is
// checked again. Each outcome serves one listing.
constexpr std::chrono::seconds CheckedServerLifetime{60};
// How many servers' shares are listed ahead of the walk at once, each by a
// process of its own: the most listing processes a platform runs. A
// listing is mostly waiting on the network, a process costs a few
// megabytes.
constexpr std::size_t ListerProcessLimit = 16;
// How many of them run whatever the processor's load; the rest only while
// a core is idle (ListingSlots). Each new process costs tens of
// milliseconds of processor time on its first listing, so where the
// processor is the bound a few processes, each taken again, list sooner.
constexpr std::size_t ListerProcessFloor = 4;

struct LinuxPlatformSettings {
    std::uint16_t nbnsPort = NbnsPort;
    std::chrono::milliseconds nameQueryTimeout = NameQueryAttemptTimeout;
    int nameQueryAttempts = NameQueryAttempts;
    std::chrono::milliseconds nodeStatusTimeout = NodeStatusAttemptTimeout;
    int nodeStatusAttempts = NodeStatusAttempts;
    int smbTimeoutMs = SmbConnectTimeoutMs;
    std::chrono::milliseconds smbPortConnectTimeout = SmbPortConnectTimeout;
    std::chrono::milliseconds lateServerCheckDelay = LateServerCheckDelay;
    // The SMB ports, in the order they are tried.
    std::vector<std::uint16_t> smbPorts{SmbPorts.begin(), SmbPorts.end()};
    std::string smbConfigFile; // empty: libsmbclient's own smb.conf
    std::string neighbourTable = "/proc/net/arp";
    // Node status refusals heard lately, shared with every query of the
    // process; none: every node status query asks the network.
    NameServiceRefusals* nameServiceRefusals = &NameServiceRefusals::shared();
    // The program that lists a server's shares ahead; empty: the one found
    // beside the executable or in the build tree, none when there is none.
    std::string shareLister;
};

class DiscoverySource;
class DiscoveryRound;
class IdentityPrefetch;
using DiscoverySources = std::vector<std::unique_ptr<DiscoverySource>>;

// Enumerations list the union of the browse list and what the discovery
// sources found: a round starts when the provider level is opened and runs
// while the browse list is fetched.
//
// Safe to call from several threads at once. With its own SMB directory
// (none given), a server's share list is asked for only once the server's
// name resolves and one of its SMB ports accepts a connection; both waits
// end at once when look-ups are abandoned. A listing made ahead
// (listAhead) runs in a listing process of its own, side by side with
// others, with the log-on it was given; the listing in walk order takes its
// outcome when the log-on in force is the same, and lists anew otherwise.
// A listing ahead connects without that check, since each connection costs
// the server a session process: to the first SMB port, to the next when
// that one refuses, and the server is checked only when the listing goes
// unanswered for LateServerCheckDelay without its connection established.
class LinuxPlatform : public NetworkPlatform {
public:
    // With the standard discovery sources.
    explicit LinuxPlatform(LinuxPlatformSettings settings = {},
                           std::shared_ptr<SmbDirectory> directory = nullptr);
    // With the given ones; none for the browse list alone.
    LinuxPlatform(LinuxPlatformSettings settings, std::shared_ptr<SmbDirectory> directory,
                  DiscoverySources sources);
    ~LinuxPlatform() override;

    DWORD getProviderName(DWORD netType, char* buffer, DWORD* bufferSize) override;
    DWORD openEnum(DWORD scope, DWORD type, DWORD usage, const NetResource* container,
                   EnumHandle* handle) override;
    DWORD enumResource(EnumHandle handle, DWORD* count, std::vector<NetResource>* batch,
                       DWORD* bufferSize) override;
    DWORD closeEnum(EnumHandle handle) override;
    void setLogOn(const std::optional<Credentials>& credentials) override;
    ComputerRecord knownFacts(const std::string& computer) override;
    void setSourceOptions(const SourceOptions& options) override;
    std::vector<std::string> sourceShortfalls() override;

    std::uint8_t netbios(Ncb& ncb) override;

    int wsaStartup(std::uint16_t version) override;
    int wsaCleanup() override;
    std::optional<std::uint32_t> getHostByName(const char* name) override;
    void prepareListing(const NetResource& computer) override;
    void prepareListingsAhead(std::size_t count) override;
    DWORD listAhead(const NetResource& computer, const LogOnAhead& logOnAhead) override;
    void abandonLookups() override;
    void resumeLookups() override;

    IcmpHandle icmpCreateFile() override;
    bool icmpCloseHandle(IcmpHandle handle) override;
    DWORD icmpSendEcho(IcmpHandle handle, std::uint32_t destination, const void* data,
                       std::uint16_t dataSize, const IpOptionInformation* options,
                       void* replyBuffer, DWORD replySize, DWORD timeoutMs) override;

    // Which kind of ICMP socket a handle uses.
    std::optional<IcmpSocketKind> icmpSocketKind(IcmpHandle handle) const;

private:
    struct Enumeration {
        BrowseTarget target;
        DWORD type = 0;
        bool listed = false;
        std::vector<NetResource> records;
        std::size_t cursor = 0;
    };

    SmbListing listWithDiscovery(const BrowseTarget& target);
    std::uint8_t enumerateAdapters(Ncb& ncb);
    std::uint8_t resetAdapter(const Ncb& ncb);
    std::uint8_t adapterStatus(Ncb& ncb);
    struct Resolved {
        std::uint32_t address = 0;
        // The name DNS gave the address; empty when NetBIOS or discovery
        // resolved the name.
        std::string dnsName;
        std::chrono::steady_clock::time_point at;
    };
    // The address `name` resolved to within ResolvedNameLifetime, or a
    // look-up now.
    std::optional<Resolved> resolve(const std::string& name);
    std::optional<Resolved> lookUp(const std::string& name);
    std::optional<Resolved> resolveName(const std::string& name);
    // The system resolver's address for the name, without NetBIOS.
    static std::optional<Resolved> resolveByDns(const std::string& name);
    // The host of that name an authenticated source (a directory) named,
    // unless a browse list named it too; nothing otherwise.
    std::optional<DiscoveredHost> namedHost(const std::string& name);
    // Where a named host is: its DNS name through the system resolver (the
    // domain's DNS), else its short name, else one brief name query; the
    // directory's DNS name is kept for a Kerberos log-on.
    std::optional<Resolved> resolveNamed(const DiscoveredHost& host) const;
    // `brief`: one attempt of NameClaimCheckTimeout.
    std::optional<std::uint32_t> queryNameOnAdapters(const std::string& name, bool brief) const;
    // Whether no name service answer puts the host's name at another
    // address; waits for the round's name query of it.
    bool claimHolds(const DiscoveredHost& host);
    // The address a computer that only discovery knows answered from, when
    // its claim to the name holds; nothing for any other name.
    std::optional<std::uint32_t> discoveredAddress(const std::string& name);
    void rememberResolved(const std::string& name, const Resolved& resolved);
    // A named host's failed look-up, asked by the walk and again by its node
    // status, is made once.
    void rememberUnresolved(const std::string& name);
    struct CheckedServer {
        // 0, or the errno that tells why the server's shares cannot be listed.
        int refused = 0;
        // Where the server took a connection, when it did, and on which port.
        Resolved resolved;
        std::uint16_t port = 0;
        // Its shares, listed ahead, and the log-on they were listed with.
        std::optional<SmbListing> listing;
        std::optional<Credentials> listedAs;
        std::chrono::steady_clock::time_point at;
        // Whether `refused` and `port` are what the server showed; a
        // listing ahead that connected without a check and failed leaves
        // them assumed, and the server is checked before it is listed again.
        bool settled = true;
    };
    // Where the shares of `name`, checked as `checked`, are listed.
    ServerLocation serverLocation(const std::string& name, const CheckedServer& checked);
    // The shares of a checked server listed by a listing process, once
    // m_listingSlots has a slot for it; nothing when abandoned or no
    // process listed them.
    std::optional<SmbListing> listInProcess(const ListingRequest& request,
                                            const ListingWatch* watch = nullptr);
    // The shares of `name` at `resolved` listed ahead without a check
    // first, and what the listing showed of the server; nothing when
    // abandoned.
    std::optional<CheckedServer> listUnchecked(const std::string& name, const Resolved& resolved,
                                               const std::optional<Credentials>& logOn);
    void keepChecked(const std::string& name, CheckedServer checked);
    // A copy of the settled check of `name` not yet listed ahead, made by
    // prepareListing; nothing when there is none.
    std::optional<CheckedServer> settledCheck(const std::string& name);
    std::optional<Credentials> logOnInForce();

    CheckedServer checkServer(const std::string& name);
    // The outcome of the check made ahead for `name`, taken out, or a check
    // made now.
    CheckedServer takeCheckedServer(const std::string& name);
    NbnsExchange nameQueryExchange() const;
    NbnsExchange nodeStatusExchange() const;

    LinuxPlatformSettings m_settings;
    // Before everything whose look-ups watch it, so that it outlives them.
    Abandonment m_abandonment;
    std::shared_ptr<SmbDirectory> m_directory;

    std::mutex m_enumMutex;
    std::map<EnumHandle, Enumeration> m_enumerations;
    EnumHandle m_nextEnum = 1;

    std::unique_ptr<DiscoveryRound> m_discovery;
    SourceOptions m_sourceOptions; // under m_enumMutex
    // The workgroups the latest provider-level browse list named, upper
    // case; nothing before the first.
    std::optional<std::set<std::string>> m_browsedGroups;
    // The servers the browse lists of the round named so far, upper case.
    std::set<std::string> m_browsedServers;
    // After the round it asks about.
    std::unique_ptr<IdentityPrefetch> m_prefetch;

    struct Unresolved {
        std::chrono::steady_clock::time_point at;
    };
    std::mutex m_resolvedMutex;
    std::map<std::string, Resolved> m_resolved;
    std::map<std::string, Unresolved> m_unresolved;

    bool m_checkServers = false;
    std::mutex m_checkedMutex;
    std::map<std::string, CheckedServer> m_checkedServers;
    std::optional<Credentials> m_logOnInForce; // under m_checkedMutex
    ListingSlots m_listingSlots{ListerProcessFloor, ListerProcessLimit, idleCoreNow};
    std::unique_ptr<SpawnedLister> m_lister; // none: no listings ahead

    IcmpEcho m_icmp;
};

} // namespace norvane
