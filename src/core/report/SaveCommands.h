#pragma once

// The Save and Save As commands: Save As asks for a file and starts it anew
// with one report block; Save appends a block to the file last chosen, or
// runs Save As while none has been chosen. The chosen name lasts for the run.

#include <QString>

#include <functional>
#include <optional>

namespace norvane {

// What the commands ask the user; a save-file dialog in the program, a
// script in tests.
class SaveDialogs {
public:
    virtual ~SaveDialogs() = default;
    // The save-file dialog with `initialName` in its name box, filtered to
    // report files and asking before an existing file is replaced. Nothing
    // when the user cancels. An empty name or a wildcard pattern in the name
    // box does not close the dialog.
    virtual std::optional<QString> askFileName(const QString& initialName) = 0;
    // Asked when ensuring the extension changed the chosen name and a file
    // of the new name exists: may it be replaced?
    virtual bool confirmReplace(const QString& path) = 0;
};

inline constexpr const char* ReportFilter = "Norvane Files (*.nrv)";
inline constexpr const char* ReportExtension = ".nrv";

// Whether the dialog's answer names a file: a name that is empty or holds a
// wildcard is a pattern, never written to.
bool isFileName(const QString& path);

// The name with ".nrv" as its extension: an extension in any other letters
// (the part from the last "." after the last "/") is replaced, a name
// without one gets it, ".nrv" in any letter case stays.
QString withReportExtension(const QString& fileName);

class SaveCommands {
public:
    // Writes one report block of the current list to a file; throws AppError
    // when the writing fails.
    using ReportWriter = std::function<void(const QString& fileName, bool overwrite)>;

    SaveCommands(SaveDialogs& dialogs, ReportWriter writeReport);

    void actSaveExecute();
    void actSaveAsExecute();

    // The current report file, empty until a Save As is confirmed.
    const QString& fileName() const { return FFileName; }

private:
    SaveDialogs& m_dialogs;
    ReportWriter m_writeReport;
    QString FFileName;
};

} // namespace norvane
