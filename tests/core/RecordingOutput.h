#pragma once

// A ScanOutput that keeps the rows it is given and a log of every change in
// the order it arrived.

#include "scan/ScanWorker.h"

#include <QStringList>

#include <functional>

namespace norvane::test {

class RecordingOutput : public ScanOutput {
public:
    ResultRows rows;
    QStringList log;
    QStringList errors;
    QStringList refusedLogOns; // kept apart from the log: no list change
    int progressMax = -100;
    QList<int> positions;
    std::function<void()> afterAppend; // lets a test act once a row has begun

    void appendRow() override {
        rows.emplace_back();
        log << QStringLiteral("append");
        if (afterAppend)
            afterAppend();
    }
    void setCaption(const QString& caption) override {
        rows.back().caption = caption;
        log << QStringLiteral("caption:") + caption;
    }
    void setImage(int image) override {
        rows.back().image = image;
        log << QStringLiteral("image:") + QString::number(image);
    }
    void addSubItem(const QString& text) override {
        rows.back().subItems << text;
        log << QStringLiteral("sub:") + text;
    }
    // The typed records are kept with their rows, outside the log.
    void setComputerRecord(std::shared_ptr<const ComputerRecord> record) override {
        rows.back().computer = std::move(record);
    }
    void setShareRecord(std::shared_ptr<const ShareRecord> record) override {
        rows.back().share = std::move(record);
    }
    void setProgressMax(int maximum) override {
        progressMax = maximum;
        log << QStringLiteral("max:") + QString::number(maximum);
    }
    void setProgressPosition(int position) override {
        positions << position;
        log << QStringLiteral("pos:") + QString::number(position);
    }
    void showError(const QString& text) override {
        errors << text;
        log << QStringLiteral("error:") + text;
    }
    void logOnRefused(const QString& computer) override { refusedLogOns << computer; }
};

} // namespace norvane::test
