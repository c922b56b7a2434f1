#include "SmbBrowser.h"

#include "Abandonment.h"
#include "Logging.h"
#include "SambaCacheFolder.h"

#include <ifaddrs.h>
#include <krb5.h>
#include <libsmbclient.h>
#include <net/if.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string_view>

namespace norvane {

namespace {

// libsmbclient keeps its configuration and protocol choice process-wide,
// and its per-call memory too (the thread hooks that would make that per
// thread are not part of the library as distributions build it): every
// listing holds this lock from context creation to its release.
std::mutex& libraryLock() {
    static std::mutex lock;
    return lock;
}

// Writes `text`, terminated, into a buffer of the log-on callback. Text
// that does not fit leaves the buffer empty: a cut name or password is a
// wrong one, and would cost a failed log-on.
void fillBuffer(char* buffer, int length, std::string_view text) {
    if (buffer == nullptr || length <= 0)
        return;
    const bool fits = text.size() < static_cast<std::size_t>(length);
    // An empty view may hold no pointer at all, which memcpy must not get.
    if (fits && !text.empty())
        std::memcpy(buffer, text.data(), text.size());
    buffer[fits ? text.size() : 0] = '\0';
}

// The log-on the library asks for when it connects: the credentials the
// context carries for the listing, else an empty user and password, which
// log on anonymously or with the ticket of the credential cache. Every
// buffer is written, terminated, within its length: the library crashes on
// a user name it finds unset.
void logOnData(SMBCCTX* context, const char*, const char*, char* workgroup, int workgroupLength,
               char* user, int userLength, char* password, int passwordLength) {
    const auto* credentials = static_cast<const Credentials*>(smbc_getOptionUserData(context));
    if (workgroup != nullptr && workgroupLength > 0) {
        if (credentials != nullptr && !credentials->domain.empty())
            fillBuffer(workgroup, workgroupLength, credentials->domain);
        else
            workgroup[workgroupLength - 1] = '\0';
    }
    fillBuffer(user, userLength, credentials != nullptr ? credentials->user : std::string_view());
    fillBuffer(password, passwordLength,
               credentials != nullptr ? credentials->password.view() : std::string_view());
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// libsmbclient ends the whole process when it finds no network interface
// to load at initialisation; without one, browsing is simply unavailable.
bool anyInterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        found = entry->ifa_addr != nullptr && entry->ifa_netmask != nullptr &&
                (entry->ifa_flags & IFF_UP) != 0 &&
                (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6);
    }
    freeifaddrs(list);
    return found;
}

// The server name of smb://NAME, percent-decoded.
std::string hostOfUrl(const std::string& url) {
    constexpr std::string_view scheme = "smb://";
    std::string host;
    for (std::size_t i = url.rfind(scheme, 0) == 0 ? scheme.size() : 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() &&
            std::isxdigit(static_cast<unsigned char>(url[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(url[i + 2]))) {
            host += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            host += url[i];
        }
    }
    return host;
}

} // namespace

class SmbContext {
public:
    explicit SmbContext(const SmbSettings& settings) {
        if (!anyInterfaceUp()) {
            errno = ENETDOWN;
            return;
        }
        m_context = smbc_new_context();
        if (m_context == nullptr)
            return;
        smbc_setDebug(m_context, 0);
        // The library's own messages go to standard error: standard output
        // carries a command-line scan's result.
        smbc_setOptionDebugToStderr(m_context, true);
        if (!settings.configFile.empty() &&
            smbc_setConfiguration(m_context, settings.configFile.c_str()) != 0) {
            release();
            return;
        }
        // Without a configuration of the caller's, the library's caches go
        // to a folder this user can write; a configuration that cannot be
        // read leaves the library's own in force.
        if (settings.configFile.empty()) {
            static const std::string caches = SambaCacheFolder::configFile();
            if (!caches.empty())
                smbc_setConfiguration(m_context, caches.c_str());
        }
        useAnonymous();
        smbc_setFunctionAuthDataWithContext(m_context, logOnData);
        smbc_setTimeout(m_context, settings.timeoutMs);
        useProtocolsFor(BrowseLevel::Provider);
        if (smbc_init_context(m_context) == nullptr)
            release();
    }
    SmbContext(const SmbContext&) = delete;
    SmbContext& operator=(const SmbContext&) = delete;
    ~SmbContext() { release(); }

