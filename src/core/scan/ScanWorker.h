#pragma once

// The walk over the network that produces the result rows: provider, its
// domains and workgroups, their computers and, for share scans, the shares
// of each computer. It runs on whatever thread calls it and reports every
// change to the list through a ScanOutput, in order.

#include "CredentialSource.h"
#include "ScanModel.h"
#include "platform/NetworkPlatform.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace norvane {

// Receives the list changes of a walk. Row changes apply to the row appended
// last. showError returns only when the user has closed the box.
class ScanOutput {
public:
    virtual ~ScanOutput() = default;
    virtual void appendRow() = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void setImage(int image) = 0;
    virtual void addSubItem(const QString& text) = 0;
    virtual void setProgressMax(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void showError(const QString& text) = 0;
};

struct ScanInputs {
    QByteArray providerName;
    int resourceType = rtComputer;
    std::uint8_t lanaNum = 0;
};

using StopFlag = std::function<bool()>;

// Result codes of a walk.
constexpr int ScanCompleted = 0;
constexpr int ScanStoppedOrFailed = 1;

// Walks the network; returns ScanCompleted when the walk ran to its end,
// ScanStoppedOrFailed when it was stopped or the provider could not be read.
// Computers that refuse to list their shares get credentials from
// `credentials` (see LogOnPolicy); without it they are skipped.
int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                const StopFlag& stopRequested, CredentialSource* credentials = nullptr);

} // namespace norvane
