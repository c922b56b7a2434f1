// The frames a listing process hands back come from a process that talked
// to the network: every length and count is bounded on the way in.

#include "linux/ListingCodec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace norvane;

class TestListingCodec : public QObject {
    Q_OBJECT
private slots:
    void listingRoundTrips();
    void requestRoundTrips();
    void malformedListingsAreRefused_data();
    void malformedListingsAreRefused();
    void malformedRequestsAreRefused();
    void mutatedFramesStayInBounds();
    void spawnerKillsRoundTripAndNothingElseIsOne();
};

void TestListingCodec::listingRoundTrips() {
    const SmbListing listing{.error = 13,
                             .entries = {{SmbFileShare, "docs", "Team documents"},
                                         {SmbPrinterShare, "laser", ""},
                                         {SmbFileShare, std::string(MaxBrowseNameBytes, 'n'),
                                          std::string(MaxBrowseCommentBytes, 'c')}}};
    const auto decoded = decodeListing(encodeListing(listing));
    QVERIFY(decoded);
    QCOMPARE(decoded->error, 13);
    QCOMPARE(decoded->entries.size(), listing.entries.size());
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        QCOMPARE(decoded->entries[i].type, listing.entries[i].type);
        QCOMPARE(decoded->entries[i].name, listing.entries[i].name);
        QCOMPARE(decoded->entries[i].comment, listing.entries[i].comment);
    }
    QVERIFY(decodeListing(encodeListing(SmbListing{})));
}

void TestListingCodec::requestRoundTrips() {
    const ServerLocation location{
        .url = "smb://10.0.0.5", .kerberosUrl = "smb://host.example", .port = 445};
    const auto plain = decodeListingRequest(encodeListingRequest({location, std::nullopt}));
    QVERIFY(plain);
    QCOMPARE(plain->location.url, location.url);
    QCOMPARE(plain->location.kerberosUrl, location.kerberosUrl);
    QCOMPARE(plain->location.port, location.port);
    QVERIFY(!plain->logOn);
    for (const std::uint16_t port : std::initializer_list<std::uint16_t>{0, 139, 65535}) {
        const auto decoded = decodeListingRequest(encodeListingRequest(
            {{.url = "smb://h", .kerberosUrl = "smb://h", .port = port}, std::nullopt}));
        QVERIFY(decoded);
        QCOMPARE(decoded->location.port, port);
    }

    const Credentials anna{"anna", "OFFICE", SecretText(std::string(MaxListingRequestBytes, 'p'))};
    const auto withLogOn = decodeListingRequest(encodeListingRequest({location, anna}));
    QVERIFY(withLogOn && withLogOn->logOn);
    QVERIFY(*withLogOn->logOn == anna);
    // An anonymous log-on is none.
    const auto anonymous =
        decodeListingRequest(encodeListingRequest({location, Credentials{"", "OFFICE", {}}}));
    QVERIFY(anonymous && !anonymous->logOn);
}

void TestListingCodec::malformedListingsAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    const std::string good = encodeListing(SmbListing{0, {{SmbFileShare, "docs", "x"}}});
    const auto entry = [](int nameLength, int commentLength, const QByteArray& text) {
        QByteArray bytes("NVL1\0\0\0\0", 8);
        bytes += char(SmbFileShare);
        bytes += char(nameLength & 0xFF) + QByteArray(1, char(nameLength >> 8));
        bytes += char(commentLength & 0xFF) + QByteArray(1, char(commentLength >> 8));
        return bytes + text;
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("other magic") << QByteArray("NVL2\0\0\0\0", 8);
    QTest::newRow("no error") << QByteArray("NVL1\0\0", 6);
    QTest::newRow("cut entry") << QByteArray::fromStdString(good.substr(0, good.size() - 1));
    QTest::newRow("trailing byte") << QByteArray::fromStdString(good + "x");
    QTest::newRow("empty name") << entry(0, 0, "");
    QTest::newRow("name too long")
        << entry(int(MaxBrowseNameBytes) + 1, 0, QByteArray(int(MaxBrowseNameBytes) + 1, 'n'));
    QTest::newRow("comment too long") << entry(
        1, int(MaxBrowseCommentBytes) + 1, "n" + QByteArray(int(MaxBrowseCommentBytes) + 1, 'c'));
    QTest::newRow("zero byte in name") << entry(2, 0, QByteArray("a\0", 2));
    QTest::newRow("too many bytes") << QByteArray(int(MaxListingBytes) + 1, 'N');
}

