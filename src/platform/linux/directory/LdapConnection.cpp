#include "LdapConnection.h"

#include "../Logging.h"
#include "DirectoryLimits.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ldap.h>
#include <openldap.h>
#include <sasl/sasl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace norvane::directory {

namespace {

// Minimum SASL security strength: integrity and confidentiality.
constexpr ber_len_t MinSecurityStrength = 56;

// Answers Cyrus SASL's questions without asking anyone: GSSAPI takes the
// identity from the ticket, so every answer is its default or empty.
int answerSilently(LDAP*, unsigned, void*, void* prompts) {
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
         ++prompt) {
        prompt->result = prompt->defresult != nullptr ? prompt->defresult : "";
        prompt->len = unsigned(std::strlen(static_cast<const char*>(prompt->result)));
    }
    return LDAP_SUCCESS;
}

// Frees an LDAP message when it goes out of scope.
struct MessageScope {
    LDAPMessage* message = nullptr;
    ~MessageScope() {
        if (message != nullptr)
            ldap_msgfree(message);
    }
};

QByteArray bounded(const berval* value) {
    const std::size_t length = std::min<std::size_t>(value->bv_len, MaxValueBytes);
    return QByteArray(value->bv_val, qsizetype(length));
}

} // namespace

LdapConnection::~LdapConnection() {
    if (m_ld != nullptr)
        ldap_unbind_ext(m_ld, nullptr, nullptr); // closes m_fd too
    else if (m_fd >= 0)
        close(m_fd);
}

bool LdapConnection::fail(const QString& error) {
    m_error = error;
    return false;
}

bool LdapConnection::connectTo(const QString& host, std::uint32_t address, std::uint16_t port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return fail(QStringLiteral("no socket"));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS)
            return fail(QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        const WaitResult waited = m_wait.writable(m_fd, deadlineIn(ConnectTimeout));
        if (waited == WaitResult::Cancelled) {
            m_cancelled = true;
            return fail(QStringLiteral("cancelled while connecting"));
        }
        if (waited == WaitResult::TimedOut)
            return fail(QStringLiteral("no connection within %1 ms").arg(ConnectTimeout.count()));
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return fail(QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(strerror(error))));
    }
    const QByteArray url = "ldap://" + host.toLatin1() + ':' + QByteArray::number(port);
    if (ldap_init_fd(m_fd, LDAP_PROTO_TCP, url.constData(), &m_ld) != LDAP_SUCCESS)
        return fail(QStringLiteral("the LDAP library refused the connection"));
    const int version = LDAP_VERSION3;
    const ber_len_t minimum = MinSecurityStrength;
    if (ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
        ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
        // The service principal is ldap/<host> as the SRV record names it,
        // not whatever a reverse look-up of the address says.
        ldap_set_option(m_ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON) != LDAP_OPT_SUCCESS ||
        ldap_set_option(m_ld, LDAP_OPT_X_SASL_SSF_MIN, &minimum) != LDAP_OPT_SUCCESS)
        return fail(QStringLiteral("the LDAP library refused its options"));
    return true;
}

LDAPMessage* LdapConnection::awaitMessage(int id, bool all, Deadline deadline, const char* step) {
    for (;;) {
        // What the library has buffered (decrypted by the security layer)
        // comes first; the socket is polled only when nothing is.
        timeval now{.tv_sec = 0, .tv_usec = 0};
        LDAPMessage* message = nullptr;
        const int type = ldap_result(m_ld, id, all ? LDAP_MSG_ALL : LDAP_MSG_ONE, &now, &message);
        if (type > 0)
            return message;
        if (type < 0) {
            int code = LDAP_OTHER;
            ldap_get_option(m_ld, LDAP_OPT_RESULT_CODE, &code);
            fail(QStringLiteral("%1: %2").arg(QLatin1String(step),
                                              QString::fromUtf8(ldap_err2string(code))));
            return nullptr;
        }
        const WaitResult waited = m_wait.readable(m_fd, deadline);
        if (waited == WaitResult::Ready)
            continue;
        ldap_abandon_ext(m_ld, id, nullptr, nullptr);
        m_cancelled = waited == WaitResult::Cancelled;
        fail(m_cancelled ? QStringLiteral("%1: cancelled").arg(QLatin1String(step))
                         : QStringLiteral("%1: no answer in time").arg(QLatin1String(step)));
        return nullptr;
    }
}

bool LdapConnection::bind() {
    const Deadline deadline = deadlineIn(BindTimeout);
    MessageScope reply;
    const char* mechanism = nullptr;
    int id = -1;
    int code = LDAP_SASL_BIND_IN_PROGRESS;
    for (;;) {
        code =
            ldap_sasl_interactive_bind(m_ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                       answerSilently, nullptr, reply.message, &mechanism, &id);
        ldap_msgfree(reply.message);
        reply.message = nullptr;
        if (code != LDAP_SASL_BIND_IN_PROGRESS)
            break;
        reply.message = awaitMessage(id, true, deadline, "bind");
        if (reply.message == nullptr)
            return false;
    }
    if (code != LDAP_SUCCESS) {
        char* detail = nullptr;
        ldap_get_option(m_ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &detail);
        const QString why =
            QStringLiteral("bind: %1%2")
                .arg(QString::fromUtf8(ldap_err2string(code)),
                     detail != nullptr
                         ? QStringLiteral(" (%1)").arg(QString::fromUtf8(detail).left(200))
                         : QString());
        ldap_memfree(detail);
        return fail(why);
    }
    ber_len_t strength = 0;
    ldap_get_option(m_ld, LDAP_OPT_X_SASL_SSF, &strength);
    m_ssf = int(strength);
    if (strength < MinSecurityStrength)
        return fail(QStringLiteral("bind: a security layer of %1 bits is too weak").arg(m_ssf));
    return true;
}

