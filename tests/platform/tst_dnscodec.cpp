// The DNS message codec of service discovery: queries it writes, answers
// it reads, and hostile answers it must refuse without harm.

#include "DnsPackets.h"
#include "dns/DnsCodec.h"

#include <QtTest>

using namespace norvane;
using namespace norvane::test::dnsmsg;

Q_DECLARE_METATYPE(norvane::dns::ParseError)

namespace {
constexpr int Id = 0x4d2f;

std::span<const std::uint8_t> bytes(const QByteArray& packet) {
    return {reinterpret_cast<const std::uint8_t*>(packet.constData()),
            static_cast<std::size_t>(packet.size())};
}

QByteArray asBytes(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

dns::Name labels(std::initializer_list<const char*> list) {
    dns::Name name;
    for (const char* label : list)
        name.emplace_back(label);
    return name;
}

// A browse answer as responders send it: the question repeated, a pointer
// to the instance, its service and host address as additional records,
// every name after the first compressed.
QByteArray browseAnswer() {
    QByteArray packet = header(Id, Response, 1, 1, 0, 3);
    packet += question(name("_smb._tcp.local"), dns::TypePTR); // name at 12
    const QByteArray instance = QByteArray("\x0cLab NAS.Mine", 13) + pointer(12);
    packet += record(pointer(12), dns::TypePTR, instance, -1, 1);
    const int instanceAt = int(packet.size() - instance.size());
    const QByteArray target =
        QByteArray("\x06labnas", 7) + pointer(12 + 10); // "local" of the question
    packet += record(pointer(instanceAt), dns::TypeSRV, srvData(445, target));
    const int targetAt = int(packet.size() - target.size());
    packet += record(pointer(instanceAt), dns::TypeTXT, QByteArray("\x00", 1));
    packet += record(pointer(targetAt), dns::TypeA, ipv4(10, 213, 77, 121));
    return packet;
}

QByteArray longLabel(int length) {
    return QByteArray(length, 'x');
}

// A name of `count` labels of 63 bytes each, uncompressed.
QByteArray longName(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += char(63) + longLabel(63);
    return out;
}
} // namespace

class TestDnsCodec : public QObject {
    Q_OBJECT

private slots:
    void readsBrowseAnswerWithCompression() {
        const QByteArray packet = browseAnswer();
        const auto parsed = dns::parseMessage(bytes(packet));
        QCOMPARE(parsed.error, dns::ParseError::None);
        QVERIFY(parsed.message);
        const dns::Message& message = *parsed.message;
        QCOMPARE(message.id, Id);
        QVERIFY(message.isResponse());
        QCOMPARE(message.questions.size(), 1u);
        QVERIFY(dns::sameName(message.questions[0].name, labels({"_smb", "_tcp", "local"})));
        QCOMPARE(message.answerCount, 1u);
        QCOMPARE(message.records.size(), 4u);

        const auto instance = labels({"Lab NAS.Mine", "_smb", "_tcp", "local"});
        const auto* pointerData = std::get_if<dns::PtrData>(&message.records[0].data);
        QVERIFY(pointerData);
        QVERIFY(dns::sameName(pointerData->target, instance));

        const dns::Record& service = message.records[1];
        QVERIFY(dns::sameName(service.name, instance));
        QCOMPARE(service.rrClass, dns::ClassIN); // cache-flush bit dropped
        QCOMPARE(service.ttl, 4500u);
        const auto* srv = std::get_if<dns::SrvData>(&service.data);
        QVERIFY(srv);
        QCOMPARE(srv->port, 445);
        QVERIFY(dns::sameName(srv->target, labels({"labnas", "local"})));

        QVERIFY(std::holds_alternative<std::monostate>(message.records[2].data));
        const auto* address = std::get_if<dns::AddressData>(&message.records[3].data);
        QVERIFY(address);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&address->address), 4),
                 ipv4(10, 213, 77, 121));
    }

    void refusesMalformedMessages_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<dns::ParseError>("error");
        using E = dns::ParseError;
        const QByteArray oneQuestion = header(Id, Response, 1, 0);
        const QByteArray oneAnswer = header(Id, Response, 0, 1);

        QTest::newRow("short header") << header(Id, Response, 0, 0).left(11) << E::Truncated;
        QTest::newRow("answer count far beyond the message")
            << header(Id, Response, 0, 0xFFFF) + record(name("a"), dns::TypeA, ipv4(1, 2, 3, 4))
            << E::CountTooLarge;
        QTest::newRow("additional count beyond the message")
            << header(Id, Response, 0, 0, 0, 9) + record(name("a"), dns::TypeA, ipv4(1, 2, 3, 4))
            << E::CountTooLarge;
        QTest::newRow("second question missing")
            << header(Id, Response, 2, 0) + question(name("_smb._tcp.local"), dns::TypePTR)
            << E::Truncated;
        QTest::newRow("label runs past the end") << oneQuestion + QByteArray("\x0a"
                                                                             "abcdefg",
                                                                             8)
                                                 << E::Truncated;
        QTest::newRow("name without its root") << oneQuestion +
                                                      QByteArray("\x03"
                                                                 "abc",
                                                                 4) +
                                                      QByteArray(4, '\x01')
                                               << E::Truncated;
        QTest::newRow("pointer cut in half") << oneQuestion + QByteArray("\x01"
                                                                         "a"
                                                                         "\x05"
                                                                         "abcde"
                                                                         "\xc0",
                                                                         9)
                                             << E::Truncated;
        QTest::newRow("pointer to itself")
            << oneQuestion + pointer(12) + QByteArray(4, '\0') << E::PointerLoop;
        QTest::newRow("pointer forwards")
            << oneQuestion + pointer(14) + name("a") + QByteArray(4, '\0') << E::PointerLoop;
        QTest::newRow("pointer past the end")
            << oneQuestion + pointer(0x3FFF) + QByteArray(4, '\0') << E::PointerOutOfRange;
        QTest::newRow("pointer into the header")
            << oneQuestion + pointer(4) + QByteArray(4, '\0') << E::PointerOutOfRange;
        QTest::newRow("label of 64 bytes")
            << oneQuestion + char(64) + longLabel(64) + QByteArray(5, '\0') << E::LabelTooLong;
        QTest::newRow("extended label type")
            << oneQuestion + QByteArray("\x41\x00", 2) + QByteArray(4, '\0') << E::LabelTooLong;
        QTest::newRow("name of 321 bytes")
            << oneQuestion + longName(5) + QByteArray(5, '\0') << E::NameTooLong;
        // 64 bytes here and 193 behind the pointer: 257 in all.
        QTest::newRow("name over 255 through a pointer")
            << header(Id, Response, 2, 0) + longName(3) + QByteArray(5, '\0') + char(63) +
                   longLabel(63) + pointer(12) + QByteArray(4, '\0')
            << E::NameTooLong;
        QTest::newRow("record data past the end")
            << oneAnswer + record(name("a"), dns::TypeA, ipv4(1, 2, 3, 4), 40) << E::Truncated;
        QTest::newRow("record cut before its data length")
            << oneAnswer + name("a") + QByteArray(8, '\0') << E::Truncated;
        QTest::newRow("address of five bytes")
            << oneAnswer + record(name("a"), dns::TypeA, ipv4(1, 2, 3, 4) + 'x')
            << E::BadRecordData;
        QTest::newRow("service shorter than its fixed part")
            << oneAnswer + record(name("a"), dns::TypeSRV, QByteArray(5, '\0')) << E::BadRecordData;
        QTest::newRow("pointer target runs past its data")
            << oneAnswer + record(name("a"), dns::TypePTR, name("abc.local"), 3) +
                   QByteArray(16, '\0')
            << E::BadRecordData;
        QTest::newRow("pointer target with bytes after it")
            << oneAnswer + record(name("a"), dns::TypePTR, name("b") + "xy") << E::BadRecordData;
        QTest::newRow("service target looping onto itself")
            << oneAnswer + record(name("a"), dns::TypeSRV, srvData(445, pointer(12 + 3 + 10 + 6)))
            << E::PointerLoop;
    }
    void refusesMalformedMessages() {
        QFETCH(QByteArray, packet);
        QFETCH(dns::ParseError, error);
        const auto parsed = dns::parseMessage(bytes(packet));
        QVERIFY(!parsed.message);
        QCOMPARE(parsed.error, error);
    }

    void everyCutOfAGoodMessageIsRefused() {
        const QByteArray packet = browseAnswer();
        for (qsizetype size = 0; size < packet.size(); ++size)
            QVERIFY2(!dns::parseMessage(bytes(packet.left(size))).message,
                     qPrintable(QString::number(size)));
    }

    void writesQueries() {
        const std::vector<dns::Question> questions{
            {labels({"Lab NAS.Mine", "_smb", "_tcp", "local"}), dns::TypeSRV},
            {labels({"labnas", "local"}), dns::TypeA}};
        const auto query = dns::queryMessage(Id, questions);
        QVERIFY(query);
        QCOMPARE(asBytes(*query),
                 header(Id, 0, 2, 0) +
                     question(QByteArray("\x0cLab NAS.Mine", 13) + name("_smb._tcp.local"),
                              dns::TypeSRV) +
                     question(name("labnas.local"), dns::TypeA));
    }

    void refusesNamesItCannotWrite_data() {
        QTest::addColumn<int>("lastLabel");
        QTest::addColumn<bool>("written");
        // Three labels of 63 and one more: 193 bytes and the last label's.
        QTest::newRow("255 bytes") << 61 << true;
        QTest::newRow("256 bytes") << 62 << false;
        QTest::newRow("empty label") << 0 << false;
    }
    void refusesNamesItCannotWrite() {
        QFETCH(int, lastLabel);
        QFETCH(bool, written);
        dns::Name name(3, std::string(63, 'x'));
        name.emplace_back(static_cast<std::size_t>(lastLabel), 'y');
        const std::vector<dns::Question> questions{{name, dns::TypeA}};
        QCOMPARE(dns::queryMessage(Id, questions).has_value(), written);
    }

    void refusesLabelOver63Bytes() {
        const std::vector<dns::Question> questions{{{std::string(64, 'x')}, dns::TypeA}};
        QVERIFY(!dns::queryMessage(Id, questions));
    }

    void namesFromAndToText() {
        QVERIFY(dns::sameName(*dns::nameFromText("_smb._tcp.local"),
                              labels({"_SMB", "_tcp", "LOCAL"})));
        QVERIFY(!dns::sameName(labels({"a", "b"}), labels({"a"})));
        QVERIFY(!dns::nameFromText("a..b"));
        QVERIFY(!dns::nameFromText("a."));
        QVERIFY(!dns::nameFromText(""));
        QCOMPARE(dns::nameText({"Lab NAS.Mine", std::string("\x01\\", 2), "local"}),
                 std::string("Lab NAS\\.Mine.\\001\\\\.local"));
    }
};

QTEST_GUILESS_MAIN(TestDnsCodec)
#include "tst_dnscodec.moc"
