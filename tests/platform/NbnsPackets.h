#pragma once

// Builds NetBIOS name service responses for tests, well-formed or bent in
// one place at a time.

#include "nbns/NbnsCodec.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <vector>

namespace norvane::test {

inline void putU16(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

inline QByteArray encodedLabel(const nbns::NetbiosName& name) {
    QByteArray out;
    out.append(char(nbns::EncodedNameBytes));
    for (const std::uint8_t b : nbns::encodeName(name))
        out.append(char(b));
    out.append('\0');
    return out;
}

inline QByteArray responseHeader(int id, int flags, int questions, int answers) {
    QByteArray out;
    putU16(out, id);
    putU16(out, flags);
    putU16(out, questions);
    putU16(out, answers);
    putU16(out, 0);
    putU16(out, 0);
    return out;
}

constexpr int PositiveResponse = 0x8500; // response, authoritative, recursion desired

inline QByteArray answerRecord(const QByteArray& name, int type, const QByteArray& data,
                               int dataLength = -1) {
    QByteArray out = name;
    putU16(out, type);
    putU16(out, nbns::ClassIN);
    out.append(QByteArray(4, '\0')); // ttl
    putU16(out, dataLength < 0 ? int(data.size()) : dataLength);
    out.append(data);
    return out;
}

// A node status answer naming `names` names, with the given unit ID and the
// statistics that follow it.
inline QByteArray nodeStatusData(int names, const QByteArray& unitId) {
    QByteArray data;
    data.append(char(names));
    for (int i = 0; i < names; ++i) {
        QByteArray entry("HOST" + QByteArray::number(i));
        entry = entry.leftJustified(15, ' ');
        entry.append(char(i == 0 ? 0x00 : 0x20));
        putU16(entry, 0x0400);
        data.append(entry);
    }
    data.append(unitId);
    data.append(QByteArray(40, '\0'));
    return data;
}

inline QByteArray nodeStatusResponse(int id, const QByteArray& unitId, int names = 2) {
    return responseHeader(id, 0x8400, 0, 1) + answerRecord(encodedLabel(nbns::wildcardName()),
                                                           nbns::TypeNBSTAT,
                                                           nodeStatusData(names, unitId));
}

inline QByteArray addressEntry(const char* dotted) {
    QByteArray entry;
    putU16(entry, 0);
    const QList<QByteArray> parts = QByteArray(dotted).split('.');
    for (const QByteArray& part : parts)
        entry.append(char(part.toInt()));
    return entry;
}

inline QByteArray nameQueryResponse(int id, const nbns::NetbiosName& name, const char* dotted) {
    return responseHeader(id, PositiveResponse, 0, 1) +
           answerRecord(encodedLabel(name), nbns::TypeNB, addressEntry(dotted));
}

inline std::span<const std::uint8_t> bytes(const QByteArray& packet) {
    return {reinterpret_cast<const std::uint8_t*>(packet.constData()),
            static_cast<std::size_t>(packet.size())};
}

} // namespace norvane::test
