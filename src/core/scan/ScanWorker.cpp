#include "ScanWorker.h"

#include "AheadLogOn.h"
#include "HostIdentity.h"
#include "LogOnPolicy.h"
#include "LookAhead.h"
#include "common/VisibleText.h"

#include <iterator>
#include <memory>
#include <vector>

namespace norvane {

namespace {

struct ContainerRead {
    DWORD firstCallResult = win::NoError;
    std::vector<NetResource> records;
};

// Reads every record of an open enumeration with successive calls, each
// handing out what a 16384-byte buffer would hold, until the platform
// reports that no more items remain or a call fails. The first call's
// result tells whether the container could be read at all.
ContainerRead readContainer(NetworkPlatform& platform, EnumHandle handle) {
    ContainerRead read;
    std::vector<NetResource> batch;
    for (bool first = true;; first = false) {
        DWORD count = EnumAllEntries;
        DWORD size = static_cast<DWORD>(EnumBufferSize);
        const DWORD result = platform.enumResource(handle, &count, &batch, &size);
        if (first)
            read.firstCallResult = result;
        if (result != win::NoError || batch.empty())
            break;
        read.records.insert(read.records.end(), std::make_move_iterator(batch.begin()),
                            std::make_move_iterator(batch.end()));
    }
    return read;
}

// Opens, reads and closes one container. Nothing when it cannot be opened.
std::optional<ContainerRead> enumerateContainer(NetworkPlatform& platform,
                                                const NetResource& container, DWORD type,
                                                DWORD usage) {
    EnumHandle handle = 0;
    if (platform.openEnum(RESOURCE_GLOBALNET, type, usage, &container, &handle) != win::NoError)
        return std::nullopt;
    ContainerRead read = readContainer(platform, handle);
    platform.closeEnum(handle);
    return read;
}

// What the look-ups of one computer found, as values: the walk makes the
// row's texts and its record from them.
struct HostFound {
    std::optional<std::uint32_t> address; // network byte order
    std::optional<MacAddress> mac;
    ComputerRecord facts;
};

HostFound lookUpHost(NetworkPlatform& platform, const QByteArray& hostName, std::uint8_t lana) {
    HostFound found;
    found.address = platform.getHostByName(hostName.constData());
    found.facts = platform.knownFacts(hostName.toStdString());
    if (found.address) {
        const auto callName = makeCallName(hostName);
        found.mac = adapterMac(platform, lana, callName.data());
    }
    return found;
}

std::optional<ContainerRead> listShares(NetworkPlatform& platform, const NetResource& computer,
                                        DWORD type) {
    return enumerateContainer(platform, computer, type, RESOURCEUSAGE_CONNECTABLE);
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
        const ContainerRead domains = readContainer(m_platform, handle);
        m_platform.closeEnum(handle);
        if (domains.firstCallResult != win::NoError) {
            m_output.showError(QStringLiteral("Error: ") +
                               QString::number(m_platform.getLastError()) + QLatin1Char('.'));
            return ScanStoppedOrFailed;
        }
        for (const std::string& reason : m_platform.sourceShortfalls())
            m_output.sourceIncomplete(shown(reason));
        m_output.setProgressMax(static_cast<int>(domains.records.size()) - 1);
        const bool shareScan =
            m_inputs.resourceType == rtSharedFolder || m_inputs.resourceType == rtSharedPrinter;
        if (shareScan && m_pool) {
            m_platform.prepareListingsAhead(ListingsAheadAtStart);
            return addShareRowsOfEveryGroup(domains.records) ? ScanCompleted : ScanStoppedOrFailed;
        }
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
        const auto computers =
            enumerateContainer(m_platform, domain, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER);
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
            const QString name = shown(computers[i].remoteName);
            m_output.setCaption(name);
            std::optional<HostFound> found = hosts.take(i);
            const bool stopped = !found;
            addComputerCells(found ? std::move(*found) : HostFound{}, name, computers[i], group);
            if (stopped)
                return false;
        }
        return true;
    }

    // `name`: the computer's name as the list shows it.
    void addComputerCells(HostFound found, const QString& name, const NetResource& computer,
                          const QString& group) {
        if (found.address) {
            m_output.setImage(imgComputer);
            m_output.addSubItem(QString::fromStdString(NetworkPlatform::inetNtoa(*found.address)));
        } else {
            m_output.setImage(imgUnresolvedComputer);
            m_output.addSubItem(QString::fromLatin1(NoIpAddress));
        }
        const QString comment = shown(computer.comment);
        m_output.addSubItem(group);
        m_output.addSubItem(comment);
        m_output.addSubItem(found.mac ? macText(found.mac->data())
                                      : QString::fromLatin1(NoMacAddress));
        auto record = std::make_shared<ComputerRecord>(std::move(found.facts));
        record->name = name.mid(2);
        record->group = group;
        record->comment = comment;
        record->address = found.address;
        record->mac = found.mac;
        // The sources' facts are network text too.
        record->dnsName = visibleText(record->dnsName);
        record->operatingSystem = visibleText(record->operatingSystem);
        record->osVersion = visibleText(record->osVersion);
        if (record->directory)
            record->directory->ouPath = visibleText(record->directory->ouPath);
        m_output.setComputerRecord(std::move(record));
    }

