#include "ScanWorker.h"

#include "HostIdentity.h"
#include "LogOnPolicy.h"
#include "LookAhead.h"
#include "common/VisibleText.h"

#include <array>
#include <memory>
#include <vector>

namespace norvane {

namespace {

struct ContainerRead {
    DWORD firstCallResult = win::NoError;
    std::vector<NetResource> records;
};

// Reads every record of an open enumeration with successive calls into one
// 16384-byte buffer, until the platform reports that no more items remain
// or a call fails. The first call's result tells whether the container
// could be read at all.
ContainerRead readContainer(NetworkPlatform& platform, EnumHandle handle,
                            std::array<unsigned char, EnumBufferSize>& buffer) {
    ContainerRead read;
    for (bool first = true;; first = false) {
        buffer.fill(0);
        DWORD count = EnumAllEntries;
        DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = platform.enumResource(handle, &count, buffer.data(), &size);
        if (first)
            read.firstCallResult = result;
        if (result != win::NoError)
            break;
        // Never trust the count beyond what the buffer can hold.
        const std::size_t capacity = buffer.size() / sizeof(NetResourceRecord);
        const std::size_t records = count < capacity ? count : capacity;
        for (std::size_t i = 0; i < records; ++i) {
            if (auto resource = readNetResource(buffer.data(), buffer.size(), i))
                read.records.push_back(std::move(*resource));
        }
        if (count == 0)
            break;
    }
    return read;
}

// Opens, reads and closes one container. Nothing when it cannot be opened.
std::optional<ContainerRead> enumerateContainer(NetworkPlatform& platform,
                                                const NetResource& container, DWORD type,
                                                DWORD usage,
                                                std::array<unsigned char, EnumBufferSize>& buffer) {
    EnumHandle handle = 0;
    if (platform.openEnum(RESOURCE_GLOBALNET, type, usage, &container, &handle) != win::NoError)
        return std::nullopt;
    ContainerRead read = readContainer(platform, handle, buffer);
    platform.closeEnum(handle);
    return read;
}

// What the look-ups of one computer found.
struct HostFound {
    std::optional<QString> address;
    QString mac;
    ComputerRecord facts;
};

HostFound lookUpHost(NetworkPlatform& platform, const QByteArray& hostName, std::uint8_t lana) {
    HostFound found;
    found.address = resolveHostName(platform, hostName);
    found.facts = platform.knownFacts(hostName.toStdString());
    if (found.address) {
        const auto callName = makeCallName(hostName);
        found.mac = GetMacAddress(platform, lana, callName.data());
    } else {
        found.mac = QString::fromLatin1(NoMacAddress);
    }
    return found;
}

// A look-up's own buffer: look-ups run side by side.
std::optional<ContainerRead> listShares(NetworkPlatform& platform, const NetResource& computer,
                                        DWORD type) {
    const auto buffer = std::make_unique<std::array<unsigned char, EnumBufferSize>>();
    return enumerateContainer(platform, computer, type, RESOURCEUSAGE_CONNECTABLE, *buffer);
}

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()))
                 : QString();
}

// A text from the network as the list shows it; the look-ups use the text
// as received.
QString shown(const std::optional<std::string>& value) {
    return visibleText(text(value));
}

class Walk {
public:
    Walk(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output, StopRequest& stop,
         CredentialSource* credentials)
        : m_platform(platform), m_inputs(inputs), m_output(output), m_stop(stop),
          m_logOn(platform, credentials) {
        if (m_inputs.lookAheadLimit > 0) {
            m_pool = std::make_unique<LookupPool>(m_inputs.lookAheadLimit);
            m_listingPool = std::make_unique<LookupPool>(1);
        }
    }

    int run() {
        NetResource provider;
        provider.provider = m_inputs.providerName.toStdString();
        EnumHandle handle = 0;
        m_platform.setSourceOptions(m_inputs.sources);
        if (m_platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER,
                                &provider, &handle) != win::NoError) {
            m_output.showError(QStringLiteral("You are not logged in ") +
                               QString::fromUtf8(m_inputs.providerName) + QLatin1Char('.'));
            return ScanStoppedOrFailed;
        }
        const ContainerRead domains = readContainer(m_platform, handle, m_buffer);
        m_platform.closeEnum(handle);
        if (domains.firstCallResult != win::NoError) {
            m_output.showError(QStringLiteral("Error: ") +
                               QString::number(m_platform.getLastError()) + QLatin1Char('.'));
            return ScanStoppedOrFailed;
        }
        for (const std::string& reason : m_platform.sourceShortfalls())
            m_output.sourceIncomplete(shown(reason));
        m_output.setProgressMax(static_cast<int>(domains.records.size()) - 1);
        for (std::size_t i = 0; i < domains.records.size(); ++i) {
            if (m_stop.isRequested())
                return ScanStoppedOrFailed;
            m_output.setProgressPosition(static_cast<int>(i));
            if (!walkDomain(domains.records[i]))
                return ScanStoppedOrFailed;
        }
        return ScanCompleted;
    }

