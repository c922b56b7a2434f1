#include "PingRun.h"

#include "common/AppError.h"

#include <cstring>
#include <limits>
#include <vector>

namespace norvane {

PingRun::PingRun(NetworkPlatform& platform, IcmpHandle icmpHandle, PingOutput& output,
                 PingFields& fields, PingPacing& pacing, const bool& cancelled)
    : m_platform(platform), m_icmpHandle(icmpHandle), m_output(output), m_fields(fields),
      m_pacing(pacing), m_cancelled(cancelled) {}

int PingRun::readField(PingField field, int minimum, int maximum, int replacement) {
    const QString text = m_fields.text(field).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    if (value < minimum || value > maximum) {
        m_fields.setText(field, QString::number(replacement));
        return replacement;
    }
    return value;
}

void PingRun::run(const QString& hostName, const std::function<QString()>& addressText) {
    if (m_icmpHandle == InvalidIcmpHandle) {
        m_output.appendLine(QStringLiteral("Error: Could not initialize icmp.dll."));
        return;
    }
    const int sendSize =
        readField(PingField::SendSize, 1, ping::MaxSendSize, ping::DefaultSendSize);
    const int requestCount = readField(PingField::RequestCount, 1, std::numeric_limits<int>::max(),
                                       ping::DefaultRequestCount);
    const int timeOut =
        readField(PingField::TimeOut, 1, std::numeric_limits<int>::max(), ping::DefaultTimeOutMs);
    const QString address = addressText();

    IpOptionInformation options;
    options.ttl = ping::TimeToLive;
    options.tos = ping::TypeOfService;
    options.flags = m_fields.dontFragment() ? IP_FLAG_DF : 0;
    const std::vector<std::uint8_t> sendBuffer(static_cast<std::size_t>(sendSize), ping::SendFill);
    std::vector<std::uint8_t> replyBuffer(IcmpEchoReplySize + sendBuffer.size());
    const std::uint32_t destination = NetworkPlatform::inetAddr(address.toLatin1().constData());

    if (m_output.lineCount() > ping::MaxResultLines)
        m_output.deleteFirstLine();
    // One multi-argument call, so that a "%" in a host name is never taken
    // for a place holder.
    m_output.appendLine(QStringLiteral("Pinging %1 [%2] with %3 bytes of data:")
                            .arg(hostName, address, QString::number(sendSize)));
    m_output.appendLine(QString());

    for (int request = 0; request < requestCount; ++request) {
        m_pacing.processEvents();
        if (m_cancelled)
            break;
        const EchoOutcome outcome = m_pacing.send([&] {
            EchoOutcome result;
            result.replies = m_platform.icmpSendEcho(
                m_icmpHandle, destination, sendBuffer.data(),
                static_cast<std::uint16_t>(sendBuffer.size()), &options, replyBuffer.data(),
                static_cast<DWORD>(replyBuffer.size()), static_cast<DWORD>(timeOut));
            if (result.replies == 0)
                result.status = m_platform.getLastError();
            return result;
        });
        m_output.appendLine(resultLine(outcome, replyBuffer));
        m_pacing.pause(ping::PauseAfterRequest);
    }
    m_output.appendLine(QString());
}

QString PingRun::resultLine(const EchoOutcome& outcome,
                            const std::vector<std::uint8_t>& reply) const {
    if (outcome.replies == 0) {
        switch (outcome.status) {
        case IP_REQ_TIMED_OUT:
            return QStringLiteral("Request timed out.");
        case IP_PACKET_TOO_BIG:
            return QStringLiteral("Packet needs to be fragmented.");
        default:
            return QStringLiteral("Error: %1.").arg(outcome.status);
        }
    }
    IcmpEchoReply record;
    std::memcpy(&record, reply.data(), sizeof record);
    const QString time = record.roundTripTime == 0
                             ? QStringLiteral("<10")
                             : QStringLiteral("=%1").arg(record.roundTripTime);
    return QStringLiteral("Reply from %1: bytes=%2 time%3ms TTL=%4")
        .arg(QString::fromStdString(NetworkPlatform::inetNtoa(record.address)),
             QString::number(record.dataSize), time, QString::number(record.options.ttl));
}

} // namespace norvane
