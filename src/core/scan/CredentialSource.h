#pragma once

// Where a scan gets credentials for share listing when a computer refuses
// its log-on: the credentials remembered for a group, and the user, asked
// through the window. The scan's worker calls it and waits for the answers.

#include "common/Credentials.h"

#include <QString>

#include <optional>

namespace norvane {

struct CredentialRequest {
    QString computer; // "\\NAME", the computer that refused
    QString group;    // its domain or workgroup: the domain to suggest
    QString user;     // the user to suggest; empty for none
};

struct CredentialAnswer {
    Credentials credentials;
    bool remember = false; // keep them for the group once a computer took them
};

class CredentialSource {
public:
    virtual ~CredentialSource() = default;
    // The credentials remembered for `group`, if any.
    virtual std::optional<Credentials> remembered(const QString& group) = 0;
    // Asks the user; nothing when cancelled. Returns once answered.
    virtual std::optional<CredentialAnswer> ask(const CredentialRequest& request) = 0;
    // Keeps credentials that a computer of `group` took, for later scans.
    virtual void remember(const QString& group, const Credentials& credentials) = 0;
};

} // namespace norvane
