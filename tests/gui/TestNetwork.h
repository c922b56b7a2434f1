#pragma once

// Scripted networks for the main window's tests and benchmarks, and a helper
// that answers the message boxes a test provokes.

#include "fake/SmallNetwork.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <string>

namespace norvane::test {

// The small network with names that differ only in case and a computer
// that resolves to nothing; one LAN adapter, number 1.
inline void buildSmallNetwork(FakePlatform& fake) {
    // The only adapter is not number 0: a MAC query must name the adapter
    // that start-up found.
    fake.lanas = {1};
    buildSmallNetwork(fake, {{.group = "WG1", .computer = "\\\\ALPHA", .comment = "Main server"},
                             {.group = "WG1", .computer = "\\\\beta", .comment = "no name"},
                             {.group = "WG1", .computer = "\\\\GAMMA", .comment = "Print host"},
                             {.group = "WG2", .computer = "\\\\DELTA"},
                             {.group = "WG2", .computer = "\\\\alpha"}});
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