private:
    // False when the walk was stopped.
    bool walkDomain(const NetResource& domain) {
        const auto computers = enumerateContainer(m_platform, domain, RESOURCETYPE_DISK,
                                                  RESOURCEUSAGE_CONTAINER, m_buffer);
        if (!computers || computers->firstCallResult != win::NoError)
            return true;
        const QString group = shown(domain.remoteName);
        const std::vector<NetResource>& records = computers->records;
        if (m_inputs.resourceType == rtComputer)
            return addComputerRows(records, group);
        if (m_inputs.resourceType == rtSharedFolder || m_inputs.resourceType == rtSharedPrinter)
            return addShareRowsOfAll(records, group);
        return true;
    }

    static QByteArray hostNameOf(const NetResource& computer) {
        return text(computer.remoteName).mid(2).toUtf8();
    }

    // False when the walk was stopped.
    bool addComputerRows(const std::vector<NetResource>& computers, const QString& group) {
        LookAhead<HostFound> hosts(
            m_pool.get(), computers.size(),
            [this, &computers](std::size_t i) {
                return lookUpHost(m_platform, hostNameOf(computers[i]), m_inputs.lanaNum);
            },
            m_stop, m_platform);
        for (std::size_t i = 0; i < computers.size(); ++i) {
            if (m_stop.isRequested())
                return false;
            m_output.appendRow();
            m_output.setCaption(shown(computers[i].remoteName));
            const std::optional<HostFound> found = hosts.take(i);
            addComputerCells(found.value_or(HostFound{.address = std::nullopt,
                                                      .mac = QString::fromLatin1(NoMacAddress),
                                                      .facts = {}}),
                             computers[i], group);
            if (!found)
                return false;
        }
        return true;
    }

    void addComputerCells(const HostFound& found, const NetResource& computer,
                          const QString& group) {
        if (found.address) {
            m_output.setImage(imgComputer);
            m_output.addSubItem(*found.address);
        } else {
            m_output.setImage(imgUnresolvedComputer);
            m_output.addSubItem(QString::fromLatin1(NoIpAddress));
        }
        m_output.addSubItem(group);
        m_output.addSubItem(shown(computer.comment));
        m_output.addSubItem(found.mac);
        auto record = std::make_shared<ComputerRecord>(found.facts);
        record->name = shown(computer.remoteName).mid(2);
        record->group = group;
        record->comment = shown(computer.comment);
        if (found.address)
            record->address = NetworkPlatform::inetAddr(found.address->toLatin1().constData());
        record->mac = macFromText(found.mac);
        // The sources' facts are network text too.
        record->dnsName = visibleText(record->dnsName);
        record->operatingSystem = visibleText(record->operatingSystem);
        record->osVersion = visibleText(record->osVersion);
        if (record->directory)
            record->directory->ouPath = visibleText(record->directory->ouPath);
        m_output.setComputerRecord(std::move(record));
    }

    // False when the walk was stopped. The platform checks every computer
    // ahead, side by side, so that computers that have gone cost about one
    // wait together. The listings themselves run one after the other, in
    // walk order: the log-on in force is the platform's and may change at
    // any computer, and the SMB library serves one listing at a time. Each
    // listing runs on a thread of its own, so that a stop need not wait for
    // it.
    bool addShareRowsOfAll(const std::vector<NetResource>& computers, const QString& group) {
        const DWORD type = enumerationType(resourceTypeFromIndex(m_inputs.resourceType));
        LookAhead<bool> checks(
            m_pool.get(), computers.size(),
            [this, &computers](std::size_t i) {
                m_platform.prepareListing(computers[i]);
                return true;
            },
            m_stop, m_platform);
        for (std::size_t i = 0; i < computers.size(); ++i) {
            if (m_stop.isRequested() || !checks.take(i).has_value())
                return false;
            const NetResource& computer = computers[i];
            std::optional<ContainerRead> shares;
            bool stopped = false;
            const DWORD listed = m_logOn.list(text(computer.remoteName), group, [&] {
                LookAhead<std::optional<ContainerRead>> listing(
                    m_listingPool.get(), 1,
                    [&](std::size_t) { return listShares(m_platform, computer, type); }, m_stop,
                    m_platform);
                auto taken = listing.take(0);
                stopped = !taken;
                shares = taken ? std::move(*taken) : std::nullopt;
                return shares ? shares->firstCallResult : win::Timeout;
            });
            if (stopped)
                return false;
            if (LogOnPolicy::isRefusal(listed))
                m_output.logOnRefused(shown(computer.remoteName));
            if (!addShareRows(shares, computer, group))
                return false;
        }
        return true;
    }

    // False when the walk was stopped.
    bool addShareRows(const std::optional<ContainerRead>& shares, const NetResource& computer,
                      const QString& group) {
        if (!shares || shares->firstCallResult != win::NoError)
            return true;
        const TResourceType type = resourceTypeFromIndex(m_inputs.resourceType);
        for (const NetResource& share : shares->records) {
            if (m_stop.isRequested())
                return false;
            m_output.appendRow();
            m_output.setImage(resourceImage(type));
            const QString caption = shown(share.remoteName);
            m_output.setCaption(caption);
            m_output.addSubItem(group);
            m_output.addSubItem(shown(share.comment));
            m_output.setShareRecord(std::make_shared<const ShareRecord>(
                ShareRecord{.computer = shown(computer.remoteName).mid(2),
                            .name = caption.mid(caption.lastIndexOf(QLatin1Char('\\')) + 1),
                            .kind = type == rtSharedPrinter ? ShareKind::Printer : ShareKind::Disk,
                            .group = group,
                            .comment = shown(share.comment)}));
        }
        return true;
    }

    NetworkPlatform& m_platform;
    const ScanInputs& m_inputs;
    ScanOutput& m_output;
    StopRequest& m_stop;
    std::array<unsigned char, EnumBufferSize> m_buffer{};
    // Ends after every look-ahead, which waits for its own look-ups.
    std::unique_ptr<LookupPool> m_pool;
    // The share listing under way, apart from the checks queued ahead.
    std::unique_ptr<LookupPool> m_listingPool;
    LogOnPolicy m_logOn;
};

} // namespace

int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                StopRequest& stop, CredentialSource* credentials) {
    return Walk(platform, inputs, output, stop, credentials).run();
}

int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                const StopFlag& stopRequested, CredentialSource* credentials) {
    StopRequest stop(stopRequested);
    return ScanNetwork(platform, inputs, output, stop, credentials);
}

} // namespace norvane
