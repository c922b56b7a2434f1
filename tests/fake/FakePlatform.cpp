#include "FakePlatform.h"

#include "platform/EnumBatch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <thread>

namespace norvane::test {

namespace {
std::string describe(const NetResource* container) {
    if (container == nullptr)
        return "<null>";
    if (!container->remoteName)
        return "<provider:" + container->provider.value_or("") + ">";
    return *container->remoteName;
}
} // namespace

std::string callNameText(const std::uint8_t* callname) {
    std::string text(reinterpret_cast<const char*>(callname), 15);
    text += callname[15] == 0 ? "\\0" : "\\?";
    return text;
}

FakePlatform::Container& FakePlatform::addDomain(const std::string& name) {
    NetResource domain;
    domain.scope = RESOURCE_GLOBALNET;
    domain.displayType = RESOURCEDISPLAYTYPE_DOMAIN;
    domain.usage = RESOURCEUSAGE_CONTAINER;
    domain.remoteName = name;
    domain.provider = providerName;
    provider.records.push_back(domain);
    return containers[name];
}

FakePlatform::Container& FakePlatform::addComputer(const std::string& domain,
                                                   const std::string& remoteName,
                                                   std::optional<std::string> comment) {
    NetResource computer;
    computer.scope = RESOURCE_GLOBALNET;
    computer.displayType = RESOURCEDISPLAYTYPE_SERVER;
    computer.usage = RESOURCEUSAGE_CONTAINER;
    computer.remoteName = remoteName;
    computer.comment = std::move(comment);
    computer.provider = providerName;
    containers[domain].records.push_back(computer);
    return containers[remoteName];
}

void FakePlatform::addShare(const std::string& computerRemoteName,
                            const std::string& shareRemoteName, DWORD type,
                            std::optional<std::string> comment) {
    NetResource share;
    share.scope = RESOURCE_GLOBALNET;
    share.type = type;
    share.displayType = RESOURCEDISPLAYTYPE_SHARE;
    share.usage = RESOURCEUSAGE_CONNECTABLE;
    share.remoteName = shareRemoteName;
    share.comment = std::move(comment);
    share.provider = providerName;
    containers[computerRemoteName].records.push_back(share);
}

std::uint32_t FakePlatform::address(const std::string& dotted) {
    return inetAddr(dotted.c_str());
}

void FakePlatform::addHost(const std::string& hostName, const std::string& dotted,
                           std::array<std::uint8_t, 6> mac) {
    addresses[hostName] = address(dotted);
    adapters[hostName] = mac;
}

std::vector<std::string> FakePlatform::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::size_t FakePlatform::openHandles() const {
    std::lock_guard lock(m_mutex);
    return m_open.size();
}

int FakePlatform::failedLogOns(const std::string& computerRemoteName) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_failedLogOns.find(computerRemoteName);
    return found != m_failedLogOns.end() ? found->second : 0;
}

void FakePlatform::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void FakePlatform::keep(const std::string& line) {
    if (recordCalls) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(line);
    }
    if (onCall)
        onCall(line);
}

bool FakePlatform::delay(std::chrono::milliseconds base, const std::string& subject) {
    const auto total = base + (extraDelay ? extraDelay(subject) : std::chrono::milliseconds(0));
    if (total.count() <= 0)
        return !m_abandoned;
    std::unique_lock lock(m_mutex);
    m_abandonedChanged.wait_for(lock, total, [this] { return m_abandoned.load(); });
    return !m_abandoned;
}

void FakePlatform::prepareListing(const NetResource& computer) {
    const std::string container = describe(&computer);
    record([&] { return std::string("prepareListing(" + container + ")"); });
    if (!delay(enumDelay, container))
        return;
    std::lock_guard lock(m_mutex);
    m_prepared.insert(container);
}

DWORD FakePlatform::listAhead(const NetResource& computer, const LogOnAhead& logOnAhead) {
    prepareListing(computer);
    const std::optional<std::optional<Credentials>> known = logOnAhead();
    if (!known)
        return win::NoError;
    const std::optional<Credentials>& logOn = *known;
    const std::string container = describe(&computer);
    record([&] {
        return "listAhead(" + container + "," + (logOn ? logOn->user : std::string("<none>")) + ")";
    });
    const auto found =
        computer.remoteName ? containers.find(*computer.remoteName) : containers.end();
    if (found == containers.end() || found->second.openError != 0)
        return win::NoError;
    if (!delay(enumDelay, container))
        return win::Timeout;
    const Container& source = found->second;
    std::lock_guard lock(m_mutex);
    DWORD result = source.enumError;
    if (source.onlyUser && result == 0)
        result = logOnResult(*computer.remoteName, source, logOn);
    m_listedAhead[container] = AheadListing{.logOn = logOn, .result = result};
    return result;
}

void FakePlatform::abandonLookups() {
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_abandonedChanged.notify_all();
}

void FakePlatform::resumeLookups() {
    std::lock_guard lock(m_mutex);
    m_abandoned = false;
}

DWORD FakePlatform::fail(DWORD code) {
    setLastError(code);
    return code;
}

