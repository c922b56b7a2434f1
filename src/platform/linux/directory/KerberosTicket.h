#pragma once

// What the user's default Kerberos credential cache holds: the realm of a
// ticket-granting ticket that has not expired. Nothing is asked and no
// ticket is requested.

#include <QString>

#include <optional>

namespace norvane::directory {

struct KerberosTicket {
    QString realm;
    QString principal;
};

// The cache's principal and realm when it holds a live ticket-granting
// ticket; nothing otherwise, with the reason in `why`.
std::optional<KerberosTicket> liveTicket(QString* why);

} // namespace norvane::directory
