#pragma once

// One LDAP connection to a domain controller through OpenLDAP's client
// library: a TCP connection made here (so that connecting waits at most
// ConnectTimeout and ends at a cancel), a SASL GSSAPI bind with the user's
// Kerberos ticket and a security layer of at least 56 bits (signing and
// sealing), and searches whose every wait is bounded and cancellable. No
// referral is followed; no simple bind exists here.

#include "CancellableWait.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

typedef struct ldap LDAP;
typedef struct ldapmsg LDAPMessage;

namespace norvane::directory {

// Each attribute's first value, cut to MaxValueBytes, under its name in
// lower case; further values, up to MaxValuesPerAttribute in all, under
// "name#1", "name#2", ...
using Attributes = std::map<QByteArray, QByteArray>;

class LdapConnection {
public:
    explicit LdapConnection(const CancellableWait& wait) : m_wait(wait) {}
    LdapConnection(const LdapConnection&) = delete;
    LdapConnection& operator=(const LdapConnection&) = delete;
    ~LdapConnection();

    // host: the controller's DNS name, which names its service principal.
    bool connectTo(const QString& host, std::uint32_t address, std::uint16_t port);
    bool bind();
    // The first entry of a search; an empty map when there is none.
    std::optional<Attributes> readOne(const QByteArray& base, int scope, const QByteArray& filter,
                                      const std::vector<const char*>& attributes);
    // Every entry under `base`, PageSize at a time, each handed to
    // `onEntry` with its DN under the key "dn"; false when a page failed.
    // At most `limit` entries are read.
    bool readPaged(const QByteArray& base, const QByteArray& filter,
                   const std::vector<const char*>& attributes, std::size_t limit,
                   const std::function<void(Attributes&&)>& onEntry);

    // Why the last call failed.
    QString error() const { return m_error; }
    bool cancelled() const { return m_cancelled; }
    // The security layer's strength after bind(), in bits.
    int securityStrength() const { return m_ssf; }

private:
    // The next message of request `id`, waiting until `deadline`; null when
    // the wait ended or the connection failed (the request is abandoned).
    LDAPMessage* awaitMessage(int id, bool all, Deadline deadline, const char* step);
    Attributes attributesOf(LDAPMessage* entry);
    bool fail(const QString& error);

    const CancellableWait& m_wait;
    LDAP* m_ld = nullptr;
    int m_fd = -1;
    int m_ssf = 0;
    bool m_cancelled = false;
    QString m_error;
};

} // namespace norvane::directory
