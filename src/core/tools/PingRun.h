#pragma once

// One run of the Ping dialog: read the three fields, write the header, send
// the echo requests one by one with a pause after each, write a line per
// request, and stop early at the first check after Cancel. Everything the
// run touches comes in through small interfaces, so that a test drives it
// with the scripted platform and no window.

#include "platform/NetworkPlatform.h"

#include <QString>

#include <chrono>
#include <functional>

namespace norvane {

// The results box.
class PingOutput {
public:
    virtual ~PingOutput() = default;
    virtual void appendLine(const QString& line) = 0;
    virtual int lineCount() const = 0;
    virtual void deleteFirstLine() = 0;
};

enum class PingField { SendSize, RequestCount, TimeOut };

// The option fields of the dialog.
class PingFields {
public:
    virtual ~PingFields() = default;
    virtual QString text(PingField field) const = 0;
    virtual void setText(PingField field, const QString& text) = 0;
    virtual bool dontFragment() const = 0;
};

// The result of one echo request: the reply count and, when it is 0, the
// echo status taken on the thread that sent the request.
struct EchoOutcome {
    DWORD replies = 0;
    DWORD status = 0;
};

// How the run waits. The dialog keeps its window painted while it waits;
// a test returns at once.
class PingPacing {
public:
    virtual ~PingPacing() = default;
    // Lets the user interface handle what is pending: the only point where
    // a press of Cancel is seen.
    virtual void processEvents() = 0;
    virtual void pause(std::chrono::milliseconds duration) = 0;
    // Runs one blocking echo request.
    virtual EchoOutcome send(const std::function<EchoOutcome()>& request) { return request(); }
};

namespace ping {
constexpr int DefaultSendSize = 32;
constexpr int MaxSendSize = 65500;
constexpr int DefaultRequestCount = 4;
constexpr int DefaultTimeOutMs = 1000;
constexpr std::chrono::milliseconds PauseAfterRequest{1000};
constexpr int MaxResultLines = 100;
constexpr std::uint8_t TimeToLive = 32;
constexpr std::uint8_t TypeOfService = 0;
constexpr std::uint8_t SendFill = 0xAA;
} // namespace ping

class PingRun {
public:
    PingRun(NetworkPlatform& platform, IcmpHandle icmpHandle, PingOutput& output,
            PingFields& fields, PingPacing& pacing, const bool& cancelled);

    // One press of Start. `addressText` gives the selected row's address,
    // read after the fields. A field that is not a whole number throws
    // AppError "'%s' is not a valid integer value" before anything is sent.
    void run(const QString& hostName, const std::function<QString()>& addressText);

private:
    int readField(PingField field, int minimum, int maximum, int replacement);
    QString resultLine(const EchoOutcome& outcome, const std::vector<std::uint8_t>& reply) const;

    NetworkPlatform& m_platform;
    IcmpHandle m_icmpHandle;
    PingOutput& m_output;
    PingFields& m_fields;
    PingPacing& m_pacing;
    const bool& m_cancelled;
};

} // namespace norvane
