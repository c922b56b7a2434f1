#pragma once

// Scripted networks for the main window's tests and benchmarks, and a helper
// that answers the message boxes a test provokes.

#include "fake/FakePlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <string>

namespace norvane::test {

// Two workgroups: resolved computers with and without an answering adapter,
// unresolved ones, names that differ only in case, disk and print shares;
// one LAN adapter, number 1.
inline void buildSmallNetwork(FakePlatform& fake) {
    // The only adapter is not number 0: a MAC query must name the adapter
    // that start-up found.
    fake.lanas = {1};
    fake.addDomain("WG1");
    fake.addDomain("WG2");
    fake.addComputer("WG1", "\\\\ALPHA", "Main server");
    fake.addComputer("WG1", "\\\\beta", "no name");
    fake.addComputer("WG1", "\\\\GAMMA", "Print host");
    fake.addComputer("WG2", "\\\\DELTA");
    fake.addComputer("WG2", "\\\\alpha");
    fake.addHost("ALPHA", "10.0.0.12", {0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B});
    fake.addresses["GAMMA"] = FakePlatform::address("192.168.1.2");
    fake.addHost("DELTA", "10.0.0.5", {0x02, 0x00, 0x00, 0x00, 0x00, 0x01});
    fake.addShare("\\\\ALPHA", "\\\\ALPHA\\Public", RESOURCETYPE_DISK, "Public files");
    fake.addShare("\\\\ALPHA", "\\\\ALPHA\\Laser", RESOURCETYPE_PRINT, "Second floor");
    fake.addShare("\\\\DELTA", "\\\\DELTA\\Docs", RESOURCETYPE_DISK);
}

// `count` resolvable computers spread over ten workgroups, named PC00000...
inline void buildLargeNetwork(FakePlatform& fake, int count) {
    constexpr int Groups = 10;
    for (int g = 0; g < Groups; ++g)
        fake.addDomain("GROUP" + std::to_string(g));
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "PC%05d", i);
        fake.addComputer("GROUP" + std::to_string(i * Groups / count), std::string("\\\\") + name,
                         "computer " + std::to_string(i));
        const std::string address = "10." + std::to_string((i >> 16) & 255) + "." +
                                    std::to_string((i >> 8) & 255) + "." + std::to_string(i & 255);
        fake.addHost(name, address,
                     {0x00, 0x50, 0x56, static_cast<std::uint8_t>(i >> 16),
                      static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)});
    }
}

// Closes every message box that opens while it lives, keeping the texts.
class MessageBoxCloser : public QObject {
public:
    static constexpr int PollMs = 10;
    QStringList texts;

    MessageBoxCloser() {
        m_timer.setInterval(PollMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

} // namespace norvane::test
