// The ICMP echo codec: the request's bytes, and which received packets count
// as the reply to our request, as an error about it, or as nothing of ours.

#include "icmp/IcmpCodec.h"

#include <QtTest>

#include <cstring>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::icmp::Framing)
Q_DECLARE_METATYPE(norvane::icmp::IgnoreReason)

namespace {
const QByteArray Destination("\xc0\x00\x02\x07", 4); // the host we ping
const QByteArray Router("\xc6\x33\x64\x01", 4);      // a hop on the way
const QByteArray Local("\x0a\x00\x00\x02", 4);       // our own address
constexpr quint16 Id = 0x1234;
constexpr quint16 Seq = 7;
constexpr int ReplyTtl = 61;
const QByteArray Data("ping data");

std::uint32_t address(const QByteArray& bytes) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.constData(), sizeof value);
    return value;
}

icmp::Request ourRequest() {
    return {address(Destination), Id, Seq};
}

QByteArray be16(quint16 value) {
    const char bytes[] = {char(value >> 8), char(value & 0xFF)};
    return QByteArray(bytes, 2);
}

// An ICMP message; the checksum is left zero, as the classifier does not read it.
QByteArray message(int type, int code, quint16 id, quint16 seq, const QByteArray& data = {}) {
    return QByteArray(1, char(type)) + char(code) + QByteArray(2, 0) + be16(id) + be16(seq) + data;
}

// An IPv4 header of `words` 32-bit words carrying ICMP; options are zero.
QByteArray ipHeader(int words, const QByteArray& source, const QByteArray& destination,
                    int ttl = ReplyTtl) {
    QByteArray header(words * 4, 0);
    header[0] = char(0x40 | words);
    header[8] = char(ttl);
    header[9] = 1;
    header.replace(12, 4, source);
    header.replace(16, 4, destination);
    return header;
}

// `packet` with another first byte: IP version 4 and a header length.
QByteArray withVersionIhl(QByteArray packet, int versionIhl) {
    packet[0] = char(versionIhl);
    return packet;
}

QByteArray datagram(const QByteArray& source, const QByteArray& icmpMessage, int words = 5) {
    return ipHeader(words, source, Local) + icmpMessage;
}

// The IP header and first 8 bytes of a request we sent, as an error quotes them.
QByteArray quote(const QByteArray& destination = Destination, int type = 8, quint16 id = Id,
                 quint16 seq = Seq, int words = 5) {
    return ipHeader(words, Local, destination, 1) + message(type, 0, id, seq);
}

// An error from the router quoting `quoted`.
QByteArray error(int type, int code, const QByteArray& quoted) {
    return datagram(Router, message(type, code, 0, 0) + quoted);
}

icmp::Answer classify(const QByteArray& packet, icmp::Framing framing, const QByteArray& source) {
    return icmp::classify(
        {reinterpret_cast<const std::uint8_t*>(packet.constData()), std::size_t(packet.size())},
        framing, address(source), ourRequest());
}

QByteArray asBytes(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QString reasonText(icmp::IgnoreReason reason) {
    const std::string_view text = icmp::describe(reason);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}
} // namespace

