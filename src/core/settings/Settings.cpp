#include "Settings.h"

#include "WindowPlacement.h"
#include "common/AppError.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace norvane {

namespace {

QString invalidType(const char* name) {
    return QStringLiteral("Invalid data type for '%1'").arg(QLatin1String(name));
}

// An integer value as a 32-bit registry number: a real integer, or text that
// parses as one (the INI store gives every number back as text).
std::optional<std::int64_t> readInteger(const QVariant& value) {
    bool ok = false;
    std::int64_t number = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        number = value.toLongLong(&ok);
        break;
    case QMetaType::ULongLong: {
        const qulonglong unsignedNumber = value.toULongLong(&ok);
        ok = ok && unsignedNumber <= std::numeric_limits<std::uint32_t>::max();
        number = static_cast<std::int64_t>(unsignedNumber);
        break;
    }
    case QMetaType::QString:
        number = value.toString().trimmed().toLongLong(&ok);
        break;
    default:
        return std::nullopt;
    }
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return number;
}

class Reader {
public:
    Reader(const QSettings& store, RestoredSettings& result) : m_store(store), m_result(result) {}

    // Nothing is read once a value had the wrong type.
    template <typename T, typename Convert>
    void read(const char* name, std::optional<T>& target, Convert convert) {
        if (!m_result.error.isEmpty())
            return;
        const QString key = QLatin1String(name);
        if (!m_store.contains(key))
            return;
        std::optional<T> value = convert(m_store.value(key));
        if (value)
            target = value;
        else
            m_result.error = invalidType(name);
    }

    void readInt(const char* name, std::optional<int>& target) {
        read(name, target, [](const QVariant& v) -> std::optional<int> {
            const auto number = readInteger(v);
            if (!number)
                return std::nullopt;
            // A registry number is 32 bits wide; keep its bit pattern.
            return static_cast<int>(static_cast<std::uint32_t>(*number));
        });
    }

    void readBool(const char* name, std::optional<bool>& target) {
        read(name, target, [](const QVariant& v) -> std::optional<bool> {
            const auto number = readInteger(v);
            if (!number)
                return std::nullopt;
            return *number != 0;
        });
    }

private:
    const QSettings& m_store;
    RestoredSettings& m_result;
};

} // namespace

void RestoredSettings::throwIfFailed() const {
    if (!error.isEmpty())
        throw AppError(error);
}

RestoredSettings Settings::restore() const {
    namespace n = settingsnames;
    RestoredSettings result;
    Reader reader(m_store, result);
    reader.readInt(n::WindowState, result.windowState);
    if (result.windowState && !result.maximize()) {
        reader.read(n::Position, result.position, [](const QVariant& v) -> std::optional<QRect> {
            if (v.typeId() != QMetaType::QByteArray)
                return std::nullopt;
            return decodePosition(v.toByteArray());
        });
    }
    reader.readInt(n::ResourceType, result.resourceType);
    reader.readBool(n::ShowToolBar, result.showToolBar);
    reader.readBool(n::ShowResourceBar, result.showResourceBar);
    reader.readBool(n::ShowStatusBar, result.showStatusBar);
    reader.readBool(n::ShowGridLines, result.showGridLines);
    reader.readBool(n::ShowHotTrack, result.showHotTrack);
    reader.readBool(n::ShowRowSelect, result.showRowSelect);
    return result;
}

bool Settings::save(const SettingsSnapshot& snapshot) {
    namespace n = settingsnames;
    const auto flag = [](bool on) { return on ? 1 : 0; };
    if (!snapshot.maximized)
        m_store.setValue(QLatin1String(n::Position), encodePosition(snapshot.normalBounds));
    m_store.setValue(QLatin1String(n::WindowState),
                     WindowShowState(snapshot.minimized, snapshot.maximized));
    m_store.setValue(QLatin1String(n::ResourceType), snapshot.resourceType);
    m_store.setValue(QLatin1String(n::ShowToolBar), flag(snapshot.showToolBar));
    m_store.setValue(QLatin1String(n::ShowResourceBar), flag(snapshot.showResourceBar));
    m_store.setValue(QLatin1String(n::ShowStatusBar), flag(snapshot.showStatusBar));
    m_store.setValue(QLatin1String(n::ShowGridLines), flag(snapshot.showGridLines));
    m_store.setValue(QLatin1String(n::ShowHotTrack), flag(snapshot.showHotTrack));
    m_store.setValue(QLatin1String(n::ShowRowSelect), flag(snapshot.showRowSelect));
    m_store.sync();
    return m_store.status() == QSettings::NoError;
}

int WindowShowState(bool minimized, bool maximized) {
    if (minimized)
        return WindowStateMinimized;
    return maximized ? WindowStateMaximized : WindowStateNormal;
}

QByteArray encodePosition(const QRect& bounds) {
    QByteArray bytes(PositionSize, '\0');
    const std::int64_t edges[] = {bounds.left(), bounds.top(),
                                  std::int64_t{bounds.left()} + bounds.width(),
                                  std::int64_t{bounds.top()} + bounds.height()};
    for (int i = 0; i < 4; ++i) {
        const auto edge = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(edges[i], std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
        qToLittleEndian(edge, bytes.data() + i * 4);
    }
    return bytes;
}

std::optional<QRect> decodePosition(const QByteArray& bytes) {
    if (bytes.size() != PositionSize)
        return std::nullopt;
    std::int32_t edges[4];
    for (int i = 0; i < 4; ++i)
        edges[i] = qFromLittleEndian<std::int32_t>(bytes.constData() + i * 4);
    // A position without area keeps its corner and takes the design size;
    // the corner is pulled in just far enough for the rectangle to fit in int.
    const auto extent = [](std::int32_t from, std::int32_t to, int designLength) {
        const std::int64_t length = std::int64_t{to} - from;
        return length > 0 ? static_cast<int>(std::min<std::int64_t>(length, INT32_MAX))
                          : designLength;
    };
    const int width = extent(edges[0], edges[2], DesignBounds.width());
    const int height = extent(edges[1], edges[3], DesignBounds.height());
    return QRect(std::min(edges[0], INT32_MAX - width), std::min(edges[1], INT32_MAX - height),
                 width, height);
}

} // namespace norvane
