#pragma once

// The scan worker: a thread whose body runs the walk over the network and
// hands every change of the list to the UI thread. Its interruption request
// is the walk's stop flag; the walk's result code ends the hand-over.

#include "ScanHandOver.h"
#include "platform/NetworkPlatform.h"
#include "scan/ScanWorker.h"

#include <QThread>

namespace norvane {

class TChildThread : public QThread {
    Q_OBJECT
public:
    TChildThread(NetworkPlatform& platform, ScanInputs inputs, ScanHandOver& handOver,
                 QObject* parent = nullptr);

protected:
    void run() override;

private:
    NetworkPlatform& m_platform;
    const ScanInputs m_inputs;
    ScanHandOver& m_handOver;
};

} // namespace norvane
