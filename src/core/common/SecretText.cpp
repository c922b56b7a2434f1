#include "SecretText.h"

#include <cstring>

namespace norvane {

void wipeBytes(void* data, std::size_t size) {
    if (data == nullptr || size == 0)
        return;
    // Unlike memset, never dropped as a store nothing reads.
    explicit_bzero(data, size);
}

void wipe(QByteArray& bytes) {
    if (!bytes.isDetached()) {
        bytes.clear(); // shared: another owner still holds the bytes
        return;
    }
    wipeBytes(bytes.data(), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
}

void wipe(QString& text) {
    if (!text.isDetached()) {
        text.clear();
        return;
    }
    wipeBytes(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

SecretText::SecretText(std::string_view text) : m_bytes(text.begin(), text.end()) {}

SecretText::SecretText(const SecretText& other) : m_bytes(other.m_bytes) {}

SecretText& SecretText::operator=(const SecretText& other) {
    if (this != &other) {
        clear();
        m_bytes = other.m_bytes;
    }
    return *this;
}

SecretText::SecretText(SecretText&& other) noexcept : m_bytes(std::move(other.m_bytes)) {
    other.m_bytes.clear();
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        clear();
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
    }
    return *this;
}

SecretText::~SecretText() {
    clear();
}

SecretText SecretText::fromQString(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    SecretText secret(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    wipe(utf8);
    return secret;
}

void SecretText::clear() {
    // Every assignment clears first, so no byte of an earlier, longer text
    // lingers past the size.
    wipeBytes(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

} // namespace norvane
