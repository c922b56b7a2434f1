#pragma once

// One change of the list as the walk makes it, as the hand-over from the
// worker thread to the UI thread reads it out one by one.

#include "scan/CredentialSource.h"
#include "scan/ResultRow.h"

#include <QString>

#include <deque>
#include <memory>
#include <utility>

namespace norvane {

// What a log-on change carries besides its text.
struct LogOnDetails {
    QString group;           // AskCredentials: the group to suggest
    QString user;            // AskCredentials: the user to suggest
    Credentials credentials; // Remember: what to keep
};

// Kept small: a large scan makes hundreds of thousands of changes, and the
// log-on's rare fields would make every one of them larger.
struct ScanChange {
    enum Kind {
        AppendRow,
        SetCaption,
        SetImage,
        AddSubItem,
        SetProgressMax,
        SetProgressPosition,
        ShowError,
        FindRemembered, // text: the group
        AskCredentials, // text: the computer; logOn: the group and user to suggest
        Remember,       // text: the group; logOn: the credentials to keep
        SetRecord,      // computer or share: the record of the row appended last
        Finished,       // number: the walk's result code
    };
    ScanChange(Kind changeKind = AppendRow, int changeNumber = 0, QString changeText = {})
        : kind(changeKind), number(changeNumber), text(std::move(changeText)) {}

    // The changes that apply to the row appended last, AppendRow included.
    static bool isRowChange(Kind kind) {
        return kind == AppendRow || kind == SetCaption || kind == SetImage || kind == AddSubItem ||
               kind == SetRecord;
    }

    Kind kind;
    int number;
    QString text;
    std::shared_ptr<const ComputerRecord> computer;
    std::shared_ptr<const ShareRecord> share;
    std::shared_ptr<const LogOnDetails> logOn;
};

using ScanChanges = std::deque<ScanChange>;

} // namespace norvane
