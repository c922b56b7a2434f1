#pragma once

// Text that must not outlive its use, such as a password: its bytes are
// overwritten whenever the text is dropped, replaced or cleared, and every
// copy does the same with its own bytes. It has no conversion to a string,
// so that it cannot slip into a log line or a settings value by accident.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string_view>
#include <vector>

namespace norvane {

class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string_view text);
    SecretText(const SecretText& other);
    SecretText& operator=(const SecretText& other);
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;
    ~SecretText();

    // Takes the UTF-8 of `text`; the intermediate bytes are cleared.
    static SecretText fromQString(const QString& text);

    bool empty() const { return m_bytes.empty(); }
    std::size_t size() const { return m_bytes.size(); }
    // The bytes, valid until this object changes; not terminated.
    std::string_view view() const { return {m_bytes.data(), m_bytes.size()}; }
    // Overwrites the bytes and empties the text.
    void clear();

    bool operator==(const SecretText& other) const { return view() == other.view(); }

private:
    std::vector<char> m_bytes;
};

// Overwrites the bytes a buffer holds, in a way the compiler keeps.
void wipeBytes(void* data, std::size_t size);
void wipe(QByteArray& bytes);
void wipe(QString& text);

} // namespace norvane
