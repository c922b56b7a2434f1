#pragma once

// The network services the scan engine, the start-up checks and the Ping
// dialog rely on, gathered in one interface. The operations keep the shapes
// of the Windows networking calls they stand for (enumerations handed out
// in buffer-sized pieces, NetBIOS control blocks, echo reply records) so that
// the logic above them can be written and tested once, whatever answers them.
// Result codes: 0 is success, anything else a Windows error number.

#include "common/Credentials.h"
#include "common/WinErrors.h"
#include "platform/SourceOptions.h"
#include "records/ComputerRecord.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// Codes of the WNet enumeration.
constexpr DWORD WNNC_NET_LANMAN = 0x00020000;
constexpr DWORD RESOURCE_GLOBALNET = 2;
constexpr DWORD RESOURCETYPE_ANY = 0;
constexpr DWORD RESOURCETYPE_DISK = 1;
constexpr DWORD RESOURCETYPE_PRINT = 2;
constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 1;
constexpr DWORD RESOURCEUSAGE_CONTAINER = 2;
constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0;
constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 1;
constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 2;
constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 3;
constexpr DWORD RESOURCEDISPLAYTYPE_NETWORK = 6;

constexpr std::size_t EnumBufferSize = 16384;
constexpr DWORD EnumAllEntries = 0xFFFFFFFFu;
constexpr std::size_t ProviderNameSize = 256;

// A resource record: what an enumeration is opened on and what it hands out.
struct NetResource {
    DWORD scope = 0;
    DWORD type = 0;
    DWORD displayType = 0;
    DWORD usage = 0;
    std::optional<std::string> localName;
    std::optional<std::string> remoteName;
    std::optional<std::string> comment;
    std::optional<std::string> provider;
};

// Opaque enumeration handle.
using EnumHandle = std::uintptr_t;

// NetBIOS.
constexpr std::uint8_t NCBENUM = 0x37;
constexpr std::uint8_t NCBRESET = 0x32;
constexpr std::uint8_t NCBASTAT = 0x33;
constexpr std::uint8_t NRC_GOODRET = 0x00;
constexpr std::uint8_t NRC_BUFLEN = 0x01;
constexpr std::uint8_t NRC_CMDTMO = 0x05;
constexpr std::uint8_t NRC_ILLCMD = 0x03;
constexpr std::uint8_t NRC_NOCALL = 0x14;
constexpr std::uint8_t NRC_BRIDGE = 0x23;
constexpr std::uint8_t NRC_ENVNOTDEF = 0x34;
constexpr std::uint8_t NRC_SYSTEM = 0x40;
constexpr std::size_t NcbNameSize = 16;
constexpr std::size_t LanaEnumSize = 256;
constexpr std::size_t AdapterStatusBufferSize = 4650;

// The NetBIOS control block: the fields the program sets or reads.
struct Ncb {
    std::uint8_t command = 0;
    std::uint8_t retcode = 0;
    std::uint8_t lsn = 0;
    std::uint8_t num = 0;
    std::uint8_t* buffer = nullptr;
    std::uint16_t length = 0;
    std::uint8_t callname[NcbNameSize] = {};
    std::uint8_t name[NcbNameSize] = {};
    std::uint8_t rto = 0;
    std::uint8_t sto = 0;
    std::uint8_t lanaNum = 0;
    std::uint8_t cmdCplt = 0;
};

// ICMP echo.
using IcmpHandle = std::intptr_t;
constexpr IcmpHandle InvalidIcmpHandle = -1;
constexpr DWORD IP_SUCCESS = 0;
constexpr DWORD IP_BUF_TOO_SMALL = 11001;
constexpr DWORD IP_DEST_NET_UNREACHABLE = 11002;
constexpr DWORD IP_DEST_HOST_UNREACHABLE = 11003;
constexpr DWORD IP_DEST_PROT_UNREACHABLE = 11004;
constexpr DWORD IP_DEST_PORT_UNREACHABLE = 11005;
constexpr DWORD IP_NO_RESOURCES = 11006;
constexpr DWORD IP_BAD_OPTION = 11007;
constexpr DWORD IP_HW_ERROR = 11008;
constexpr DWORD IP_PACKET_TOO_BIG = 11009;
constexpr DWORD IP_REQ_TIMED_OUT = 11010;
constexpr DWORD IP_BAD_REQ = 11011;
constexpr DWORD IP_BAD_ROUTE = 11012;
constexpr DWORD IP_TTL_EXPIRED_TRANSIT = 11013;
constexpr DWORD IP_TTL_EXPIRED_REASSEM = 11014;
constexpr DWORD IP_PARAM_PROBLEM = 11015;
constexpr DWORD IP_SOURCE_QUENCH = 11016;
constexpr DWORD IP_GENERAL_FAILURE = 11050;
constexpr std::uint8_t IP_FLAG_DF = 2;

struct IpOptionInformation {
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;
    std::uint8_t flags = 0;
    std::uint8_t optionsSize = 0;
};

// The echo reply record at the start of the reply buffer: 28 bytes, the
// echoed data after it. Addresses are in network byte order.
struct IcmpEchoReply {
    std::uint32_t address;
    std::uint32_t status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
    std::uint16_t reserved;
    std::uint32_t dataOffset;
    IpOptionInformation options;
    std::uint32_t optionsDataOffset;
};
static_assert(sizeof(IcmpEchoReply) == 28);
constexpr std::size_t IcmpEchoReplySize = sizeof(IcmpEchoReply);

// Windows platform identifier of the NT family.
constexpr int PlatformIdNT = 2;

class NetworkPlatform {
public:
    NetworkPlatform() = default;
    NetworkPlatform(const NetworkPlatform&) = delete;
    NetworkPlatform& operator=(const NetworkPlatform&) = delete;
    virtual ~NetworkPlatform() = default;

