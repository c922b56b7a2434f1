#pragma once

// Builds DNS messages for tests, well-formed or bent in one place at a time.

#include <QByteArray>
#include <QList>

namespace norvane::test::dnsmsg {

inline void putU16(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

// "a.b.c" as length-prefixed labels and the root.
inline QByteArray name(const QByteArray& dotted) {
    QByteArray out;
    for (const QByteArray& label : dotted.split('.')) {
        out.append(char(label.size()));
        out.append(label);
    }
    out.append('\0');
    return out;
}

inline QByteArray pointer(int offset) {
    QByteArray out;
    putU16(out, 0xC000 | offset);
    return out;
}

constexpr int Response = 0x8400; // response, authoritative

inline QByteArray header(int id, int flags, int questions, int answers, int authority = 0,
                         int additional = 0) {
    QByteArray out;
    putU16(out, id);
    putU16(out, flags);
    putU16(out, questions);
    putU16(out, answers);
    putU16(out, authority);
    putU16(out, additional);
    return out;
}

inline QByteArray question(const QByteArray& encodedName, int type) {
    QByteArray out = encodedName;
    putU16(out, type);
    putU16(out, 1);
    return out;
}

inline QByteArray record(const QByteArray& encodedName, int type, const QByteArray& data,
                         int dataLength = -1, int rrClass = 0x8001) {
    QByteArray out = encodedName;
    putU16(out, type);
    putU16(out, rrClass);
    out.append(QByteArray("\x00\x00\x11\x94", 4)); // ttl 4500
    putU16(out, dataLength < 0 ? int(data.size()) : dataLength);
    out.append(data);
    return out;
}

inline QByteArray srvData(int port, const QByteArray& encodedTarget) {
    QByteArray out;
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, port);
    return out + encodedTarget;
}

inline QByteArray ipv4(int a, int b, int c, int d) {
    QByteArray out;
    for (const int byte : {a, b, c, d})
        out.append(char(byte));
    return out;
}

} // namespace norvane::test::dnsmsg
