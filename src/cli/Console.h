#pragma once

// Where a command-line scan writes: its result to standard output, messages
// and progress to standard error.

#include <QByteArray>
#include <QString>

#include <functional>

namespace norvane {

class Console {
public:
    virtual ~Console() = default;
    // Writes all of `bytes` to standard output; throws AppError with the
    // message of the failure.
    virtual void writeOutput(const QByteArray& bytes) = 0;
    // Writes text to standard error as it is.
    virtual void writeError(const QString& text) = 0;
    // Whether standard error is a terminal, where a progress line can be
    // redrawn in place.
    virtual bool errorIsTerminal() const = 0;
    // The width of the terminal standard error is, in columns; 0 when it is
    // not known.
    virtual int errorColumns() const { return 0; }
};

// The process's own standard output and standard error. A reader that takes
// nothing holds the writing up only until `interrupted` returns true after a
// signal.
class ProcessConsole : public Console {
public:
    explicit ProcessConsole(std::function<bool()> interrupted = {});
    void writeOutput(const QByteArray& bytes) override;
    void writeError(const QString& text) override;
    bool errorIsTerminal() const override;
    int errorColumns() const override;

private:
    std::function<bool()> m_interrupted;
};

} // namespace norvane