    SMBCCTX* get() const { return m_context; }

    // Browse lists are served over SMB1 only; share lists take whatever the
    // server speaks best, so that servers without SMB1 still list shares.
    void useProtocolsFor(BrowseLevel level) {
        if (level == BrowseLevel::Server)
            smbc_setOptionProtocols(m_context, "NT1", "SMB3");
        else
            smbc_setOptionProtocols(m_context, "NT1", "NT1");
    }

    // The TCP port to connect to; 0 lets the library try each SMB port.
    void usePort(std::uint16_t port) { smbc_setPort(m_context, port); }

    // The anonymous log-on, for browse lists and for servers that allow it.
    void useAnonymous() { useLogOn(false, false, nullptr); }
    // Kerberos with the ticket of the default credential cache and nothing
    // else, so that a refused ticket fails rather than becoming another
    // log-on. The library takes the cache only for a named user, with no
    // password; `ticketUser` (the cache's principal) must outlive the listing.
    void useTicket(const Credentials& ticketUser) { useLogOn(true, true, &ticketUser); }
    // Name and password alone, by NTLM, without Kerberos (which would try
    // the password a second time) and without turning a refusal into an
    // anonymous session. `credentials` must outlive the listing.
    void useCredentials(const Credentials& credentials) { useLogOn(false, true, &credentials); }

    // True when the library keeps a session with `server` as that user,
    // as it does once the server took the log-on.
    bool hasSession(const std::string& server, const Credentials& credentials) {
        const char* workgroup =
            credentials.domain.empty() ? smbc_getWorkgroup(m_context) : credentials.domain.c_str();
        return workgroup != nullptr && smbc_getFunctionGetCachedServer(m_context)(
                                           m_context, server.c_str(), "IPC$", workgroup,
                                           credentials.user.c_str()) != nullptr;
    }

private:
    void useLogOn(bool kerberos, bool noAnonymousFallback, const Credentials* credentials) {
        smbc_setOptionUseKerberos(m_context, kerberos);
        smbc_setOptionFallbackAfterKerberos(m_context, !kerberos);
        smbc_setOptionUseCCache(m_context, kerberos);
        smbc_setOptionNoAutoAnonymousLogin(m_context, noAnonymousFallback);
        smbc_setOptionUserData(m_context, const_cast<Credentials*>(credentials));
    }

    void release() {
        if (m_context != nullptr)
            smbc_free_context(m_context, 1);
        m_context = nullptr;
    }