DWORD FakePlatform::getProviderName(DWORD netType, char* buffer, DWORD* bufferSize) {
    record([&] {
        return std::string("getProviderName(" + std::to_string(netType) + "," +
                           std::to_string(*bufferSize) + ")");
    });
    if (providerNameResult != 0)
        return fail(providerNameResult);
    if (providerName.size() + 1 > *bufferSize) {
        *bufferSize = static_cast<DWORD>(providerName.size() + 1);
        return fail(win::MoreData);
    }
    std::memcpy(buffer, providerName.c_str(), providerName.size() + 1);
    return 0;
}

DWORD FakePlatform::openEnum(DWORD scope, DWORD type, DWORD usage, const NetResource* container,
                             EnumHandle* handle) {
    record([&] {
        return std::string("openEnum(" + std::to_string(scope) + "," + std::to_string(type) + "," +
                           std::to_string(usage) + "," + describe(container) + ")");
    });
    const Container* source = nullptr;
    if (container != nullptr && !container->remoteName) {
        if (container->provider == providerName)
            source = &provider;
    } else if (container != nullptr) {
        auto found = containers.find(*container->remoteName);
        if (found != containers.end())
            source = &found->second;
    }
    if (source == nullptr)
        return fail(win::BadNetPath);
    if (source->openError != 0)
        return fail(source->openError);
    OpenEnum open;
    open.container = describe(container);
    {
        std::lock_guard lock(m_mutex);
        open.prepared = m_prepared.erase(open.container) == 1;
        open.enumError = source->enumError;
        const auto ahead = m_listedAhead.find(open.container);
        if (usage == RESOURCEUSAGE_CONNECTABLE && ahead != m_listedAhead.end() &&
            ahead->second.logOn == m_logOn) {
            open.enumError = ahead->second.result;
            open.prepared = true;
        } else if (usage == RESOURCEUSAGE_CONNECTABLE && source->onlyUser && open.enumError == 0) {
            open.enumError = logOnResult(*container->remoteName, *source, m_logOn);
        }
        if (ahead != m_listedAhead.end())
            m_listedAhead.erase(ahead);
    }
    for (const NetResource& record : source->records) {
        // A computer's shares are listed by type; containers list everything.
        if (usage == RESOURCEUSAGE_CONNECTABLE && type != RESOURCETYPE_ANY && record.type != type)
            continue;
        open.records.push_back(record);
    }
    std::lock_guard lock(m_mutex);
    *handle = m_nextHandle++;
    m_open.emplace(*handle, std::move(open));
    return 0;
}

DWORD FakePlatform::enumResource(EnumHandle handle, DWORD* count, std::vector<NetResource>* batch,
                                 DWORD* bufferSize) {
    record([&] {
        return std::string("enumResource(#" + std::to_string(handle) + "," +
                           std::to_string(*count) + "," + std::to_string(*bufferSize) + ")");
    });
    std::string container;
    bool prepared = false;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_open.find(handle);
        if (found == m_open.end())
            return fail(win::InvalidHandle);
        container = found->second.container;
        prepared = found->second.prepared;
    }
    if (!prepared && !delay(enumDelay, container))
        return fail(win::Timeout);
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(handle);
    if (found == m_open.end())
        return fail(win::InvalidHandle);
    OpenEnum& open = found->second;
    if (open.first && open.enumError != 0) {
        open.first = false;
        return fail(open.enumError);
    }
    open.first = false;
    const DWORD result = takeBatch(open.records, open.cursor, count, batch, bufferSize);
    if (result != 0)
        return fail(result);
    return 0;
}

DWORD FakePlatform::closeEnum(EnumHandle handle) {
    record([&] { return std::string("closeEnum(#" + std::to_string(handle) + ")"); });
    std::lock_guard lock(m_mutex);
    return m_open.erase(handle) == 1 ? 0 : win::InvalidHandle;
}

void FakePlatform::setLogOn(const std::optional<Credentials>& credentials) {
    record([&] {
        return std::string(
            "setLogOn(" +
            (credentials ? credentials->domain + "\\" + credentials->user : std::string("<none>")) +
            ")");
    });
    std::lock_guard lock(m_mutex);
    m_logOn = credentials;
}

DWORD FakePlatform::logOnResult(const std::string& name, const Container& computer,
                                const std::optional<Credentials>& logOn) {
    if (!logOn || logOn->anonymous())
        return kerberosTicket && computer.acceptsTicket ? win::NoError : win::AccessDenied;
    if (*logOn == *computer.onlyUser)
        return win::NoError;
    ++m_failedLogOns[name];
    return win::LogonFailure;
}

