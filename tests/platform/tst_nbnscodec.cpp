// The NetBIOS name service codec: encoding, requests, and responses that
// must be read exactly or rejected without harm.

#include "NbnsPackets.h"
#include "platform/NetworkPlatform.h"

#include <QtTest>

using namespace norvane;
using namespace norvane::test;

namespace {
constexpr int Id = 0x1234;
const QByteArray Mac("\x02\x4e\x56\x00\x00\x07", 6);

nbns::NetbiosName labName() {
    return *nbns::netbiosName("LABSRV1", nbns::SuffixWorkstation);
}

QByteArray asBytes(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}
} // namespace

class TestNbnsCodec : public QObject {
    Q_OBJECT

private slots:
    void names_data() {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("lower case is raised")
            << QByteArray("labsrv1") << true << QByteArray("LABSRV1        \x20", 16);
        QTest::newRow("fifteen characters")
            << QByteArray("ABCDEFGHIJKLMNO") << true << QByteArray("ABCDEFGHIJKLMNO\x20", 16);
        QTest::newRow("sixteen characters")
            << QByteArray("ABCDEFGHIJKLMNOP") << false << QByteArray();
        QTest::newRow("empty") << QByteArray() << false << QByteArray();
    }
    void names() {
        QFETCH(QByteArray, host);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        const auto name = nbns::netbiosName(host.toStdString(), nbns::SuffixServer);
        QCOMPARE(name.has_value(), valid);
        if (valid)
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(name->data()), 16), bytes);
    }

    void firstLevelEncoding() {
        // The classic example: "FRED" padded with spaces.
        const auto fred = nbns::netbiosName("FRED", ' ');
        const auto encoded = nbns::encodeName(*fred);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(encoded.data()), 32),
                 QByteArray("EGFCEFEECACACACACACACACACACACACA"));
    }

    void requests() {
        const QByteArray status = asBytes(nbns::nodeStatusRequest(Id));
        QCOMPARE(status.size(), 50);
        QCOMPARE(status.left(12),
                 QByteArray("\x12\x34\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12));
        QCOMPARE(status.mid(12, 3), QByteArray("\x20"
                                               "CK"));
        QCOMPARE(status.mid(15, 30), QByteArray(30, 'A'));
        QCOMPARE(status.right(5), QByteArray("\x00\x00\x21\x00\x01", 5));

        const QByteArray query = asBytes(nbns::nameQueryRequest(Id, labName(), true));
        QCOMPARE(query.size(), 50);
        QCOMPARE(query.mid(2, 2), QByteArray("\x01\x10", 2)); // recursion desired, broadcast
        QCOMPARE(query.mid(12, 34), encodedLabel(labName()));
        QCOMPARE(query.right(4), QByteArray("\x00\x20\x00\x01", 4));
    }

    void nodeStatusIsRead() {
        const auto status = nbns::parseNodeStatusResponse(bytes(nodeStatusResponse(Id, Mac)), Id);
        QVERIFY(status);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(status->unitId.data()), 6), Mac);
        QCOMPARE(status->names.size(), std::size_t(2));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(status->names[1].name.data()), 16),
                 QByteArray("HOST1          \x20", 16));
        QCOMPARE(status->names[0].flags, std::uint16_t(0x0400));
        // No names at all still carries the unit ID.
        QVERIFY(nbns::parseNodeStatusResponse(bytes(nodeStatusResponse(Id, Mac, 0)), Id));
    }

    void nameQueryIsRead() {
        const auto addresses = nbns::parseNameQueryResponse(
            bytes(nameQueryResponse(Id, labName(), "10.1.2.3")), Id, labName());
        QVERIFY(addresses);
        QCOMPARE(addresses->size(), std::size_t(1));
        QCOMPARE(NetworkPlatform::inetNtoa(addresses->front()), std::string("10.1.2.3"));

        // Two addresses, and the answer's name given as a pointer to the
        // question's.
        const QByteArray data = addressEntry("10.1.2.3") + addressEntry("10.1.2.4");
        const QByteArray packet = responseHeader(Id, PositiveResponse, 1, 1) +
                                  encodedLabel(labName()) + QByteArray("\x00\x20\x00\x01", 4) +
                                  answerRecord(QByteArray("\xC0\x0C", 2), nbns::TypeNB, data);
        const auto both = nbns::parseNameQueryResponse(bytes(packet), Id, labName());
        QVERIFY(both);
        QCOMPARE(both->size(), std::size_t(2));
    }

    void everyTruncationIsRejected() {
        const QByteArray status = nodeStatusResponse(Id, Mac);
        for (qsizetype size = 0; size < 12 + 34 + 10 + 1 + 2 * 18 + 6; ++size)
            QVERIFY2(!nbns::parseNodeStatusResponse(bytes(status.left(size)), Id),
                     qPrintable(QString::number(size)));
        const QByteArray query = nameQueryResponse(Id, labName(), "10.1.2.3");
        for (qsizetype size = 0; size < query.size(); ++size)
            QVERIFY2(!nbns::parseNameQueryResponse(bytes(query.left(size)), Id, labName()),
                     qPrintable(QString::number(size)));
    }

    void malformedNodeStatus_data() {
        QTest::addColumn<QByteArray>("packet");
        const QByteArray name = encodedLabel(nbns::wildcardName());
        const QByteArray data = nodeStatusData(2, Mac);
        QTest::newRow("wrong transaction id") << nodeStatusResponse(Id + 1, Mac);
        QTest::newRow("a request, not a response")
            << responseHeader(Id, 0x0000, 0, 1) + answerRecord(name, nbns::TypeNBSTAT, data);
        QTest::newRow("negative response")
            << responseHeader(Id, 0x8403, 0, 1) + answerRecord(name, nbns::TypeNBSTAT, data);
        QTest::newRow("no answer") << responseHeader(Id, 0x8400, 0, 0);
        QTest::newRow("answer count beyond the packet") << responseHeader(Id, 0x8400, 0, 5);
        QTest::newRow("question count beyond the packet")
            << responseHeader(Id, 0x8400, 3, 1) + answerRecord(name, nbns::TypeNBSTAT, data);
        QTest::newRow("data length beyond the packet")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(name, nbns::TypeNBSTAT, data, int(data.size()) + 1);
        QTest::newRow("name count beyond the data")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(name, nbns::TypeNBSTAT, char(5) + data.mid(1));
        QTest::newRow("no room for the unit ID")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(name, nbns::TypeNBSTAT, data.left(1 + 2 * 18 + 5));
        QTest::newRow("wrong record type")
            << responseHeader(Id, 0x8400, 0, 1) + answerRecord(name, nbns::TypeNB, data);
        QTest::newRow("name pointer past the end")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(QByteArray("\xC0\xFF", 2), nbns::TypeNBSTAT, data);
        QTest::newRow("name pointer into the header")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(QByteArray("\xC0\x02", 2), nbns::TypeNBSTAT, data);
        QTest::newRow("name pointer to itself")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(QByteArray("\xC0\x0C", 2), nbns::TypeNBSTAT, data);
        QTest::newRow("label of the wrong length")
            << responseHeader(Id, 0x8400, 0, 1) + answerRecord(QByteArray("\x04"
                                                                          "ABCD\x00",
                                                                          6),
                                                               nbns::TypeNBSTAT, data);
        QByteArray badLetters = name;
        badLetters[5] = 'Z';
        QTest::newRow("letters outside A to P")
            << responseHeader(Id, 0x8400, 0, 1) + answerRecord(badLetters, nbns::TypeNBSTAT, data);
        QByteArray unterminated = name;
        unterminated.chop(1);
        unterminated.append(char(0x3F)); // a scope label running off the end
        QTest::newRow("scope label past the end")
            << responseHeader(Id, 0x8400, 0, 1) + unterminated;
        QByteArray longScope = name.chopped(1);
        for (int i = 0; i < 5; ++i)
            longScope += char(60) + QByteArray(60, 'x');
        longScope += '\0';
        QTest::newRow("name longer than 255 bytes")
            << responseHeader(Id, 0x8400, 0, 1) + answerRecord(longScope, nbns::TypeNBSTAT, data);
        QTest::newRow("reserved label bits")
            << responseHeader(Id, 0x8400, 0, 1) +
                   answerRecord(QByteArray("\x40\x00", 2), nbns::TypeNBSTAT, data);
    }
    void malformedNodeStatus() {
        QFETCH(QByteArray, packet);
        QVERIFY(!nbns::parseNodeStatusResponse(bytes(packet), Id));
    }

    void foreignNameAnswers_data() {
        QTest::addColumn<QByteArray>("packet");
        const QByteArray entry = addressEntry("10.1.2.3");
        QTest::newRow("wrong transaction id")
            << nameQueryResponse(Id ^ 0xFFFF, labName(), "10.1.2.3");
        QTest::newRow("another name")
            << nameQueryResponse(Id, *nbns::netbiosName("LABSRV2", 0), "10.1.2.3");
        QTest::newRow("another suffix")
            << nameQueryResponse(Id, *nbns::netbiosName("LABSRV1", 0x20), "10.1.2.3");
        QTest::newRow("negative response")
            << responseHeader(Id, 0x8503, 0, 1) +
                   answerRecord(encodedLabel(labName()), nbns::TypeNB, entry);
        QTest::newRow("address entry cut short")
            << responseHeader(Id, PositiveResponse, 0, 1) +
                   answerRecord(encodedLabel(labName()), nbns::TypeNB, entry.left(5));
        QTest::newRow("no address")
            << responseHeader(Id, PositiveResponse, 0, 1) +
                   answerRecord(encodedLabel(labName()), nbns::TypeNB, QByteArray());
    }
    void foreignNameAnswers() {
        QFETCH(QByteArray, packet);
        QVERIFY(!nbns::parseNameQueryResponse(bytes(packet), Id, labName()));
    }
};

QTEST_GUILESS_MAIN(TestNbnsCodec)
#include "tst_nbnscodec.moc"
