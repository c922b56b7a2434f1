#pragma once

// Kerberos credential caches for the log-on lab tests.

#include <QByteArray>

#include <krb5.h>

namespace norvane::test {

// Makes the credential cache `name` name `principal` and hold no ticket, as
// one does once its tickets have expired.
inline bool cacheWithoutTickets(const QByteArray& name, const char* principal) {
    krb5_context kerberos = nullptr;
    if (krb5_init_context(&kerberos) != 0)
        return false;
    krb5_ccache cache = nullptr;
    krb5_principal client = nullptr;
    const bool made = krb5_cc_resolve(kerberos, name.constData(), &cache) == 0 &&
                      krb5_parse_name(kerberos, principal, &client) == 0 &&
                      krb5_cc_initialize(kerberos, cache, client) == 0;
    if (client != nullptr)
        krb5_free_principal(kerberos, client);
    if (cache != nullptr)
        krb5_cc_close(kerberos, cache);
    krb5_free_context(kerberos);
    return made;
}

} // namespace norvane::test
