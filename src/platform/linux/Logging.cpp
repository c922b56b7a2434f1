#include "Logging.h"

// Debug messages carry the diagnostics; warnings stay on for real faults.
Q_LOGGING_CATEGORY(lcBrowse, "norvane.browse", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNameService, "norvane.nbns", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEcho, "norvane.echo", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSound, "norvane.sound", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWsd, "norvane.wsd", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDnsSd, "norvane.dnssd", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSweep, "norvane.sweep", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAuth, "norvane.auth", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDirectory, "norvane.directory", QtWarningMsg)

const QLoggingCategory& discoveryCategory(norvane::FoundBySet source) {
    if (source.contains(norvane::FoundBy::AddressRange))
        return lcSweep();
    return source.contains(norvane::FoundBy::DnsSd) ? lcDnsSd() : lcWsd();
}
