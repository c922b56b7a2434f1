#pragma once

// One DNS question over UDP to the name servers of resolv.conf, in turn,
// each given DnsTimeout; a cancel ends the wait at once. The answer is
// taken only from the server asked (a connected socket) and only with the
// question's id.

#include "CancellableWait.h"
#include "DnsAnswer.h"

#include <QByteArray>

#include <optional>

namespace norvane::directory {

class DnsQuestion {
public:
    explicit DnsQuestion(const CancellableWait& wait) : m_wait(wait) {}

    // type: ns_t_srv or ns_t_a.
    std::optional<DnsAnswer> ask(const QByteArray& name, int type);
    bool cancelled() const { return m_cancelled; }

private:
    const CancellableWait& m_wait;
    bool m_cancelled = false;
};

} // namespace norvane::directory
