#pragma once

// A user's log-on for share listing: name, domain (or workgroup, or the
// computer's own name for a local account) and password.

#include "SecretText.h"

#include <string>

namespace norvane {

struct Credentials {
    std::string user;
    std::string domain;
    SecretText password;

    // An empty user name logs on anonymously.
    bool anonymous() const { return user.empty(); }
    bool operator==(const Credentials& other) const = default;
};

} // namespace norvane
