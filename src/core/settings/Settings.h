#pragma once

// Typed access to the window and view settings kept between runs: nine
// values at the top level of the settings store, read once at start-up and
// written once at shutdown. Values are checked on read: a value of the wrong
// type stops restoring with "Invalid data type for '<name>'", and the
// values read before it are kept.

#include <QByteArray>
#include <QRect>
#include <QSettings>
#include <QString>

#include <optional>

namespace norvane {

// Stored window states.
constexpr int WindowStateNormal = 1;
constexpr int WindowStateMinimized = 2;
constexpr int WindowStateMaximized = 3;

namespace settingsnames {
inline constexpr const char* Position = "Position";
inline constexpr const char* WindowState = "WindowState";
inline constexpr const char* ResourceType = "Resource Type";
inline constexpr const char* ShowToolBar = "ShowToolBar";
inline constexpr const char* ShowResourceBar = "ShowResourceBar";
inline constexpr const char* ShowStatusBar = "ShowStatusBar";
inline constexpr const char* ShowGridLines = "ShowGridLines";
inline constexpr const char* ShowHotTrack = "ShowHotTrack";
inline constexpr const char* ShowRowSelect = "ShowRowSelect";
} // namespace settingsnames

// What was found at start-up: each member is set only when its value was
// present and read. `error` holds the text of the first value of a wrong
// type; the members after it in restore order are then unset.
struct RestoredSettings {
    std::optional<int> windowState;
    std::optional<QRect> position; // read only when windowState is set and is not 3
    std::optional<int> resourceType;
    std::optional<bool> showToolBar;
    std::optional<bool> showResourceBar;
    std::optional<bool> showStatusBar;
    std::optional<bool> showGridLines;
    std::optional<bool> showHotTrack;
    std::optional<bool> showRowSelect;
    QString error;

    bool maximize() const { return windowState == WindowStateMaximized; }
    // Raises the read error, if any, as an AppError for the general handler.
    void throwIfFailed() const;
};

// What is written at shutdown.
struct SettingsSnapshot {
    QRect normalBounds; // the window's bounds in its normal state
    bool minimized = false;
    bool maximized = false; // also while minimized from the maximized state
    int resourceType = 0;
    bool showToolBar = true;
    bool showResourceBar = true;
    bool showStatusBar = true;
    bool showGridLines = false;
    bool showHotTrack = false;
    bool showRowSelect = false;
};

class Settings {
public:
    explicit Settings(QSettings& store) : m_store(store) {}

    // Reads the values in restore order, each only when present, and stops
    // at the first value of a wrong type.
    RestoredSettings restore() const;

    // Writes the values in order; "Position" only when the window is not
    // maximized. False when the store could not be written.
    bool save(const SettingsSnapshot& snapshot);

private:
    QSettings& m_store;
};

// The stored show state: 2 when minimized, otherwise 3 when maximized,
// otherwise 1.
int WindowShowState(bool minimized, bool maximized);

// "Position": four little-endian signed 32-bit integers left, top, right,
// bottom. Decoding gives nothing unless there are exactly 16 bytes; a
// position without area keeps its corner and takes the design size.
constexpr qsizetype PositionSize = 16;
QByteArray encodePosition(const QRect& bounds);
std::optional<QRect> decodePosition(const QByteArray& bytes);

} // namespace norvane
