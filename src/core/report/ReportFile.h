#pragma once

// Writing a report block to a file, with the failures of the file system
// turned into the messages the user sees. Error numbers follow the Windows
// codes the messages are known by, so that a message and its code agree on
// every system.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <functional>

namespace norvane {

// "File not found", "Invalid filename", ..., "I/O error %d".
QString ioErrorMessage(int code);

// The code of a failed file operation: `error` is the errno it set and
// `path` the file it worked on (ENOENT means a missing file when the folder
// exists, a bad path otherwise).
int ioErrorCode(int error, const QString& path);

// An open report file, closed on every path. Each operation throws AppError
// with the message of its failure. Until close() has succeeded the file on
// disk is as it was: a file being replaced is written under a temporary name
// in the same folder and renamed over the old one at the end, and a file
// being appended to is cut back to its earlier length when the writing
// fails, so a report only ever holds whole blocks.
class ReportFile {
public:
    // Starts a new content for the file (`overwrite`), or opens the
    // existing file for appending.
    ReportFile(const QString& path, bool overwrite);
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    // Undoes what an unfinished write left: removes the temporary file or
    // cuts the appended file back.
    ~ReportFile();

    // While writing to a pipe or device that takes no more for now, a signal
    // for which `interrupted` returns true ends the writing (as a failure).
    void setInterruption(std::function<bool()> interrupted) {
        m_interrupted = std::move(interrupted);
    }
    // Writes all of `bytes` at the end of the file; a short write is a full
    // disk.
    void write(const QByteArray& bytes);
    // Flushes to the disk, closes and puts a replacing file in place; errors
    // that surface only here (a full disk on a network or delayed-allocation
    // file system) are reported too.
    void close();

private:
    void openForReplacing();
    // Makes m_target the path that a link, or a chain of links, to a file
    // that does not exist yet leads to.
    void followDanglingLink();
    void openForAppending();
    void openDirectly(int flags);
    void createTemporary(mode_t mode, bool exactMode);
    void waitWritable();
    void rollBack();
    [[noreturn]] void fail(int error);

    QString m_path;
    QByteArray m_target;           // the file the content ends up in
    QByteArray m_temporary;        // while replacing a regular file or writing a new one
    long long m_appendedFrom = -1; // the length of a regular file before appending
    int m_fd = -1;
    std::function<bool()> m_interrupted;
};

} // namespace norvane