std::uint8_t FakePlatform::netbios(Ncb& ncb) {
    switch (ncb.command) {
    case NCBENUM: {
        record([&] {
            return std::string("netbios(NCBENUM,length=" + std::to_string(ncb.length) + ")");
        });
        if (enumRetcode == NRC_GOODRET && ncb.buffer != nullptr && ncb.length > 0) {
            const std::size_t n = std::min<std::size_t>(lanas.size(), ncb.length - 1u);
            ncb.buffer[0] = static_cast<std::uint8_t>(n);
            for (std::size_t i = 0; i < n; ++i)
                ncb.buffer[1 + i] = lanas[i];
        }
        return ncb.retcode = enumRetcode;
    }
    case NCBRESET:
        record([&] {
            return std::string("netbios(NCBRESET,lana=" + std::to_string(ncb.lanaNum) + ")");
        });
        return ncb.retcode = resetRetcode;
    case NCBASTAT: {
        record([&] {
            return std::string("netbios(NCBASTAT,lana=" + std::to_string(ncb.lanaNum) +
                               ",callname=" + callNameText(ncb.callname) +
                               ",length=" + std::to_string(ncb.length) + ")");
        });
        std::string name(reinterpret_cast<const char*>(ncb.callname), 15);
        name.erase(name.find_last_not_of(' ') + 1);
        // As on a real system, only an enumerated adapter carries a query.
        if (std::find(lanas.begin(), lanas.end(), ncb.lanaNum) == lanas.end())
            return ncb.retcode = NRC_BRIDGE;
        if (!delay(lookupDelay, name))
            return ncb.retcode = NRC_CMDTMO;
        auto found = adapters.find(name);
        if (found == adapters.end() || ncb.buffer == nullptr || ncb.length < 6)
            return ncb.retcode = adapterFailure;
        std::memcpy(ncb.buffer, found->second.data(), 6);
        return ncb.retcode = NRC_GOODRET;
    }
    default:
        record([&] { return std::string("netbios(" + std::to_string(ncb.command) + ")"); });
        return ncb.retcode = NRC_ILLCMD;
    }
}

int FakePlatform::wsaStartup(std::uint16_t version) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", version);
    record([&] { return std::string(std::string("wsaStartup(") + text + ")"); });
    return wsaStartupResult;
}

int FakePlatform::wsaCleanup() {
    record([&] { return std::string("wsaCleanup()"); });
    return 0;
}

std::optional<std::uint32_t> FakePlatform::getHostByName(const char* name) {
    record([&] { return std::string(std::string("getHostByName(") + name + ")"); });
    if (!delay(lookupDelay, name))
        return std::nullopt;
    auto found = addresses.find(name);
    if (found == addresses.end())
        return std::nullopt;
    return found->second;
}

IcmpHandle FakePlatform::icmpCreateFile() {
    record([&] { return std::string("icmpCreateFile()"); });
    if (!icmpAvailable)
        return InvalidIcmpHandle;
    return m_nextIcmp++;
}

bool FakePlatform::icmpCloseHandle(IcmpHandle handle) {
    record([&] { return std::string("icmpCloseHandle(" + std::to_string(handle) + ")"); });
    return handle != InvalidIcmpHandle;
}

DWORD FakePlatform::icmpSendEcho(IcmpHandle handle, std::uint32_t destination, const void* data,
                                 std::uint16_t dataSize, const IpOptionInformation* options,
                                 void* replyBuffer, DWORD replySize, DWORD timeoutMs) {
    char fill[8] = "-";
    if (dataSize > 0)
        std::snprintf(fill, sizeof fill, "%02X", *static_cast<const unsigned char*>(data));
    record([&] {
        return std::string("icmpSendEcho(" + std::to_string(handle) + "," + inetNtoa(destination) +
                           ",size=" + std::to_string(dataSize) +
                           ",ttl=" + std::to_string(options ? options->ttl : 0) +
                           ",tos=" + std::to_string(options ? options->tos : 0) +
                           ",flags=" + std::to_string(options ? options->flags : 0) +
                           ",reply=" + std::to_string(replySize) +
                           ",timeout=" + std::to_string(timeoutMs) + ",fill=" + fill + ")");
    });
    EchoResult result;
    {
        std::lock_guard lock(m_mutex);
        if (echoes.empty()) {
            result.status = IP_REQ_TIMED_OUT;
        } else {
            result = echoes.front();
            echoes.pop_front();
        }
    }
    if (result.delay.count() > 0)
        std::this_thread::sleep_for(result.delay);
    if (result.status != IP_SUCCESS) {
        setLastError(result.status);
        return 0;
    }
    if (replySize < IcmpEchoReplySize + dataSize) {
        setLastError(IP_BUF_TOO_SMALL);
        return 0;
    }
    IcmpEchoReply reply{};
    reply.address = result.from.empty() ? destination : address(result.from);
    reply.status = IP_SUCCESS;
    reply.roundTripTime = result.roundTripTime;
    reply.dataSize = static_cast<std::uint16_t>(result.dataSize < 0 ? dataSize : result.dataSize);
    reply.dataOffset = IcmpEchoReplySize;
    reply.options.ttl = result.ttl;
    std::memcpy(replyBuffer, &reply, sizeof reply);
    std::memcpy(static_cast<unsigned char*>(replyBuffer) + IcmpEchoReplySize, data, dataSize);
    return 1;
}

ComputerRecord FakePlatform::knownFacts(const std::string& computer) {
    const std::lock_guard lock(m_mutex);
    if (const auto known = facts.find(computer); known != facts.end())
        return known->second;
    return NetworkPlatform::knownFacts(computer);
}

} // namespace norvane::test
