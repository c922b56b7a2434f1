#pragma once

// The walk over the network that produces the result rows: provider, its
// domains and workgroups, their computers and, for share scans, the shares
// of each computer. It runs on whatever thread calls it and reports every
// change to the list through a ScanOutput, in order. Once it holds a
// workgroup's computers, their look-ups (name and adapter status, or share
// list) run ahead on a pool of threads while the rows still come out in
// the walk's order, exactly as a walk with no look-ahead makes them.

#include "CredentialSource.h"
#include "ResultRow.h"
#include "StopRequest.h"
#include "platform/NetworkPlatform.h"
#include "platform/SourceOptions.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace norvane {

// Receives the list changes of a walk. Row changes apply to the row appended
// last. showError returns only when the user has closed the box.
// logOnRefused is no list change: it names a computer whose shares the walk
// could not list because it refused every log-on tried, so that a result
// with holes does not pass for a complete one; sourceIncomplete likewise
// says why a source left out computers it should have listed.
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
    // The record of the row appended last, once its cells are set.
    virtual void setComputerRecord(std::shared_ptr<const ComputerRecord> record) {
        static_cast<void>(record);
    }
    virtual void setShareRecord(std::shared_ptr<const ShareRecord> record) {
        static_cast<void>(record);
    }
    virtual void logOnRefused([[maybe_unused]] const QString& computer) {}
    virtual void sourceIncomplete([[maybe_unused]] const QString& reason) {}
};

// How many look-ups of computers run at once. A computer that has gone
// holds one thread for a full name-service wait, so the limit is what lets
// a workgroup with many stale browse entries cost about one wait in all.
constexpr std::size_t LookAheadLimit = 128;

// How many servers a share scan with look-ahead gets ready to list before
// it has read any group (NetworkPlatform::prepareListingsAhead): getting
// ready takes about as long as reading the browse lists, so it starts with
// the scan and overlaps them; a few only, since it costs processor time the
// browse reads may need and the network may hold fewer servers. Each group
// read then gets ready for the computers read so far.
constexpr std::size_t ListingsAheadAtStart = 4;

struct ScanInputs {
    QByteArray providerName;
    int resourceType = rtComputer;
    std::uint8_t lanaNum = 0;
    // 0: every look-up runs on the walk's thread when its row is reached.
    std::size_t lookAheadLimit = LookAheadLimit;
    // Handed to the platform before the walk opens the provider level.
    SourceOptions sources{};
};

// Result codes of a walk.
constexpr int ScanCompleted = 0;
constexpr int ScanStoppedOrFailed = 1;

// Walks the network; returns ScanCompleted when the walk ran to its end,
// ScanStoppedOrFailed when it was stopped or the provider could not be read.
// A stop requested while the walk waits for the look-ups of a computer row
// it has begun completes that row at once with the placeholders for what
// has not come; the walk returns when no look-up of it runs any more.
// Computers that refuse to list their shares get credentials from
// `credentials` (see LogOnPolicy); without it they are skipped.
int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                StopRequest& stop, CredentialSource* credentials = nullptr);
// The same with a stop flag that is read at the stop points only.
int ScanNetwork(NetworkPlatform& platform, const ScanInputs& inputs, ScanOutput& output,
                const StopFlag& stopRequested, CredentialSource* credentials = nullptr);

} // namespace norvane