    SMBCCTX* m_context = nullptr;
};

std::string boundedText(const char* text, std::size_t limit) {
    if (text == nullptr)
        return {};
    std::size_t length = strnlen(text, limit + 1);
    if (length > limit) {
        length = limit;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    return std::string(text, length);
}

LibSmbDirectory::LibSmbDirectory(SmbSettings settings, const Abandonment* abandonment)
    : m_settings(std::move(settings)), m_abandonment(abandonment) {}

LibSmbDirectory::~LibSmbDirectory() {
    const std::lock_guard lock(libraryLock());
    m_context.reset();
}

SmbContext* LibSmbDirectory::context() {
    if (!m_context || m_context->get() == nullptr)
        m_context = std::make_unique<SmbContext>(m_settings);
    return m_context->get() != nullptr ? m_context.get() : nullptr;
}

bool LibSmbDirectory::available() {
    const std::lock_guard lock(libraryLock());
    return context() != nullptr;
}

SmbListing LibSmbDirectory::list(const std::string& url, BrowseLevel level) {
    if (level == BrowseLevel::Server)
        return listServer(ServerLocation{.url = url, .kerberosUrl = url});
    return inContext(level, [&](SmbContext& context) { return listWith(context, url); });
}

SmbListing LibSmbDirectory::listServer(const ServerLocation& location) {
    return inContext(BrowseLevel::Server,
                     [&](SmbContext& context) { return listShares(context, location); });
}

SmbListing LibSmbDirectory::inContext(BrowseLevel level,
                                      const std::function<SmbListing(SmbContext&)>& listing) {
    const std::lock_guard lock(libraryLock());
    if (m_abandonment != nullptr && m_abandonment->isSet())
        return SmbListing{ECANCELED, {}};
    errno = 0;
    SmbContext* context = this->context();
    if (context == nullptr)
        return SmbListing{errno != 0 ? errno : ENOMEM, {}};
    context->useProtocolsFor(level);
    context->usePort(0);
    return listing(*context);
}

void LibSmbDirectory::setLogOn(const std::optional<Credentials>& credentials) {
    const std::lock_guard lock(libraryLock());
    m_logOn = credentials;
}

SmbListing LibSmbDirectory::listShares(SmbContext& context, const ServerLocation& location) {
    const std::string& url = location.url;
    // The port the server was found on holds for its address; a name the
    // library resolves anew may lead elsewhere.
    const auto listAt = [&](const std::string& target) {
        context.usePort(target == url ? location.port : 0);
        return listWith(context, target);
    };
    if (m_logOn && !m_logOn->anonymous()) {
        context.useCredentials(*m_logOn);
        SmbListing listing = listAt(url);
        // The library reports a refused log-on and a refused listing alike;
        // only after a taken log-on does it keep the session.
        if ((listing.error == EACCES || listing.error == EPERM) &&
            !context.hasSession(hostOfUrl(url), *m_logOn))
            listing.error = EPERM;
        context.useAnonymous();
        qCDebug(lcAuth, "%s: log-on as %s\\%s: %s", url.c_str(), m_logOn->domain.c_str(),
                m_logOn->user.c_str(),
                listing.error != 0 ? std::strerror(listing.error) : "listed");
        return listing;
    }
    if (const std::optional<std::string> principal = cachedKerberosPrincipal()) {
        // With no user name the library would log on anonymously.
        const Credentials ticketUser{*principal, {}, {}};
        context.useTicket(ticketUser);
        SmbListing listing = listAt(location.kerberosUrl);
        context.useAnonymous();
        if (listing.error == 0)
            return listing;
        qCDebug(lcAuth, "%s: Kerberos ticket of %s not taken (%s); listing anonymously",
                location.kerberosUrl.c_str(), principal->c_str(), std::strerror(listing.error));
    }
    return listAt(url);
}

SmbListing LibSmbDirectory::listWith(SmbContext& context, const std::string& url) {
    SmbListing listing;
    SMBCCTX* ctx = context.get();
    errno = 0;
    SMBCFILE* directory = smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
    if (directory == nullptr) {
        listing.error = errno != 0 ? errno : EIO;
        qCDebug(lcBrowse) << "listing" << url.c_str() << "failed:" << std::strerror(listing.error);
        return listing;
    }
    const auto readdir = smbc_getFunctionReaddir(ctx);
    while (const smbc_dirent* entry = readdir(ctx, directory)) {
        const std::size_t nameLength = strnlen(entry->name, MaxBrowseNameBytes + 1);
        if (nameLength == 0 || nameLength > MaxBrowseNameBytes)
            continue;
        SmbEntry item;
        item.type = entry->smbc_type;
        item.name.assign(entry->name, nameLength);
        item.comment = boundedText(entry->comment, MaxBrowseCommentBytes);
        listing.entries.push_back(std::move(item));
    }
    smbc_getFunctionClosedir(ctx)(ctx, directory);
    qCDebug(lcBrowse) << "listed" << url.c_str() << ":" << listing.entries.size() << "entries";
    return listing;
}

SmbListing SmbDirectory::listServer(const ServerLocation& location) {
    return list(location.url, BrowseLevel::Server);
}

void SmbDirectory::setLogOn(const std::optional<Credentials>&) {
    // Nothing to log on with: listings stay anonymous.
}

std::optional<std::string> cachedKerberosPrincipal() {
    krb5_context kerberos = nullptr;
    if (krb5_init_context(&kerberos) != 0)
        return std::nullopt;
    krb5_ccache cache = nullptr;
    krb5_principal principal = nullptr;
    char* name = nullptr;
    std::optional<std::string> found;
    if (krb5_cc_default(kerberos, &cache) == 0 &&
        krb5_cc_get_principal(kerberos, cache, &principal) == 0 &&
        krb5_unparse_name(kerberos, principal, &name) == 0 && name[0] != '\0')
        found = name;
    if (name != nullptr)
        krb5_free_unparsed_name(kerberos, name);
    if (principal != nullptr)
        krb5_free_principal(kerberos, principal);
    if (cache != nullptr)
        krb5_cc_close(kerberos, cache);
    krb5_free_context(kerberos);
    return found;
}

std::optional<BrowseTarget> browseTargetOf(const NetResource& container) {
    if (!container.remoteName) {
        if (container.provider && *container.provider != LanManProviderName)
            return std::nullopt;
        return BrowseTarget{BrowseLevel::Provider, {}};
    }
    const std::string& remote = *container.remoteName;
    if (remote.size() > 2 && remote.compare(0, 2, "\\\\") == 0) {
        const std::string server = remote.substr(2);
        if (server.find('\\') != std::string::npos || server.find('/') != std::string::npos)
            return std::nullopt;
        return BrowseTarget{BrowseLevel::Server, server};
    }
    if (remote.empty() || remote.find('\\') != std::string::npos ||
        remote.find('/') != std::string::npos)
        return std::nullopt;
    return BrowseTarget{BrowseLevel::Workgroup, remote};
}

std::string browseUrl(const BrowseTarget& target) {
    std::string url = "smb://";
    static const char digits[] = "0123456789ABCDEF";
    for (const char c : target.name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            url += c;
        } else {
            url += '%';
            url += digits[byte >> 4];
            url += digits[byte & 0x0F];
        }
    }
    return url;
}

std::vector<NetResource> browseRecords(const BrowseTarget& target, DWORD type,
                                       const std::vector<SmbEntry>& entries) {
    std::vector<NetResource> records;
    std::set<std::string> seen; // browse masters may repeat a name
    for (const SmbEntry& entry : entries) {
        NetResource record;
        record.scope = RESOURCE_GLOBALNET;
        record.provider = LanManProviderName;
        if (!entry.comment.empty())
            record.comment = entry.comment;
        switch (target.level) {
        case BrowseLevel::Provider:
            if (entry.type != SmbWorkgroup)
                continue;
            record.type = RESOURCETYPE_ANY;
            record.displayType = RESOURCEDISPLAYTYPE_DOMAIN;
            record.usage = RESOURCEUSAGE_CONTAINER;
            record.remoteName = entry.name;
            record.comment.reset(); // a workgroup's "comment" is its master's name
            break;
        case BrowseLevel::Workgroup:
            if (entry.type != SmbServer)
                continue;
            record.type = RESOURCETYPE_ANY;
            record.displayType = RESOURCEDISPLAYTYPE_SERVER;
            record.usage = RESOURCEUSAGE_CONTAINER;
            record.remoteName = "\\\\" + entry.name;
            break;
        case BrowseLevel::Server: {
            const bool disk = entry.type == SmbFileShare &&
                              (type == RESOURCETYPE_DISK || type == RESOURCETYPE_ANY);
            const bool print = entry.type == SmbPrinterShare &&
                               (type == RESOURCETYPE_PRINT || type == RESOURCETYPE_ANY);
            if ((!disk && !print) || entry.name.back() == '$')
                continue;
            record.type = disk ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT;
            record.displayType = RESOURCEDISPLAYTYPE_SHARE;
            record.usage = RESOURCEUSAGE_CONNECTABLE;
            record.remoteName = "\\\\" + target.name + "\\" + entry.name;
            break;
        }
        }
        if (target.level != BrowseLevel::Server && !seen.insert(upper(entry.name)).second)
            continue;
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace norvane
