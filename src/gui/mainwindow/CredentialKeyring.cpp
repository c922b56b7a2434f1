#include "CredentialKeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace norvane {

namespace {

// The services QtKeychain can keep secrets in on Linux.
const char* const KeyringServices[] = {"org.freedesktop.secrets", "org.kde.kwalletd6",
                                       "org.kde.kwalletd5"};
// The entry that lists the groups with remembered credentials, so that
// they can be forgotten together.
const QString GroupIndexKey = QStringLiteral("share log-on groups");
constexpr char FieldSeparator = '\0';

struct JobResult {
    bool done = false;
    QKeychain::Error error = QKeychain::OtherError;
    QByteArray data;
};

// Runs a job and waits for it, without the user's input meanwhile. The job
// deletes itself when it ends, even after the wait gave up on it.
std::shared_ptr<JobResult> run(QKeychain::Job* job) {
    auto result = std::make_shared<JobResult>();
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [result, &loop](QKeychain::Job* ended) {
        result->done = true;
        result->error = ended->error();
        if (auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
            result->data = reader->binaryData();
        loop.quit();
    });
    QTimer::singleShot(KeyringReplyTimeout, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->start();
    if (!result->done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A late answer finds the connection gone with the loop.
    return result;
}

} // namespace

CredentialKeyring::CredentialKeyring(QString service) : m_service(std::move(service)) {}

QString CredentialKeyring::unavailableReason() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("Cannot remember: no desktop session bus, so no keyring to keep "
                              "the password in.");
    const QDBusConnectionInterface* services = bus.interface();
    const QStringList activatable = services->activatableServiceNames().value();
    for (const char* name : KeyringServices) {
        const QString service = QString::fromLatin1(name);
        if (services->isServiceRegistered(service).value() || activatable.contains(service))
            return {};
    }
    return QStringLiteral("Cannot remember: no keyring service (Secret Service or KWallet) runs "
                          "in this desktop session.");
}

std::optional<Credentials> CredentialKeyring::find(const QString& group) {
    std::optional<QByteArray> data = read(keyOf(group));
    if (!data)
        return std::nullopt;
    std::optional<Credentials> found;
    const qsizetype userEnd = data->indexOf(FieldSeparator);
    const qsizetype domainEnd = userEnd < 0 ? -1 : data->indexOf(FieldSeparator, userEnd + 1);
    if (domainEnd > 0) {
        found = Credentials{data->left(userEnd).toStdString(),
                            data->mid(userEnd + 1, domainEnd - userEnd - 1).toStdString(),
                            SecretText(std::string_view(data->constData() + domainEnd + 1,
                                                        data->size() - domainEnd - 1))};
    }
    wipe(*data);
    return found;
}

bool CredentialKeyring::remember(const QString& group, const Credentials& credentials) {
    QByteArray data = QByteArray::fromStdString(credentials.user) + FieldSeparator +
                      QByteArray::fromStdString(credentials.domain) + FieldSeparator;
    data.append(credentials.password.view().data(),
                static_cast<qsizetype>(credentials.password.size()));
    const bool written = write(keyOf(group), data);
    wipe(data);
    if (!written)
        return false;
    QStringList known = groups();
    if (known.contains(group.toUpper()))
        return true;
    known << group.toUpper();
    return write(GroupIndexKey, known.join(QLatin1Char('\n')).toUtf8());
}

bool CredentialKeyring::forgetAll() {
    bool reached = true;
    for (const QString& group : groups())
        reached = erase(keyOf(group)) && reached;
    return erase(GroupIndexKey) && reached;
}

QString CredentialKeyring::keyOf(const QString& group) {
    return QStringLiteral("share log-on/") + group.toUpper();
}

std::optional<QByteArray> CredentialKeyring::read(const QString& key) {
    auto* job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(key);
    std::shared_ptr<JobResult> result = run(job);
    if (!result->done || result->error != QKeychain::NoError)
        return std::nullopt;
    return std::move(result->data);
}

bool CredentialKeyring::write(const QString& key, const QByteArray& data) {
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(key);
    job->setBinaryData(data);
    const std::shared_ptr<JobResult> result = run(job);
    return result->done && result->error == QKeychain::NoError;
}

bool CredentialKeyring::erase(const QString& key) {
    auto* job = new QKeychain::DeletePasswordJob(m_service);
    job->setKey(key);
    const std::shared_ptr<JobResult> result = run(job);
    return result->done &&
           (result->error == QKeychain::NoError || result->error == QKeychain::EntryNotFound);
}

QStringList CredentialKeyring::groups() {
    const std::optional<QByteArray> index = read(GroupIndexKey);
    if (!index)
        return {};
    return QString::fromUtf8(*index).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace norvane
