#pragma once

// The Find history in the program's settings, in the group
// "FindResourceMRU".

#include "FindHistory.h"

class QSettings;

namespace norvane {

inline constexpr const char* FindHistoryGroup = "FindResourceMRU";

class SettingsHistoryStore : public HistoryStore {
public:
    explicit SettingsHistoryStore(QSettings& settings) : m_settings(settings) {}

    bool valueExists(const QString& name) const override;
    QString readString(const QString& name) const override;
    // Flushes and checks the settings file after each write, so that a
    // failure is reported with the value that could not be stored.
    void writeString(const QString& name, const QString& value) override;

private:
    static QString key(const QString& name);

    QSettings& m_settings;
};

} // namespace norvane
