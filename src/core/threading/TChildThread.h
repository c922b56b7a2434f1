#pragma once

// The scan worker: a thread whose body runs the walk over the network and
// hands every change of the list to the UI thread. requestStop() is the
// walk's stop request; the walk's result code ends the hand-over, after the
// last look-up of the walk has returned.

#include "ScanHandOver.h"
#include "platform/NetworkPlatform.h"
#include "scan/ScanWorker.h"
#include "scan/StopRequest.h"

#include <QThread>

namespace norvane {

class TChildThread : public QThread {
    Q_OBJECT
public:
    TChildThread(NetworkPlatform& platform, ScanInputs inputs, ScanHandOver& handOver,
                 QObject* parent = nullptr);

    // Asks the walk to stop; a walk waiting for look-ups wakes at once.
    void requestStop();

protected:
    void run() override;

private:
    NetworkPlatform& m_platform;
    const ScanInputs m_inputs;
    ScanHandOver& m_handOver;
    StopRequest m_stop;
};

} // namespace norvane
