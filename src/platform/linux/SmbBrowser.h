#pragma once

// Browsing the Windows network over libsmbclient: the workgroups of the
// network, the servers of a workgroup, the shares of a server, turned into
// the resource records of an enumeration. Share listings log on with the
// user's credentials when given, else with the user's Kerberos ticket when
// one is cached, else anonymously.

#include "ErrorMap.h"
#include "common/Credentials.h"
#include "discovery/SmbEntry.h"
#include "platform/NetworkPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

constexpr const char* LanManProviderName = "Microsoft Windows Network";

// Longest name and comment taken from a listing. A longer name is left out
// (cut, it would name another resource); a longer comment is cut. With
// these bounds every record fits an enumeration buffer on its own.
constexpr std::size_t MaxBrowseNameBytes = 256;
constexpr std::size_t MaxBrowseCommentBytes = 1024;

// A directory listing: the entries, or the errno of the failure.
struct SmbListing {
    int error = 0;
    std::vector<SmbEntry> entries;
};

// Where a server's shares are listed. `url` names the server by the address
// the walk resolved (smb://ADDRESS), so that the SMB library neither asks
// the network whether the name is a workgroup nor resolves it again;
// `kerberosUrl` names it as Kerberos needs it (its DNS name, else its
// NetBIOS name), for a log-on with a ticket.
struct ServerLocation {
    std::string url;
    std::string kerberosUrl;
    // The TCP port the server took a connection on, so that the listing
    // connects there alone; 0 leaves the library to try each SMB port.
    std::uint16_t port = 0;
};

// What lists a browse URL. The real one talks SMB; tests script it.
class SmbDirectory {
public:
    virtual ~SmbDirectory() = default;
    virtual bool available() = 0;
    virtual SmbListing list(const std::string& url, BrowseLevel level) = 0;
    // A server's shares at a location; by default at its `url`.
    virtual SmbListing listServer(const ServerLocation& location);
    // The log-on of the share listings that follow; see
    // NetworkPlatform::setLogOn. A directory without log-ons ignores it.
    virtual void setLogOn(const std::optional<Credentials>& credentials);
};

struct SmbSettings {
    std::string configFile; // empty: libsmbclient's own configuration
    int timeoutMs = 5000;
};

class SmbContext;

class Abandonment;

// libsmbclient through one context, made on first use and kept: the library
// leaks a little with every context it frees. One listing at a time in the
// whole process, so that the library never sees two threads; a listing that
// gets the library while look-ups are abandoned fails at once with
// ECANCELED, so that abandoned listings do not queue for it.
class LibSmbDirectory : public SmbDirectory {
public:
    explicit LibSmbDirectory(SmbSettings settings, const Abandonment* abandonment = nullptr);
    ~LibSmbDirectory() override;
    bool available() override;
    SmbListing list(const std::string& url, BrowseLevel level) override;
    SmbListing listServer(const ServerLocation& location) override;
    void setLogOn(const std::optional<Credentials>& credentials) override;

private:
    SmbContext* context(); // with the library lock held
    // Runs `listing` under the library lock on the context, set for
    // `level`; a cancelled or failed context is the listing's error.
    SmbListing inContext(BrowseLevel level, const std::function<SmbListing(SmbContext&)>& listing);
    SmbListing listWith(SmbContext& context, const std::string& url);
    SmbListing listShares(SmbContext& context, const ServerLocation& location);

    SmbSettings m_settings;
    const Abandonment* m_abandonment;
    std::unique_ptr<SmbContext> m_context;
    std::optional<Credentials> m_logOn; // with the library lock held
};

// The principal of the default Kerberos credential cache, when it holds
// one, so that a log-on with its ticket is worth trying.
std::optional<std::string> cachedKerberosPrincipal();

// The container an enumeration is opened on.
struct BrowseTarget {
    BrowseLevel level = BrowseLevel::Provider;
    std::string name; // workgroup or server name; empty for the provider
};

// The target of a record as an enumeration returned it: no remote name is
// the provider, "\\NAME" a server, a plain name a workgroup. Nothing for a
// record that is not a container (a share) or names another provider.
std::optional<BrowseTarget> browseTargetOf(const NetResource& container);

// Text cut to at most `limit` bytes, never inside a UTF-8 sequence; empty
// for a null pointer.
std::string boundedText(const char* text, std::size_t limit);

// smb://, smb://GROUP or smb://SERVER, the name percent-encoded.
std::string browseUrl(const BrowseTarget& target);

// Turns a listing into records: workgroups, servers, or the shares of the
// requested type (disk, print or any), IPC and hidden shares left out.
std::vector<NetResource> browseRecords(const BrowseTarget& target, DWORD type,
                                       const std::vector<SmbEntry>& entries);

} // namespace norvane