    // WNet enumeration.
    virtual DWORD getProviderName(DWORD netType, char* buffer, DWORD* bufferSize) = 0;
    virtual DWORD openEnum(DWORD scope, DWORD type, DWORD usage, const NetResource* container,
                           EnumHandle* handle) = 0;
    // Hands out the next records of an open enumeration in `batch`: at most
    // `*count` (EnumAllEntries: no limit), and as many as a buffer of
    // `*bufferSize` bytes would hold (EnumBatch.h), so that a container
    // comes in the pieces the Windows call would give.
    virtual DWORD enumResource(EnumHandle handle, DWORD* count, std::vector<NetResource>* batch,
                               DWORD* bufferSize) = 0;
    virtual DWORD closeEnum(EnumHandle handle) = 0;

    // The log-on of the share listings that follow. Without credentials a
    // listing logs on with the user's Kerberos ticket where one fits, else
    // anonymously. Given credentials are tried alone, once per listing, so
    // that a wrong password costs one failed log-on; a listing they do not
    // open fails with LogonFailure (or AccessDenied). Stands for a
    // connection to a server's IPC$ share made with a name and password.
    virtual void setLogOn(const std::optional<Credentials>& credentials);
    // The directory and address-range sources' options for the rounds that
    // follow; a platform without such sources ignores them.
    virtual void setSourceOptions(const SourceOptions& options) { (void)options; }

    // NetBIOS: runs the control block synchronously; returns its return code,
    // which it also stores in ncb.retcode.
    virtual std::uint8_t netbios(Ncb& ncb) = 0;

    // Sockets.
    virtual int wsaStartup(std::uint16_t version) = 0;
    virtual int wsaCleanup() = 0;
    // The first IPv4 address of a host name, in network byte order; nothing
    // when the name does not resolve.
    virtual std::optional<std::uint32_t> getHostByName(const char* name) = 0;
    // Dotted text of an address in network byte order, and back; inetAddr
    // returns 0xFFFFFFFF (INADDR_NONE) for text that is not an address.
    static std::string inetNtoa(std::uint32_t address);
    static std::uint32_t inetAddr(const char* text);

    // ICMP echo. icmpSendEcho returns the number of replies (0 or 1) and sets
    // the last error to the echo status when it returns 0.
    virtual IcmpHandle icmpCreateFile() = 0;
    virtual bool icmpCloseHandle(IcmpHandle handle) = 0;
    virtual DWORD icmpSendEcho(IcmpHandle handle, std::uint32_t destination, const void* data,
                               std::uint16_t dataSize, const IpOptionInformation* options,
                               void* replyBuffer, DWORD replySize, DWORD timeoutMs) = 0;

    // Finds out now what a listing of `computer`'s shares would first have
    // to wait for (the computer's address, whether it takes connections),
    // so that the listing that follows soon does not wait for it. Runs on
    // any thread, side by side with other calls; a walk calls it for the
    // computers after the one it lists, since listings run one at a time.
    virtual void prepareListing(const NetResource& computer) { static_cast<void>(computer); }
    // Gets ready, without waiting, to list about `count` servers' shares
    // ahead (listAhead) side by side, so that what each listing needs first
    // is ready by the time the walk has read which computers to list.
    virtual void prepareListingsAhead(std::size_t count) { static_cast<void>(count); }
    // The log-on a listing ahead is made with, asked for just before the
    // listing connects, so that one made later takes what the walk learnt
    // meanwhile: inside, none means the user's Kerberos ticket where one
    // fits, else anonymously; nothing when it is not known yet (a prompt's
    // answer is awaited).
    using LogOnAhead = std::function<std::optional<std::optional<Credentials>>()>;
    // Prepares the listing of `computer`'s shares as prepareListing does
    // and, when `logOnAhead` knows the log-on by then, lists them now with
    // it instead of the log-on in force; the listing itself may be what
    // finds out whether the computer takes connections. Keeps the outcome
    // for the listing of that computer that follows: that one takes it when
    // the log-on in force then is the same, and lists anew otherwise. Runs
    // on any thread, side by side with other listings. Returns the listing's
    // result; NoError when nothing was listed. A walk hands it only log-ons
    // that cannot lock an account: none, or credentials a computer has taken
    // in this scan.
    virtual DWORD listAhead(const NetResource& computer, const LogOnAhead& logOnAhead) {
        static_cast<void>(logOnAhead);
        prepareListing(computer);
        return win::NoError;
    }

    // What the platform knows of a computer of the latest browse beyond its
    // name, group, comment and addresses: the sources that found it, its
    // DNS name, operating system and directory account. Runs on any thread.
    virtual ComputerRecord knownFacts(const std::string& computer) {
        static_cast<void>(computer);
        ComputerRecord facts;
        facts.foundBy = FoundBy::BrowseList;
        return facts;
    }

    // Why sources the user asked for could not read what they should have
    // in the browse opened last (a directory none of whose controllers
    // could be read), one line each, so that a list with holes does not
    // pass for a complete one. Call once the provider level has been read.
    virtual std::vector<std::string> sourceShortfalls() { return {}; }

    // Look-ups running on other threads (name resolution, adapter status,
    // share listing) give up as soon as they can and new ones fail at once,
    // until resumeLookups(). A walk that is stopped abandons its look-ups
    // this way instead of waiting for a network that does not answer.
    virtual void abandonLookups() {}
    virtual void resumeLookups() {}

    // The last error of the calling thread.
    virtual DWORD getLastError() const;
    // The platform family; everything but the old consumer family counts as NT.
    virtual int platformId() const { return PlatformIdNT; }

protected:
    static void setLastError(DWORD code);
};

} // namespace norvane
