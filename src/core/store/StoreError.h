#pragma once

// Why a scan store could not be opened, read or written. The message is
// meant for the user as it is; the kind lets a caller (and a test) tell a
// damaged file from a store it cannot reach.

#include "common/AppError.h"

namespace norvane {

class StoreError : public AppError {
public:
    enum class Kind {
        Unreachable, // no driver, no connection, no folder, refused log-on
        Corrupt,     // an SQLite file that is not a readable database
        TooNew,      // written by a newer version of the program
        Foreign,     // holds tables of another program under our names
        Failed,      // a statement failed on a working store
    };

    StoreError(Kind kind, const QString& message) : AppError(message), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

} // namespace norvane
