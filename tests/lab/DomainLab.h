#pragma once

// The domain lab as lab.sh makes it (lab-ctest.sh domain): its folder, the
// domain and its user, and a ticket for that user from kinit.

#include "LabClient.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

namespace norvane::test {

inline constexpr const char* LabUser = "labuser";
inline constexpr const char* LabPrincipal = "labuser@KRB.LAB";
inline constexpr const char* LabPassword = "Lab-User-Pass-7";
inline constexpr const char* DomainGroup = "KRBLAB";
inline constexpr int KinitTimeoutMs = 30000;

inline QString domainLabDir() {
    return labDirOr(QStringLiteral("/tmp/norvane-lab-dom"));
}

// Points Kerberos at the lab's realm and at the credential cache `cache`
// ("FILE:..."), for this process and the programs it starts.
inline void useLabKerberos(const QByteArray& cache) {
    qputenv("KRB5_CONFIG", (domainLabDir() + QStringLiteral("/krb5.conf")).toLocal8Bit());
    qputenv("KRB5CCNAME", cache);
}

// Gets the lab user a ticket, the password on kinit's standard input;
// kinit's own output goes to `output` where given.
inline bool kinitLabUser(QString* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("kinit"), {QString::fromLatin1(LabUser)});
    if (!process.waitForStarted(KinitTimeoutMs))
        return false;
    process.write(QByteArray(LabPassword) + '\n');
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(KinitTimeoutMs);
    const QString said = QString::fromLocal8Bit(process.readAll());
    if (output != nullptr)
        *output = said;
    const bool ok =
        finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok && output == nullptr)
        qWarning("kinit failed: %s", qPrintable(said));
    return ok;
}

// The lab user's ticket in a credential cache of the test's own, in force
// for the test and the programs it starts from obtain() on; other caches
// of the same folder stand in for "no ticket".
class LabTicket {
public:
    bool obtain() {
        if (!m_folder.isValid())
            return false;
        m_cache = cacheNamed(QStringLiteral("ccache"));
        useLabKerberos(m_cache);
        return kinitLabUser();
    }
    // The cache holding the ticket ("FILE:...").
    const QByteArray& cache() const { return m_cache; }
    // A cache of that name beside it, emptied ("FILE:..."; no file yet).
    QByteArray emptyCache(const QString& name) const {
        QFile::remove(m_folder.filePath(name));
        return cacheNamed(name);
    }
    // Puts the ticket's cache in force again.
    void restore() const { qputenv("KRB5CCNAME", m_cache); }

private:
    QByteArray cacheNamed(const QString& name) const {
        return "FILE:" + m_folder.filePath(name).toLocal8Bit();
    }

    QTemporaryDir m_folder;
    QByteArray m_cache;
};

} // namespace norvane::test
