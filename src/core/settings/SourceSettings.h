#pragma once

// What the user set for the sources beyond the link, kept between runs in
// the settings group "Sources": the domain whose directory is read, the
// address ranges swept (as typed, one per entry) and the probe rate.

#include "platform/SourceOptions.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

namespace norvane {

namespace settingsnames {
inline constexpr const char* SourcesDomain = "Sources/Domain";
inline constexpr const char* SourcesAddressRanges = "Sources/AddressRanges";
inline constexpr const char* SourcesProbesPerSecond = "Sources/ProbesPerSecond";
} // namespace settingsnames

// Ranges typed one per line: blank lines are skipped; the first line
// refused stops the reading, with its number (from 1) and the reason.
struct RangeLines {
    QStringList texts; // the lines taken, trimmed
    std::vector<AddressRange> ranges;
    int refusedLine = 0; // 0: none refused
    QString error;
};
RangeLines parseRangeLines(const QString& text);

struct SourceSettings {
    QString domain;
    QStringList ranges; // as the user typed them
    unsigned probesPerSecond = DefaultProbesPerSecond;

    // A missing or unreadable value keeps its default; a stored range that
    // no longer parses is skipped by options().
    static SourceSettings read(const QSettings& settings);
    void write(QSettings& settings) const;
    // What a scan hands to the sources.
    SourceOptions options() const;

    bool operator==(const SourceSettings&) const = default;
};

} // namespace norvane
