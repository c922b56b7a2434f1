#include "KerberosTicket.h"

#include <QByteArrayView>

#include <krb5.h>

#include <ctime>

namespace norvane::directory {

namespace {

// Frees what it holds when the look-up ends, whichever way.
struct KerberosScope {
    krb5_context context = nullptr;
    krb5_ccache cache = nullptr;
    krb5_principal principal = nullptr;
    char* name = nullptr;

    ~KerberosScope() {
        if (name != nullptr)
            krb5_free_unparsed_name(context, name);
        if (principal != nullptr)
            krb5_free_principal(context, principal);
        if (cache != nullptr)
            krb5_cc_close(context, cache);
        if (context != nullptr)
            krb5_free_context(context);
    }
};

QByteArrayView bytes(const krb5_data& data) {
    return {data.data, qsizetype(data.length)};
}

// A ticket-granting ticket of the client's own realm that has not expired.
bool isLiveTgt(const krb5_creds& creds, const krb5_data& realm) {
    const krb5_principal server = creds.server;
    return server != nullptr && server->length == 2 && bytes(server->data[0]) == "krbtgt" &&
           bytes(server->data[1]) == bytes(realm) && creds.times.endtime > std::time(nullptr);
}

} // namespace

std::optional<KerberosTicket> liveTicket(QString* why) {
    KerberosScope k;
    if (krb5_init_context(&k.context) != 0) {
        *why = QStringLiteral("Kerberos could not be initialised");
        return std::nullopt;
    }
    if (krb5_cc_default(k.context, &k.cache) != 0 ||
        krb5_cc_get_principal(k.context, k.cache, &k.principal) != 0 ||
        krb5_unparse_name(k.context, k.principal, &k.name) != 0) {
        *why = QStringLiteral("no Kerberos credential cache (run kinit)");
        return std::nullopt;
    }
    const krb5_data realm = *krb5_princ_realm(k.context, k.principal);
    krb5_cc_cursor cursor = nullptr;
    bool live = false;
    if (krb5_cc_start_seq_get(k.context, k.cache, &cursor) == 0) {
        krb5_creds creds;
        while (!live && krb5_cc_next_cred(k.context, k.cache, &cursor, &creds) == 0) {
            live = isLiveTgt(creds, realm);
            krb5_free_cred_contents(k.context, &creds);
        }
        krb5_cc_end_seq_get(k.context, k.cache, &cursor);
    }
    if (!live) {
        *why = QStringLiteral("the credential cache holds no live ticket (run kinit)");
        return std::nullopt;
    }
    return KerberosTicket{
        .realm = QString::fromUtf8(realm.data, int(realm.length)),
        .principal = QString::fromUtf8(k.name),
    };
}

} // namespace norvane::directory
