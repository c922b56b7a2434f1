#pragma once

// Diagnostics of the Linux platform, one category per piece. All are silent
// by default; QT_LOGGING_RULES="norvane.*.debug=true" switches them on.

#include "records/ComputerRecord.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcBrowse)      // norvane.browse: SMB browsing and share listing
Q_DECLARE_LOGGING_CATEGORY(lcNameService) // norvane.nbns: name queries and node status
Q_DECLARE_LOGGING_CATEGORY(lcEcho)        // norvane.echo: ICMP echo
Q_DECLARE_LOGGING_CATEGORY(lcSound)       // norvane.sound: the completion sound
Q_DECLARE_LOGGING_CATEGORY(lcWsd)         // norvane.wsd: WS-Discovery
Q_DECLARE_LOGGING_CATEGORY(lcDnsSd)       // norvane.dnssd: DNS service discovery
Q_DECLARE_LOGGING_CATEGORY(lcSweep)       // norvane.sweep: address range sweeps
Q_DECLARE_LOGGING_CATEGORY(lcAuth)        // norvane.auth: log-on for share listing
Q_DECLARE_LOGGING_CATEGORY(lcDirectory)   // norvane.directory: computers of a domain's directory

// The category of the discovery source that reported a host.
const QLoggingCategory& discoveryCategory(norvane::FoundBySet source);
