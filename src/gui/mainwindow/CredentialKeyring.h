#pragma once

// Share-listing credentials kept per group in the desktop's keyring (the
// Secret Service or KWallet, through QtKeychain), never in the settings
// file. Each call waits for the keyring on a local event loop, at most
// KeyringReplyTimeout, so the window keeps painting meanwhile.

#include "common/Credentials.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace norvane {

// A keyring that has to ask the user to unlock it may take this long.
constexpr std::chrono::seconds KeyringReplyTimeout{60};

class CredentialKeyring {
public:
    explicit CredentialKeyring(QString service = QStringLiteral("Norvane"));

    // Why nothing can be remembered here; empty when a keyring service
    // answers on the session bus.
    QString unavailableReason() const;

    std::optional<Credentials> find(const QString& group);
    // False when the keyring did not take them.
    bool remember(const QString& group, const Credentials& credentials);
    // Forgets the credentials of every group; false when the keyring could
    // not be reached.
    bool forgetAll();

private:
    static QString keyOf(const QString& group);
    std::optional<QByteArray> read(const QString& key);
    bool write(const QString& key, const QByteArray& data);
    bool erase(const QString& key);
    QStringList groups();

    QString m_service;
};

} // namespace norvane
