#include "ScanWorker.h"

#include "HostIdentity.h"
#include "LogOnPolicy.h"
#include "common/VisibleText.h"

#include <array>
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
    Walk(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
         const StopFlag& stopRequested, CredentialSource* credentials)
        : m_platform(platform), m_inputs(inputs), m_output(output), m_stop(stopRequested),
          m_logOn(platform, credentials) {}

    int run() {
        NetResource provider;
        provider.provider = m_inputs.providerName.toStdString();
        EnumHandle handle = 0;
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
        m_output.setProgressMax(static_cast<int>(domains.records.size()) - 1);
        for (std::size_t i = 0; i < domains.records.size(); ++i) {
            if (m_stop())
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
        for (const NetResource& computer : computers->records) {
            if (m_stop())
                return false;
            if (m_inputs.resourceType == rtComputer)
                addComputerRow(computer, group);
            else if (m_inputs.resourceType == rtSharedFolder ||
                     m_inputs.resourceType == rtSharedPrinter) {
                if (!addShareRows(computer, group))
                    return false;
            }
        }
        return true;
    }

    void addComputerRow(const NetResource& computer, const QString& group) {
        m_output.appendRow();
        const QString caption = text(computer.remoteName);
        m_output.setCaption(visibleText(caption));
        const QByteArray hostName = caption.mid(2).toUtf8();
        const std::optional<QString> address = resolveHostName(m_platform, hostName);
        if (address) {
            m_output.setImage(imgComputer);
            m_output.addSubItem(*address);
        } else {
            m_output.setImage(imgUnresolvedComputer);
            m_output.addSubItem(QString::fromLatin1(NoIpAddress));
        }
        m_output.addSubItem(group);
        m_output.addSubItem(shown(computer.comment));
        if (address) {
            const auto callName = makeCallName(hostName);
            m_output.addSubItem(GetMacAddress(m_platform, m_inputs.lanaNum, callName.data()));
        } else {
            m_output.addSubItem(QString::fromLatin1(NoMacAddress));
        }
    }

    // False when the walk was stopped.
    bool addShareRows(const NetResource& computer, const QString& group) {
        std::optional<ContainerRead> shares;
        m_logOn.list(text(computer.remoteName), group, [&] {
            shares = enumerateContainer(
                m_platform, computer, enumerationType(resourceTypeFromIndex(m_inputs.resourceType)),
                RESOURCEUSAGE_CONNECTABLE, m_buffer);
            return shares ? shares->firstCallResult : m_platform.getLastError();
        });
        if (!shares || shares->firstCallResult != win::NoError)
            return true;
        for (const NetResource& share : shares->records) {
            if (m_stop())
                return false;
            m_output.appendRow();
            m_output.setImage(resourceImage(resourceTypeFromIndex(m_inputs.resourceType)));
            m_output.setCaption(shown(share.remoteName));
            m_output.addSubItem(group);
            m_output.addSubItem(shown(share.comment));
        }
        return true;
    }

    NetworkPlatform& m_platform;
    const ScanInputs& m_inputs;
    ScanOutput& m_output;
    const StopFlag& m_stop;
    std::array<unsigned char, EnumBufferSize> m_buffer{};
    LogOnPolicy m_logOn;
};

} // namespace

int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                const StopFlag& stopRequested, CredentialSource* credentials) {
    return Walk(platform, inputs, output, stopRequested, credentials).run();
}

} // namespace norvane
