#pragma once

// Writing a report block to a file, with the failures of the file system
// turned into the messages the user sees. Error numbers follow the Windows
// codes the messages are known by, so that a message and its code agree on
// every system.

#include <QByteArray>
#include <QString>

namespace norvane {

// "File not found", "Invalid filename", ..., "I/O error %d".
QString ioErrorMessage(int code);

// The code of a failed file operation: `error` is the errno it set and
// `path` the file it worked on (ENOENT means a missing file when the folder
// exists, a bad path otherwise).
int ioErrorCode(int error, const QString& path);

// An open report file, closed on every path. Each operation throws AppError
// with the message of its failure.
class ReportFile {
public:
    // Creates or empties the file (`overwrite`), or opens the existing file
    // for appending.
    ReportFile(const QString& path, bool overwrite);
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile();

    // Writes all of `bytes` at the end of the file; a short write is a full
    // disk.
    void write(const QByteArray& bytes);
    // Flushes to the disk and closes; errors that surface only here (a full
    // disk on a network or delayed-allocation file system) are reported too.
    void close();

private:
    [[noreturn]] void fail(int error) const;

    QString m_path;
    int m_fd = -1;
};

} // namespace norvane
