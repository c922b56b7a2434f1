#include "LogOnPolicy.h"

#include <algorithm>
#include <utility>

namespace norvane {

LogOnPolicy::LogOnPolicy(NetworkPlatform& platform, CredentialSource* source)
    : m_platform(platform), m_source(source) {}

LogOnPolicy::~LogOnPolicy() {
    if (m_inForce)
        m_platform.setLogOn(std::nullopt);
}

bool LogOnPolicy::isRefusal(DWORD result) {
    return result == win::AccessDenied || result == win::LogonFailure;
}

DWORD LogOnPolicy::list(const QString& computer, const QString& group,
                        const std::function<DWORD()>& list) {
    use(originFor(group), group);
    DWORD result = run(group, list);
    // Each round takes credentials not tried yet, so this ends within three.
    bool retried = false;
    while (isRefusal(result) && takeOther(computer, group)) {
        use(originFor(group), group);
        result = run(group, list);
        retried = true;
    }
    // Only a computer that refused without them proves the credentials
    // right: one that maps any unknown log-on to its guest takes them too.
    if (retried && result == win::NoError && m_inForce &&
        std::find(m_proved.begin(), m_proved.end(), *m_inForce) == m_proved.end())
        m_proved.push_back(*m_inForce);
    if (retried && result == win::NoError && m_inForceOrigin == Origin::Given && m_rememberGiven) {
        m_source->remember(m_givenFor, *m_given);
        m_rememberGiven = false;
    }
    return result;
}

std::optional<std::optional<Credentials>> LogOnPolicy::logOnAhead(const QString& group) {
    const Origin origin = originFor(group);
    if (origin == Origin::None)
        return std::optional<Credentials>();
    const std::optional<Credentials>& credentials =
        origin == Origin::Remembered ? m_remembered[group] : m_given;
    if (!credentials || std::find(m_proved.begin(), m_proved.end(), *credentials) == m_proved.end())
        return std::nullopt;
    return credentials;
}

LogOnPolicy::Origin LogOnPolicy::originFor(const QString& group) {
    if (m_anonymousOnly)
        return Origin::None;
    if (m_given)
        return rememberedFor(group) ? Origin::Remembered : Origin::Given;
    const auto found = m_remembered.find(group);
    return found != m_remembered.end() && found->second ? Origin::Remembered : Origin::None;
}

const std::optional<Credentials>& LogOnPolicy::rememberedFor(const QString& group) {
    auto found = m_remembered.find(group);
    if (found == m_remembered.end()) {
        std::optional<Credentials> remembered;
        if (m_source != nullptr)
            remembered = m_source->remembered(group);
        if (remembered && remembered->anonymous())
            remembered.reset();
        found = m_remembered.emplace(group, std::move(remembered)).first;
    }
    return found->second;
}

bool LogOnPolicy::takeOther(const QString& computer, const QString& group) {
    if (m_anonymousOnly || m_inForceOrigin == Origin::Given)
        return false;
    if (m_inForceOrigin == Origin::None && rememberedFor(group))
        return true;
    // Remembered credentials refused as a wrong password are gone by now;
    // refused otherwise, they are right but not enough for this computer.
    if (m_inForceOrigin == Origin::Remembered && rememberedFor(group))
        return false;
    if (m_asked || m_source == nullptr)
        return false;
    m_asked = true;
    CredentialRequest request{computer, group, {}};
    if (m_inForce)
        request.user = QString::fromStdString(m_inForce->user);
    std::optional<CredentialAnswer> answer = m_source->ask(request);
    if (!answer || answer->credentials.anonymous()) {
        m_anonymousOnly = true;
        return false;
    }
    m_given = std::move(answer->credentials);
    m_givenFor = group;
    m_rememberGiven = answer->remember;
    return true;
}

DWORD LogOnPolicy::run(const QString& group, const std::function<DWORD()>& list) {
    const DWORD result = list();
    if (result == win::LogonFailure) {
        // A wrong name or password: never tried again in this scan.
        if (m_inForceOrigin == Origin::Remembered)
            m_remembered[group].reset();
        else if (m_inForceOrigin == Origin::Given)
            m_given.reset();
    }
    return result;
}

void LogOnPolicy::use(Origin origin, const QString& group) {
    std::optional<Credentials> wanted;
    if (origin == Origin::Remembered)
        wanted = m_remembered[group];
    else if (origin == Origin::Given)
        wanted = m_given;
    m_inForceOrigin = origin;
    if (wanted == m_inForce)
        return;
    m_inForce = std::move(wanted);
    m_platform.setLogOn(m_inForce);
}

} // namespace norvane
