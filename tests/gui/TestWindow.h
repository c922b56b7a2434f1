#pragma once

// The main window over a scripted network, with its settings file and its
// file-manager data directory in a temporary directory, recording its
// sounds, pings and completions.

#include "FormParts.h"
#include "TestNetwork.h"
#include "mainwindow/TMainForm.h"

#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace norvane::test {

inline constexpr int ScanTimeoutMs = 20000;

// Runs the event loop until it is about to wait for events: the moment the
// window updates its commands.
inline void idle() {
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Window {
    QTemporaryDir home;
    FakePlatform fake;
    std::unique_ptr<TMainForm> form;
    int sounds = 0;
    QStringList pinged;
    QStringList completions; // the count text at each completion

    // The window goes first: its destruction may still run a completion.
    ~Window() { form.reset(); }

    QString settingsPath() const { return home.filePath(QStringLiteral("Norvane.conf")); }
    QString dataHome() const { return home.filePath(QStringLiteral("data")); }
    // The settings file as the next run reads it.
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }

    // With `recordPings`, the Ping command records the row instead of
    // opening its dialog.
    void create(bool recordPings = true) {
        // A scan store of the window's own: no other test's scans to
        // compare with.
        if (const auto stored = settings(); !stored->contains(QStringLiteral("ScanStore/Location")))
            stored->setValue(QStringLiteral("ScanStore/Location"),
                             home.filePath(QStringLiteral("scans.sqlite")));
        form = std::make_unique<TMainForm>(fake, MainFormStorage{settings(), dataHome()});
        form->setCompletionSound([this] { ++sounds; });
        if (recordPings)
            form->setPingCommand([this](const ResultRow& row) { pinged << row.caption; });
        TMainForm* window = form.get();
        QObject::connect(window, &TMainForm::scanCompleted, window,
                         [this, window] { completions << window->statusText(); });
    }
    // Shows the window, which starts a scan, and waits for its completion.
    bool showAndWait() {
        form->show();
        return waitIdle();
    }
    bool waitIdle() {
        return QTest::qWaitFor([this] { return !form->isScanning(); }, ScanTimeoutMs);
    }
    // Destroys the window, which writes its settings.
    void close() { form.reset(); }
};

} // namespace norvane::test