class TestIcmpCodec : public QObject {
    Q_OBJECT

private slots:
    void echoRequest_data() {
        QTest::addColumn<quint16>("id");
        QTest::addColumn<quint16>("seq");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("even length") << quint16(0x1234) << quint16(1) << QByteArray("abcd")
                                     << QByteArray("\x08\x00\x21\x04\x12\x34\x00\x01"
                                                   "abcd",
                                                   12);
        QTest::newRow("odd length pads the sum")
            << quint16(0x1234) << quint16(1) << QByteArray("abc")
            << QByteArray("\x08\x00\x21\x68\x12\x34\x00\x01"
                          "abc",
                          11);
        QTest::newRow("carries fold back")
            << quint16(0xFFFF) << quint16(0xFFFF) << QByteArray("\xff\xff", 2)
            << QByteArray("\x08\x00\xf7\xff\xff\xff\xff\xff"
                          "\xff\xff",
                          10);
        QTest::newRow("no data") << quint16(0) << quint16(0) << QByteArray()
                                 << QByteArray("\x08\x00\xf7\xff\x00\x00\x00\x00", 8);
    }
    void echoRequest() {
        QFETCH(quint16, id);
        QFETCH(quint16, seq);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        const auto packet = icmp::echoRequest(
            id, seq,
            {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())});
        QCOMPARE(asBytes(packet).toHex(), expected.toHex());
    }

    void replies_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<icmp::Framing>("framing");
        QTest::addColumn<int>("ttl"); // -1: the packet has no IP header
        QTest::addColumn<QByteArray>("data");
        const auto raw = icmp::Framing::IpDatagram;
        const auto bare = icmp::Framing::IcmpMessage;
        QTest::newRow("raw") << datagram(Destination, message(0, 0, Id, Seq, Data)) << raw
                             << ReplyTtl << Data;
        QTest::newRow("raw, IP options")
            << datagram(Destination, message(0, 0, Id, Seq, Data), 6) << raw << ReplyTtl << Data;
        QTest::newRow("raw, largest IP header")
            << datagram(Destination, message(0, 0, Id, Seq, Data), 15) << raw << ReplyTtl << Data;
        QTest::newRow("raw, no data")
            << datagram(Destination, message(0, 0, Id, Seq)) << raw << ReplyTtl << QByteArray();
        // The kernel writes its own identifier into a datagram socket's requests.
        QTest::newRow("datagram, kernel's identifier")
            << message(0, 0, 0x9999, Seq, Data) << bare << -1 << Data;
    }
    void replies() {
        QFETCH(QByteArray, packet);
        QFETCH(icmp::Framing, framing);
        QFETCH(int, ttl);
        QFETCH(QByteArray, data);
        const auto answer = classify(packet, framing, Destination);
        QCOMPARE(reasonText(answer.reason), reasonText(icmp::IgnoreReason::None));
        QVERIFY(answer.verdict == icmp::Verdict::EchoReply);
        QCOMPARE(answer.ttl ? int(*answer.ttl) : -1, ttl);
        QCOMPARE(asBytes(answer.data), data);
    }

    void errors_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("code");
        QTest::newRow("time exceeded in transit") << error(11, 0, quote()) << 11 << 0;
        QTest::newRow("host unreachable") << error(3, 1, quote()) << 3 << 1;
        QTest::newRow("fragmentation needed") << error(3, 4, quote()) << 3 << 4;
        QTest::newRow("parameter problem") << error(12, 0, quote()) << 12 << 0;
        QTest::newRow("quote with IP options")
            << error(11, 0, quote(Destination, 8, Id, Seq, 6)) << 11 << 0;
        QTest::newRow("quote longer than 8 bytes") << error(3, 3, quote() + Data) << 3 << 3;
    }
    void errors() {
        QFETCH(QByteArray, packet);
        QFETCH(int, type);
        QFETCH(int, code);
        const auto answer = classify(packet, icmp::Framing::IpDatagram, Router);
        QCOMPARE(reasonText(answer.reason), reasonText(icmp::IgnoreReason::None));
        QVERIFY(answer.verdict == icmp::Verdict::Error);
        QCOMPARE(int(answer.type), type);
        QCOMPARE(int(answer.code), code);
    }

    void ignored_data() {
        using R = icmp::IgnoreReason;
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<icmp::Framing>("framing");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<icmp::IgnoreReason>("reason");
        const auto raw = icmp::Framing::IpDatagram;
        const auto bare = icmp::Framing::IcmpMessage;
        const QByteArray reply = datagram(Destination, message(0, 0, Id, Seq, Data));

        QTest::newRow("empty") << QByteArray() << raw << Destination << R::TooShort;
        QTest::newRow("shorter than an IP header")
            << reply.left(19) << raw << Destination << R::TooShort;
        QTest::newRow("IP header, cut ICMP header")
            << reply.left(27) << raw << Destination << R::TooShort;
        QTest::newRow("datagram, cut ICMP header")
            << message(0, 0, Id, Seq).left(7) << bare << Destination << R::TooShort;
        QTest::newRow("IHL 0") << withVersionIhl(reply, 0x40) << raw << Destination
                               << R::BadIpHeaderLength;
        QTest::newRow("IHL 4") << withVersionIhl(reply, 0x44) << raw << Destination
                               << R::BadIpHeaderLength;
        QTest::newRow("IHL past the end")
            << withVersionIhl(reply, 0x4F) << raw << Destination << R::BadIpHeaderLength;

        QTest::newRow("our own request looped back")
            << datagram(Local, message(8, 0, Id, Seq, Data)) << raw << Local << R::NotEchoReply;
        QTest::newRow("datagram, error type in the stream")
            << message(11, 0, 0, 0) + quote() << bare << Router << R::NotEchoReply;
        QTest::newRow("reply from another host")
            << datagram(Router, message(0, 0, Id, Seq, Data)) << raw << Router << R::WrongSource;
        QTest::newRow("raw, another identifier")
            << datagram(Destination, message(0, 0, Id + 1, Seq, Data)) << raw << Destination
            << R::WrongIdentifier;
        QTest::newRow("raw, earlier sequence")
            << datagram(Destination, message(0, 0, Id, Seq - 1, Data)) << raw << Destination
            << R::WrongSequence;
        QTest::newRow("datagram, earlier sequence")
            << message(0, 0, Id, Seq - 1, Data) << bare << Destination << R::WrongSequence;

        QTest::newRow("error quoting nothing")
            << error(11, 0, QByteArray()) << raw << Router << R::QuoteTooShort;
        QTest::newRow("error quoting a header alone")
            << error(11, 0, quote().left(20)) << raw << Router << R::QuoteTooShort;
        QTest::newRow("error quoting IP options, cut")
            << error(11, 0, quote(Destination, 8, Id, Seq, 6).left(31)) << raw << Router
            << R::QuoteTooShort;
        QTest::newRow("error quoting IHL 4") << error(11, 0, withVersionIhl(quote(), 0x44)) << raw
                                             << Router << R::BadQuotedHeaderLength;
        QTest::newRow("error quoting IHL past the end")
            << error(11, 0, withVersionIhl(quote(), 0x4F)) << raw << Router
            << R::BadQuotedHeaderLength;
        QTest::newRow("error about another destination")
            << error(3, 1, quote(Router)) << raw << Router << R::QuotesAnotherPacket;
        QTest::newRow("error about another identifier")
            << error(3, 1, quote(Destination, 8, Id + 1)) << raw << Router
            << R::QuotesAnotherPacket;
        QTest::newRow("error about an earlier request")
            << error(11, 0, quote(Destination, 8, Id, Seq - 1)) << raw << Router
            << R::QuotesAnotherPacket;
        QTest::newRow("error about a reply, not a request")
            << error(3, 3, quote(Destination, 0)) << raw << Router << R::QuotesAnotherPacket;
    }
    void ignored() {
        QFETCH(QByteArray, packet);
        QFETCH(icmp::Framing, framing);
        QFETCH(QByteArray, source);
        QFETCH(icmp::IgnoreReason, reason);
        const auto answer = classify(packet, framing, source);
        QCOMPARE(reasonText(answer.reason), reasonText(reason));
        QVERIFY(answer.verdict == icmp::Verdict::Ignored);
        QVERIFY(answer.data.empty());
    }
};

QTEST_GUILESS_MAIN(TestIcmpCodec)
#include "tst_icmpcodec.moc"
