// The frames a listing process hands back come from a process that talked
// to the network: every length and count is bounded on the way in.

#include "linux/ListingCodec.h"

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
    const ServerLocation location{.url = "smb://10.0.0.5", .kerberosUrl = "smb://host.example"};
    const auto decoded = decodeListingRequest(encodeListingRequest(location));
    QVERIFY(decoded);
    QCOMPARE(decoded->url, location.url);
    QCOMPARE(decoded->kerberosUrl, location.kerberosUrl);
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
    const std::string good = encodeListingRequest({.url = "smb://a", .kerberosUrl = "smb://b"});
    std::string tooLong;
    putFrameLength(tooLong, MaxListingRequestBytes + 1);
    tooLong += std::string(MaxListingRequestBytes + 1, 'u');
    putFrameLength(tooLong, 0);
    for (const std::string& bytes :
         {std::string(), good.substr(0, good.size() - 1), good + "x", tooLong})
        QVERIFY(!decodeListingRequest(bytes));
}

QTEST_APPLESS_MAIN(TestListingCodec)
#include "tst_listingcodec.moc"
