#include "SourceSettings.h"

namespace norvane {

RangeLines parseRangeLines(const QString& text) {
    RangeLines result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const AddressRangeParse parsed = parseAddressRange(line);
        if (!parsed.range) {
            result.refusedLine = static_cast<int>(i + 1);
            result.error = parsed.error;
            return result;
        }
        result.texts << line;
        result.ranges.push_back(*parsed.range);
    }
    return result;
}

SourceSettings SourceSettings::read(const QSettings& settings) {
    SourceSettings result;
    result.domain =
        settings.value(QLatin1String(settingsnames::SourcesDomain)).toString().trimmed();
    result.ranges =
        settings.value(QLatin1String(settingsnames::SourcesAddressRanges)).toStringList();
    bool ok = false;
    const unsigned rate =
        settings.value(QLatin1String(settingsnames::SourcesProbesPerSecond)).toUInt(&ok);
    if (ok && rate >= MinProbesPerSecond && rate <= MaxProbesPerSecond)
        result.probesPerSecond = rate;
    return result;
}

void SourceSettings::write(QSettings& settings) const {
    settings.setValue(QLatin1String(settingsnames::SourcesDomain), domain);
    settings.setValue(QLatin1String(settingsnames::SourcesAddressRanges), ranges);
    settings.setValue(QLatin1String(settingsnames::SourcesProbesPerSecond), probesPerSecond);
}

SourceOptions SourceSettings::options() const {
    SourceOptions options{.domain = domain, .ranges = {}, .probesPerSecond = probesPerSecond};
    for (const QString& text : ranges) {
        if (const AddressRangeParse parsed = parseAddressRange(text); parsed.range)
            options.ranges.push_back(*parsed.range);
    }
    return options;
}

} // namespace norvane