void TestListingCodec::malformedListingsAreRefused() {
    QFETCH(QByteArray, bytes);
    QVERIFY(!decodeListing(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}

void TestListingCodec::malformedRequestsAreRefused() {
    const std::string good = encodeListingRequest(
        {{.url = "smb://a", .kerberosUrl = "smb://b"}, Credentials{"u", "d", SecretText("p")}});
    std::string tooLong;
    putFrameLength(tooLong, MaxListingRequestBytes + 1);
    tooLong += std::string(MaxListingRequestBytes + 1, 'u');
    for (std::size_t i = 1; i < ListingRequestFields; ++i)
        putFrameLength(tooLong, 0);
    std::string huge;
    putFrameLength(huge, 0xFFFFFFFFu);
    // The port's field cut to one byte, its length saying so.
    std::string shortPort = good.substr(0, good.size() - FrameLengthBytes - 2);
    putFrameLength(shortPort, 1);
    shortPort += '\x01';
    for (const std::string& bytes :
         {std::string(), good.substr(0, good.size() - 1), good + "x", tooLong, huge, shortPort})
        QVERIFY(!decodeListingRequest(bytes));
}

// Every cut and every flipped byte of valid frames either decodes within
// the bounds or is refused; none reads past its bytes (the sanitizers'
// build checks that).
void TestListingCodec::mutatedFramesStayInBounds() {
    const std::string listing = encodeListing(
        SmbListing{0, {{SmbFileShare, "docs", "Team"}, {SmbPrinterShare, "laser", ""}}});
    const std::string request =
        encodeListingRequest({{.url = "smb://10.0.0.5", .kerberosUrl = "smb://h"},
                              Credentials{"u", "d", SecretText("p")}});
    QRandomGenerator random(24);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = round % 2 == 0 ? listing : request;
        bytes.resize(random.bounded(quint32(bytes.size() + 1)));
        for (int flips = random.bounded(4); flips > 0 && !bytes.empty(); --flips)
            bytes[random.bounded(quint32(bytes.size()))] = char(random.bounded(256));
        if (const auto decoded = decodeListing(bytes)) {
            QVERIFY(decoded->entries.size() <= MaxListedEntries);
            for (const SmbEntry& entry : decoded->entries)
                QVERIFY(!entry.name.empty() && entry.name.size() <= MaxBrowseNameBytes &&
                        entry.comment.size() <= MaxBrowseCommentBytes);
        }
        if (const auto decoded = decodeListingRequest(bytes))
            QVERIFY(decoded->location.url.size() <= MaxListingRequestBytes);
    }
}

void TestListingCodec::spawnerKillsRoundTripAndNothingElseIsOne() {
    for (const std::uint32_t number : {0u, 0x01020304u, 0xFFFFFFFFu})
        QCOMPARE(decodeSpawnerKill(encodeSpawnerKill(number)), std::optional(number));
    const std::string kill = encodeSpawnerKill(7);
    for (const std::string& other :
         {std::string(1, SpawnerStartMessage), kill.substr(0, kill.size() - 1), kill + "x",
          std::string(1, SpawnerStartMessage) + kill.substr(1), std::string()})
        QVERIFY(!decodeSpawnerKill(other));
}

QTEST_APPLESS_MAIN(TestListingCodec)
#include "tst_listingcodec.moc"
