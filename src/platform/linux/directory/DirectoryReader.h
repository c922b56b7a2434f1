#pragma once

// The directory source: every computer account of an Active Directory
// domain, read from one of its domain controllers with the user's Kerberos
// ticket. It finds the controllers by DNS (_ldap._tcp.dc._msdcs.<domain>),
// binds over LDAP with SASL GSSAPI (signed and sealed) and reads the
// computer objects page by page. Without a live ticket it does nothing and
// logs why. read() blocks; run it on a worker thread and end it early by
// making the cancel descriptor readable (Abandonment::fd(), RoundCancel::fd()).

#include "DirectoryZone.h"
#include "records/ComputerRecord.h"

#include <QString>

#include <chrono>
#include <vector>

namespace norvane::directory {

struct DirectoryRead {
    enum class Outcome {
        Read,         // the computers were read
        NoTicket,     // no live Kerberos ticket: nothing was tried
        NoDomain,     // no domain named and none in the ticket, or not a DNS name
        NoController, // DNS names no controller of the domain
        Failed,       // every controller tried failed or did not answer
        Cancelled,    // the cancel descriptor became readable
    };
    Outcome outcome = Outcome::Failed;
    QString domain;     // the DNS domain read
    QString group;      // its NetBIOS name, the computers' group
    QString controller; // the controller read from
    // Enabled accounts, in the directory's order; each found by
    // FoundBy::Directory with its DirectoryFacts. Addresses are left to the
    // walk, which resolves dnsName as for any host.
    std::vector<ComputerRecord> computers;
    int leftOut = 0; // disabled accounts and unusable names
    // The domain's DNS zone where the directory holds it (integrated into
    // Active Directory); nothing where DNS alone knows the names.
    std::optional<DirectoryZone> zone;
    QString reason; // why the outcome is not Read
};

class DirectoryReader {
public:
    // cancelFd: readable once the read should end; -1 for none.
    explicit DirectoryReader(int cancelFd) : m_cancelFd(cancelFd) {}

    // domain: the DNS domain to read; empty for the ticket's realm.
    DirectoryRead read(const QString& domain = {}) const;

private:
    int m_cancelFd;
};

// Whether `domain` can be asked for: a DNS name of letters, digits, '-' and
// '.', at most 253 characters.
bool isDomainName(const QString& domain);

} // namespace norvane::directory
