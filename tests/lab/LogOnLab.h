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
// diagnostic category switched on.
inline QStringList& capturedDiagnostics() {
    static QStringList lines;
    return lines;
}

inline void captureDiagnostics() {
    QLoggingCategory::setFilterRules(QStringLiteral("norvane.*.debug=true"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        capturedDiagnostics() << message;
    });
}

} // namespace norvane::test