Attributes LdapConnection::attributesOf(LDAPMessage* entry) {
    Attributes attributes;
    if (char* dn = ldap_get_dn(m_ld, entry)) {
        attributes["dn"] = QByteArray(dn).left(qsizetype(MaxValueBytes));
        ldap_memfree(dn);
    }
    BerElement* position = nullptr;
    for (char* name = ldap_first_attribute(m_ld, entry, &position); name != nullptr;
         name = ldap_next_attribute(m_ld, entry, position)) {
        if (berval** values = ldap_get_values_len(m_ld, entry, name)) {
            const QByteArray key = QByteArray(name).toLower();
            for (int i = 0; i < MaxValuesPerAttribute && values[i] != nullptr; ++i)
                attributes[i == 0 ? key : key + '#' + QByteArray::number(i)] = bounded(values[i]);
            ldap_value_free_len(values);
        }
        ldap_memfree(name);
    }
    if (position != nullptr)
        ber_free(position, 0);
    return attributes;
}

std::optional<Attributes> LdapConnection::readOne(const QByteArray& base, int scope,
                                                  const QByteArray& filter,
                                                  const std::vector<const char*>& attributes) {
    std::vector<char*> names;
    for (const char* name : attributes)
        names.push_back(const_cast<char*>(name));
    names.push_back(nullptr);
    int id = -1;
    const int sent = ldap_search_ext(m_ld, base.constData(), scope, filter.constData(),
                                     names.data(), 0, nullptr, nullptr, nullptr, 1, &id);
    if (sent != LDAP_SUCCESS) {
        fail(QStringLiteral("search: %1").arg(QString::fromUtf8(ldap_err2string(sent))));
        return std::nullopt;
    }
    MessageScope all{.message = awaitMessage(id, true, deadlineIn(PageTimeout), "search")};
    if (all.message == nullptr)
        return std::nullopt;
    Attributes found;
    LDAPMessage* entry = ldap_first_entry(m_ld, all.message);
    if (entry != nullptr)
        found = attributesOf(entry);
    return found;
}

bool LdapConnection::readPaged(const QByteArray& base, const QByteArray& filter,
                               const std::vector<const char*>& attributes, std::size_t limit,
                               const std::function<void(Attributes&&)>& onEntry) {
    std::vector<char*> names;
    for (const char* name : attributes)
        names.push_back(const_cast<char*>(name));
    names.push_back(nullptr);
    berval* cookie = nullptr;
    std::size_t read = 0;
    bool ok = true;
    for (int page = 0; ok && page < MaxPages; ++page) {
        LDAPControl* paging = nullptr;
        if (ldap_create_page_control(m_ld, PageSize, cookie, 1, &paging) != LDAP_SUCCESS) {
            ok = fail(QStringLiteral("search: no page control"));
            break;
        }
        LDAPControl* controls[] = {paging, nullptr};
        int id = -1;
        const int sent =
            ldap_search_ext(m_ld, base.constData(), LDAP_SCOPE_SUBTREE, filter.constData(),
                            names.data(), 0, controls, nullptr, nullptr, 0, &id);
        ldap_control_free(paging);
        if (sent != LDAP_SUCCESS) {
            ok = fail(QStringLiteral("search: %1").arg(QString::fromUtf8(ldap_err2string(sent))));
            break;
        }
        ber_bvfree(cookie);
        cookie = nullptr;
        const Deadline deadline = deadlineIn(PageTimeout);
        bool pageDone = false;
        while (!pageDone) {
            MessageScope message{.message = awaitMessage(id, false, deadline, "search page")};
            if (message.message == nullptr) {
                ok = false;
                break;
            }
            switch (ldap_msgtype(message.message)) {
            case LDAP_RES_SEARCH_ENTRY:
                if (read < limit) {
                    ++read;
                    onEntry(attributesOf(message.message));
                }
                break;
            case LDAP_RES_SEARCH_RESULT: {
                pageDone = true;
                int code = LDAP_OTHER;
                LDAPControl** returned = nullptr;
                if (ldap_parse_result(m_ld, message.message, &code, nullptr, nullptr, nullptr,
                                      &returned, 0) != LDAP_SUCCESS ||
                    code != LDAP_SUCCESS) {
                    ok = fail(
                        QStringLiteral("search: %1").arg(QString::fromUtf8(ldap_err2string(code))));
                } else if (LDAPControl* response =
                               ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, returned, nullptr)) {
                    ber_int_t estimate = 0;
                    berval next{.bv_len = 0, .bv_val = nullptr};
                    if (ldap_parse_pageresponse_control(m_ld, response, &estimate, &next) ==
                            LDAP_SUCCESS &&
                        next.bv_len > 0)
                        cookie = ber_bvdup(&next);
                    ber_memfree(next.bv_val);
                }
                ldap_controls_free(returned);
                break;
            }
            default:
                break; // references: no referral is followed
            }
        }
        qCDebug(lcDirectory) << "page" << page + 1 << "read;" << read << "entries so far";
        if (cookie == nullptr || read >= limit)
            break;
    }
    if (cookie != nullptr) {
        ber_bvfree(cookie);
        if (ok)
            qCWarning(lcDirectory) << "directory read cut short after" << read << "entries";
    }
    return ok;
}

} // namespace norvane::directory
