#pragma once

// What the log-on lab tests share: a folder scan of a lab through its
// client configuration, its rows' captions, and every diagnostic line the
// test process writes, kept so that a test can look for a password in them.

#include "LabClient.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "scan/ScanWorker.h"

#include <QStringList>

#include <QtTest>
#include <mutex>

namespace norvane::test {

// A folder scan with the lab client's smb.conf; `source` may be null.
inline RecordingOutput scanLabFolders(const QString& labDir, CredentialSource* source) {
    LinuxPlatform platform(labClientSettings(labDir));
    ScanInputs inputs;
    inputs.providerName = LanManProviderName;
    inputs.resourceType = rtSharedFolder;
    RecordingOutput output;
    const int result = ScanNetwork(
        platform, inputs, output, [] { return false; }, source);
    [&] { QCOMPARE(result, ScanCompleted); }();
    return output;
}

inline QStringList sortedCaptions(const ResultRows& rows) {
    QStringList list;
    for (const ResultRow& row : rows)
        list << row.caption;
    list.sort();
    return list;
}

// Every message of the process from captureDiagnostics() on, with every
// diagnostic category switched on. Read it once the scans have ended.
inline QStringList& capturedDiagnostics() {
    static QStringList lines;
    return lines;
}

// Sources log from threads of their own, also while a scan's walk logs.
inline std::mutex& capturedDiagnosticsMutex() {
    static std::mutex mutex;
    return mutex;
}

inline void captureDiagnostics() {
    QLoggingCategory::setFilterRules(QStringLiteral("norvane.*.debug=true"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        const std::lock_guard lock(capturedDiagnosticsMutex());
        capturedDiagnostics() << message;
    });
}

} // namespace norvane::test
