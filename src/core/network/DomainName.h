#pragma once

// Whether a text can be asked of DNS as a domain or host name.

#include <QString>

namespace norvane {

// Letters, digits and '-' in labels of at most 63 characters, separated by
// '.', at most 253 characters in all.
bool isDomainName(const QString& name);

} // namespace norvane