    // Share scans. With look-ahead, the platform checks every computer
    // ahead, side by side, so that computers that have gone cost about one
    // wait together, and lists its shares ahead too with the log-on the
    // policy would start that computer with, when that log-on cannot lock
    // an account. The walk still lists in walk order through the policy,
    // which decides every log-on, prompt and retry as without the listings
    // ahead; the platform hands such a listing the outcome of the one made
    // ahead when both log on alike. Each listing in walk order runs on a
    // thread of its own, so that a stop need not wait for it.
    // Without it, one computer at a time, everything on the walk's thread.
    // False when the walk was stopped.
    bool addShareRowsOfAll(const std::vector<NetResource>& computers, const QString& group) {
        for (const NetResource& computer : computers) {
            if (m_stop.isRequested())
                return false;
            m_platform.prepareListing(computer);
            if (!listInOrder(computer, group))
                return false;
        }
        return true;
    }

    // A share scan with look-ahead checks and lists each group's computers
    // ahead as soon as that group is read, while the walk reads the next
    // groups, and only then takes the listings in walk order, so that the
    // listings of later groups overlap those of earlier ones (a server that
    // wakes slowly costs one wait in the scan, not one per group). Emits
    // exactly what the walk group by group emits. False when the walk was
    // stopped.
    bool addShareRowsOfEveryGroup(const std::vector<NetResource>& domains) {
        std::vector<std::unique_ptr<GroupAhead>> groups;
        std::size_t computers = 0;
        for (std::size_t i = 0; i < domains.size(); ++i) {
            if (m_stop.isRequested())
                return false;
            auto read = enumerateContainer(m_platform, domains[i], RESOURCETYPE_DISK,
                                           RESOURCEUSAGE_CONTAINER);
            if (!read || read->firstCallResult != win::NoError || read->records.empty())
                continue;
            computers += read->records.size();
            m_platform.prepareListingsAhead(computers);
            auto group = std::make_unique<GroupAhead>();
            group->domain = i;
            group->name = shown(domains[i].remoteName);
            group->computers = std::move(read->records);
            m_aheadLogOn.set(group->name, m_logOn.logOnAhead(group->name));
            GroupAhead& ahead = *group;
            group->checks = std::make_unique<LookAhead<bool>>(
                m_pool.get(), ahead.computers.size(),
                [this, &ahead](std::size_t c) {
                    listAhead(ahead.computers[c], ahead.name);
                    return true;
                },
                m_stop, m_platform, m_pool->threadLimit());
            groups.push_back(std::move(group));
        }
        std::size_t next = 0;
        for (std::size_t i = 0; i < domains.size(); ++i) {
            if (m_stop.isRequested())
                return false;
            m_output.setProgressPosition(static_cast<int>(i));
            if (next == groups.size() || groups[next]->domain != i)
                continue;
            GroupAhead& group = *groups[next];
            for (std::size_t c = 0; c < group.computers.size(); ++c) {
                if (m_stop.isRequested() || !group.checks->take(c).has_value())
                    return false;
                if (!listInOrder(group.computers[c], group.name))
                    return false;
                publishLogOnsAhead(groups, next, c + 1);
            }
            ++next;
        }
        return true;
    }

    // One group's computers and their checks and listings ahead.
    struct GroupAhead {
        std::size_t domain = 0;
        QString name;
        std::vector<NetResource> computers;
        // Ends before the computers its look-ups read.
        std::unique_ptr<LookAhead<bool>> checks;
    };

    // What the policy would start each group's listings with, for the
    // listings ahead of `groups` from computer `computer` of group `first`.
    void publishLogOnsAhead(const std::vector<std::unique_ptr<GroupAhead>>& groups,
                            std::size_t first, std::size_t computer) {
        const QString* published = nullptr;
        for (std::size_t g = first; g < groups.size(); ++g) {
            const GroupAhead& group = *groups[g];
            if (g == first && computer >= group.computers.size())
                continue;
            if (published != nullptr && *published == group.name)
                continue;
            published = &group.name;
            m_aheadLogOn.set(group.name, m_logOn.logOnAhead(group.name));
        }
    }

    // Lists `computer` through the log-on policy, in walk order, and adds
    // its rows. False when the walk was stopped.
    bool listInOrder(const NetResource& computer, const QString& group) {
        const DWORD type = enumerationType(resourceTypeFromIndex(m_inputs.resourceType));
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
        return addShareRows(shares, computer, group);
    }

    void listAhead(const NetResource& computer, const QString& group) {
        std::optional<AheadLogOn::LogOn> logOn;
        const DWORD listed = m_platform.listAhead(computer, [&] {
            logOn = m_aheadLogOn.current(group);
            return logOn;
        });
        if (listed == win::LogonFailure && logOn && *logOn)
            m_aheadLogOn.withdraw(**logOn);
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
    // Ends after every look-ahead, which waits for its own look-ups.
    std::unique_ptr<LookupPool> m_pool;
    // The share listing under way, apart from the checks queued ahead.
    std::unique_ptr<LookupPool> m_listingPool;
    LogOnPolicy m_logOn;
    AheadLogOn m_aheadLogOn;
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
