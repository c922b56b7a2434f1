#pragma once

// SIGTERM, SIGINT and SIGHUP (log-out, kill, a closed terminal) as a request
// to close the program, so that it ends the way its close box ends it: the
// scan stopped, the settings and the file-manager entry written. The signal
// handler only writes the signal's number into a pipe; the pipe's read end
// wakes the event loop, which reports the request on the UI thread. One
// object at a time; its destruction restores the default handling.

#include <QObject>

class QSocketNotifier;

namespace norvane {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested(int signalNumber);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace norvane
