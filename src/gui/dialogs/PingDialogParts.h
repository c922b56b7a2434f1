#pragma once

// What the Ping dialog gives its run: the results box, the option fields
// and the waiting that keeps the window painted.

#include "tools/PingRun.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace norvane {

// Lines of a read-only text box, counted as they are added and removed.
class MemoOutput : public PingOutput {
public:
    explicit MemoOutput(QPlainTextEdit* memo) : m_memo(memo) {}
    void appendLine(const QString& line) override;
    int lineCount() const override { return m_lines; }
    void deleteFirstLine() override;

private:
    QPlainTextEdit* m_memo;
    int m_lines = 0;
};

class EditFields : public PingFields {
public:
    EditFields(QLineEdit* bytes, QLineEdit* number, QLineEdit* timeOut, QCheckBox* fragment)
        : m_bytes(bytes), m_number(number), m_timeOut(timeOut), m_fragment(fragment) {}
    QString text(PingField field) const override;
    void setText(PingField field, const QString& text) override;
    bool dontFragment() const override;

private:
    QLineEdit* edit(PingField field) const;

    QLineEdit* m_bytes;
    QLineEdit* m_number;
    QLineEdit* m_timeOut;
    QCheckBox* m_fragment;
};

// Waits in a local event loop that repaints but leaves user input queued
// until the next dispatch, so that a press of Cancel or Start is handled
// where the run dispatches events and nowhere else. The echo request runs
// on a short-lived thread meanwhile.
class EventLoopPacing : public PingPacing {
public:
    void processEvents() override;
    void pause(std::chrono::milliseconds duration) override;
    EchoOutcome send(const std::function<EchoOutcome()>& request) override;
};

} // namespace norvane
