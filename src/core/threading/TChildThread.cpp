#include "TChildThread.h"

#include <utility>

namespace norvane {

TChildThread::TChildThread(NetworkPlatform& platform, ScanInputs inputs, ScanHandOver& handOver,
                           QObject* parent)
    : QThread(parent), m_platform(platform), m_inputs(std::move(inputs)), m_handOver(handOver),
      m_stop([this] { return isInterruptionRequested(); }) {}

void TChildThread::requestStop() {
    requestInterruption();
    m_stop.request();
}

void TChildThread::run() {
    int resultCode = ScanStoppedOrFailed;
    try {
        resultCode = ScanNetwork(m_platform, m_inputs, m_handOver, m_stop, &m_handOver);
    } catch (const std::exception& error) {
        // A walk that broke off did not run to its end; the UI still gets
        // its completion, so that no scan is left running.
        qWarning("The scan broke off: %s", error.what());
    }
    m_handOver.finish(resultCode);
}

} // namespace norvane
