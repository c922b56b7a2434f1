#pragma once

// How one scan logs on to list the shares of each computer. A listing runs
// with the log-on in force: at first none, which the platform turns into
// the user's Kerberos ticket where one fits, else the anonymous log-on. At a
// computer that refuses it, the policy takes the credentials remembered for
// the computer's group, else asks the user, at most once per scan; what the
// user gives stays in force for the rest of the scan, Cancel leaves the
// rest of the scan anonymous. A computer that refuses given credentials is
// skipped. Credentials refused as a wrong name or password are dropped at
// once: each costs one failed log-on per scan, however many computers
// follow, so that a scan never locks a domain account.

#include "CredentialSource.h"
#include "platform/NetworkPlatform.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace norvane {

class LogOnPolicy {
public:
    // `source` may be null: no remembered credentials and nobody to ask.
    LogOnPolicy(NetworkPlatform& platform, CredentialSource* source);
    LogOnPolicy(const LogOnPolicy&) = delete;
    LogOnPolicy& operator=(const LogOnPolicy&) = delete;
    // Leaves the platform without credentials.
    ~LogOnPolicy();

    // Lists the shares of `computer` of `group`: `list` runs the listing
    // with the log-on in force and returns its result; after a refusal it
    // runs again while other credentials are at hand. Returns the result
    // of the last run.
    DWORD list(const QString& computer, const QString& group, const std::function<DWORD()>& list);

    // The log-on the next listing of a computer of `group` starts with, when
    // a listing made ahead may use it: none, or credentials proved in this
    // scan; nothing while the credentials it would start with are not
    // proved, since a wrong password must be tried once only.
    std::optional<std::optional<Credentials>> logOnAhead(const QString& group);

    static bool isRefusal(DWORD result);

private:
    enum class Origin { None, Remembered, Given };

    Origin originFor(const QString& group);
    const std::optional<Credentials>& rememberedFor(const QString& group);
    // Other credentials after a refusal at `computer`; false when none.
    bool takeOther(const QString& computer, const QString& group);
    DWORD run(const QString& group, const std::function<DWORD()>& list);
    void use(Origin origin, const QString& group);

    NetworkPlatform& m_platform;
    CredentialSource* m_source;
    std::map<QString, std::optional<Credentials>> m_remembered; // by group, once looked up
    std::optional<Credentials> m_given;
    bool m_asked = false;
    bool m_anonymousOnly = false; // cancelled: no credentials for the rest of the scan
    bool m_rememberGiven = false;
    QString m_givenFor; // the group the user was asked for
    std::optional<Credentials> m_inForce;
    // Credentials a computer took after refusing the log-on without them.
    std::vector<Credentials> m_proved;
    Origin m_inForceOrigin = Origin::None;
};

} // namespace norvane
