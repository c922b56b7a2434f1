#pragma once

// A scripted network for tests: a test describes what every platform call
// answers (provider, containers and their records, failures with their
// codes, name resolution, adapter status, echo replies, delays), and the
// fake records every call with its arguments. Safe to call from a worker
// thread while a test reads the log.

#include "platform/NetworkPlatform.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace norvane::test {

class FakePlatform : public NetworkPlatform {
public:
    struct Container {
        std::vector<NetResource> records;
        DWORD openError = 0; // openEnum fails with this code when nonzero
        DWORD enumError = 0; // the first enumResource fails with this code when nonzero
        // A computer that refuses anonymous share listing: it takes only
        // this user, or a Kerberos ticket when acceptsTicket. The listing
        // fails with AccessDenied anonymously, with LogonFailure for other
        // credentials (counted in failedLogOns).
        std::optional<Credentials> onlyUser;
        bool acceptsTicket = false;
    };

    struct EchoResult {
        DWORD status = IP_SUCCESS; // nonzero: the call returns 0 and sets this last error
        std::string from;          // dotted reply address; empty: the destination
        std::uint32_t roundTripTime = 0;
        std::int32_t dataSize = -1; // -1: the size sent
        std::uint8_t ttl = 128;
        std::chrono::milliseconds delay{0};
    };

    // --- the script ---
    DWORD providerNameResult = 0;
    std::string providerName = "Microsoft Windows Network";
    int wsaStartupResult = 0;
    std::uint8_t enumRetcode = NRC_GOODRET;
    std::vector<std::uint8_t> lanas{0};
    std::uint8_t resetRetcode = NRC_GOODRET;
    int platformFamily = PlatformIdNT;

    Container provider;                             // the provider's list of domains
    std::map<std::string, Container> containers;    // by remote name: domains and computers
    std::map<std::string, std::uint32_t> addresses; // host name -> address, network order
    std::map<std::string, std::array<std::uint8_t, 6>> adapters; // host name -> unit ID
    std::uint8_t adapterFailure = NRC_CMDTMO; // status of a query no adapter answers

    bool icmpAvailable = true;
    std::deque<EchoResult> echoes; // consumed one per request; empty: timed out

    bool kerberosTicket = false; // the user holds a ticket
    // What the sources know of a computer, by host name; a computer not
    // named here was found by the browse list alone.
    std::map<std::string, ComputerRecord> facts;
    // Why sources left computers out, as sourceShortfalls() reports it.
    std::vector<std::string> shortfalls;

    std::chrono::milliseconds enumDelay{0};
    std::chrono::milliseconds lookupDelay{0};
    // Added to a call's delay: by host name for name and adapter look-ups,
    // by container remote name for enumerations. Waits end early, failing
    // the call, while look-ups are abandoned.
    std::function<std::chrono::milliseconds(const std::string&)> extraDelay;
    // Called at the start of every call with its log line.
    std::function<void(const std::string&)> onCall;
    // Off for benchmarks, so that the log does not grow with the network.
    bool recordCalls = true;

    // --- building a network ---
    Container& addDomain(const std::string& name);
    Container& addComputer(const std::string& domain, const std::string& remoteName,
                           std::optional<std::string> comment = std::nullopt);
    void addShare(const std::string& computerRemoteName, const std::string& shareRemoteName,
                  DWORD type, std::optional<std::string> comment = std::nullopt);
    // Resolvable host with an adapter that answers with `mac`.
    void addHost(const std::string& hostName, const std::string& dotted,
                 std::array<std::uint8_t, 6> mac);
    static std::uint32_t address(const std::string& dotted);

    // --- the log ---
    std::vector<std::string> calls() const;
    std::size_t openHandles() const;
    // Refused log-ons with credentials, by computer.
    int failedLogOns(const std::string& computerRemoteName) const;
    void clearCalls();

    // --- NetworkPlatform ---
    DWORD getProviderName(DWORD netType, char* buffer, DWORD* bufferSize) override;
    DWORD openEnum(DWORD scope, DWORD type, DWORD usage, const NetResource* container,
                   EnumHandle* handle) override;
    DWORD enumResource(EnumHandle handle, DWORD* count, std::vector<NetResource>* batch,
                       DWORD* bufferSize) override;
    DWORD closeEnum(EnumHandle handle) override;
    void setLogOn(const std::optional<Credentials>& credentials) override;
    std::uint8_t netbios(Ncb& ncb) override;
    int wsaStartup(std::uint16_t version) override;
    int wsaCleanup() override;
    std::optional<std::uint32_t> getHostByName(const char* name) override;
    IcmpHandle icmpCreateFile() override;
    bool icmpCloseHandle(IcmpHandle handle) override;
    DWORD icmpSendEcho(IcmpHandle handle, std::uint32_t destination, const void* data,
                       std::uint16_t dataSize, const IpOptionInformation* options,
                       void* replyBuffer, DWORD replySize, DWORD timeoutMs) override;
    int platformId() const override { return platformFamily; }
    ComputerRecord knownFacts(const std::string& computer) override;
    std::vector<std::string> sourceShortfalls() override { return shortfalls; }
    // Waits the listing's delay ahead, so that the listing itself does not.
    void prepareListing(const NetResource& computer) override;
    // Prepares the listing, then lists ahead with the log-on `logOnAhead`
    // gives, when it knows one (its failed log-ons counted like any); the
    // listing that follows with that log-on in force takes the outcome.
    DWORD listAhead(const NetResource& computer, const LogOnAhead& logOnAhead) override;
    void abandonLookups() override;
    void resumeLookups() override;

private:
    struct OpenEnum {
        std::string container;
        std::vector<NetResource> records;
        std::size_t cursor = 0;
        DWORD enumError = 0;
        bool first = true;
        bool prepared = false; // its delays were waited for ahead
    };

    // Logs the call whose line `line()` makes; the line is made only when
    // someone reads it, so that a benchmark does not pay for it.
    template <typename MakeLine> void record(MakeLine line) {
        if (recordCalls || onCall)
            keep(line());
    }
    void keep(const std::string& line);
    DWORD fail(DWORD code);
    // With m_mutex held.
    DWORD logOnResult(const std::string& name, const Container& computer,
                      const std::optional<Credentials>& logOn);
    // Waits the delay of a call about `subject`; false when the wait was
    // cut short by abandoned look-ups.
    bool delay(std::chrono::milliseconds base, const std::string& subject);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::map<EnumHandle, OpenEnum> m_open;
    std::optional<Credentials> m_logOn;
    std::set<std::string> m_prepared; // containers whose delay was waited for ahead
    std::map<std::string, int> m_failedLogOns;
    struct AheadListing {
        std::optional<Credentials> logOn;
        DWORD result = 0;
    };
    std::map<std::string, AheadListing> m_listedAhead; // by container
    EnumHandle m_nextHandle = 1;
    std::condition_variable m_abandonedChanged;
    // Written under m_mutex; read without it where no wait follows.
    std::atomic<bool> m_abandoned{false};
    IcmpHandle m_nextIcmp = 100;
};

// Call name bytes as the log shows them: 15 characters and "\0".
std::string callNameText(const std::uint8_t* callname);

} // namespace norvane::test
