// The SMB2 identification codec: the requests' bytes, the answers captured
// from the lab's smbd (SPNEGO and bare NTLMSSP), and crafted hostile ones:
// cut short, lying offsets and lengths, oversized or repeated names, more
// target information pairs than are read, bad DER lengths, bad frames.

#include "smb2/IdentityExchange.h"
#include "smb2/NtlmMessages.h"
#include "smb2/SessionFrame.h"
#include "smb2/Smb2Messages.h"
#include "smb2/Spnego.h"

#include <QFile>
#include <QtTest>

using namespace norvane::smb2;

namespace {

using Bytes = std::span<const std::uint8_t>;

Bytes bytes(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

QByteArray array(const std::vector<std::uint8_t>& data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
}

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(NORVANE_SMB2_FIXTURES "/%1.hex").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return QByteArray::fromHex(file.readAll().trimmed());
}

QByteArray le16(quint16 value) {
    return QByteArray{1, char(value & 0xFF)} + char(value >> 8);
}

QByteArray le32(quint32 value) {
    return le16(quint16(value)) + le16(quint16(value >> 16));
}

quint16 readLe16(const QByteArray& data, qsizetype at) {
    return quint16(quint8(data[at]) | quint8(data[at + 1]) << 8);
}

QByteArray utf16(const QString& text) {
    QByteArray out;
    for (const QChar c : text)
        out += le16(c.unicode());
    return out;
}

QByteArray avPair(quint16 id, const QByteArray& value) {
    return le16(id) + le16(quint16(value.size())) + value;
}

QByteArray avName(quint16 id, const QString& text) {
    return avPair(id, utf16(text));
}

const QByteArray AvEnd = avPair(0, {});
constexpr quint32 ChallengeFlags = NtlmFlagUnicode | NtlmFlagTargetInfo | NtlmFlagVersion;

// A CHALLENGE message with the target name "LAB", `targetInfo`, and the
// version 10.0.19045.
QByteArray challenge(const QByteArray& targetInfo, quint32 flags = ChallengeFlags) {
    constexpr quint32 PayloadOffset = 56;
    const QByteArray target = utf16(QStringLiteral("LAB"));
    QByteArray message("NTLMSSP\0", 8);
    message += le32(2);
    message += le16(quint16(target.size())) + le16(quint16(target.size())) + le32(PayloadOffset);
    message += le32(flags);
    message += QByteArray(16, '\x11'); // server challenge, reserved
    message += le16(quint16(targetInfo.size())) + le16(quint16(targetInfo.size())) +
               le32(PayloadOffset + quint32(target.size()));
    message += QByteArray("\x0a\x00", 2) + le16(19045) + QByteArray(3, 0) + char(15);
    return message + target + targetInfo;
}

const QByteArray FullInfo = avName(2, QStringLiteral("CORP")) + avName(1, QStringLiteral("PC-07")) +
                            avName(4, QStringLiteral("corp.example")) +
                            avName(3, QStringLiteral("pc-07.corp.example")) +
                            avPair(7, QByteArray(8, 0)) + AvEnd;

IdentityExchange newExchange(TokenWrapping wrapping = TokenWrapping::Spnego) {
    Guid guid{};
    guid.fill(0x5A);
    return IdentityExchange(guid, Salt{}, wrapping);
}

} // namespace

class TestSmb2Codec : public QObject {
    Q_OBJECT

private slots:
    void negotiateRequestLayout() {
        Guid guid{};
        guid.fill(0x5A);
        Salt salt{};
        salt.fill(0x33);
        const QByteArray request = array(negotiateRequest(guid, salt));
        QCOMPARE(request.left(4), QByteArray("\xfeSMB"));
        QCOMPARE(readLe16(request, 12), CommandNegotiate);
        QCOMPARE(readLe16(request, 64), 36); // structure size
        QCOMPARE(readLe16(request, 66), OfferedDialects.size());
        QCOMPARE(request.mid(76, 16), QByteArray(16, 0x5A));
        const quint32 contextOffset =
            quint32(readLe16(request, 92)) | quint32(readLe16(request, 94)) << 16;
        QCOMPARE(readLe16(request, 96), 1); // one context
        QCOMPARE(readLe16(request, 100 + 2 * (OfferedDialects.size() - 1)), 0x0311);
        QCOMPARE(contextOffset % 8, 0u);
        QCOMPARE(readLe16(request, contextOffset), 1); // pre-authentication integrity
        QCOMPARE(request.mid(contextOffset + 14), QByteArray(32, 0x33));
    }

    void sessionSetupCarriesTheToken() {
        const auto token = ntlmNegotiateMessage();
        for (const bool wrap : {false, true}) {
            const auto blob = wrap ? negTokenInit(token) : token;
            const QByteArray request = array(sessionSetupRequest(blob));
            QCOMPARE(readLe16(request, 12), CommandSessionSetup);
            QCOMPARE(readLe16(request, 64), 25);
            QCOMPARE(readLe16(request, 76), 88);
            QCOMPARE(readLe16(request, 78), blob.size());
            QCOMPARE(request.mid(88), array(blob));
        }
        // The NegTokenInit's outer length covers it exactly and it names
        // NTLMSSP as its only mechanism.
        const QByteArray init = array(negTokenInit(token));
        QCOMPARE(quint8(init[0]), 0x60);
        QCOMPARE(quint8(init[1]), init.size() - 2);
        QVERIFY(init.contains(QByteArray::fromHex("060a2b06010401823702020a")));
        QVERIFY(init.endsWith(array(token)));
        QCOMPARE(array(token).left(12), QByteArray("NTLMSSP\0\1\0\0\0", 12));
    }

    // What the lab's smbd answered, in both wrappings it accepts.
    void capturedExchange_data() {
        QTest::addColumn<int>("wrapping");
        QTest::addColumn<QByteArray>("setupResponse");
        QTest::addColumn<QString>("netbiosName");
        QTest::newRow("spnego") << int(TokenWrapping::Spnego)
                                << fixture("smbd-session-setup-spnego")
                                << QStringLiteral("LABSRV1");
        QTest::newRow("raw") << int(TokenWrapping::Raw) << fixture("smbd-session-setup-raw")
                             << QStringLiteral("LABNAS-NO-NETBI");
    }
    void capturedExchange() {
        QFETCH(int, wrapping);
        QFETCH(QByteArray, setupResponse);
        QFETCH(QString, netbiosName);
        IdentityExchange exchange = newExchange(TokenWrapping(wrapping));
        const QByteArray negotiate = fixture("smbd-negotiate-response");
        const auto parsed = parseNegotiateResponse(bytes(negotiate));
        QVERIFY(parsed);
        QCOMPARE(parsed->dialect, 0x0311);
        const QByteArray setup = array(exchange.take(bytes(negotiate)));
        QCOMPARE(exchange.state(), IdentityExchange::State::AwaitChallenge);
        QCOMPARE(setup.left(4), QByteArray("\0\0\0", 3) + char(setup.size() - 4));
        QVERIFY(exchange.take(bytes(setupResponse)).empty());
        QCOMPARE(exchange.state(), IdentityExchange::State::Identified);
        const auto& c = exchange.challenge();
        QCOMPARE(c->netbiosComputer, netbiosName);
        QCOMPARE(c->netbiosDomain, netbiosName); // a standalone server is its own domain
        QCOMPARE(c->dnsComputer, QStringLiteral("vm"));
        QCOMPARE(c->version, (NtlmVersion{.major = 6, .minor = 1, .build = 0}));
        // Nothing more is sent, whatever comes.
        QVERIFY(exchange.take(bytes(negotiate)).empty());
        QCOMPARE(exchange.state(), IdentityExchange::State::Identified);
    }

    // Every prefix of a captured answer that cuts its security buffer is
    // refused, never read past; the negotiate contexts behind it are not read.
    void truncatedAnswersAreRefused() {
        const QByteArray negotiate = fixture("smbd-negotiate-response");
        const QByteArray setup = fixture("smbd-session-setup-spnego");
        const qsizetype bufferEnd = readLe16(negotiate, 120) + readLe16(negotiate, 122);
        QVERIFY(bufferEnd < negotiate.size());
        QVERIFY(parseNegotiateResponse(bytes(negotiate.left(bufferEnd))));
        for (qsizetype size = 0; size < bufferEnd; ++size)
            QVERIFY(!parseNegotiateResponse(bytes(negotiate.left(size))));
        for (qsizetype size = 0; size < setup.size(); ++size)
            QVERIFY(!parseSessionSetupResponse(bytes(setup.left(size))));
    }

    void headerAndBodyMismatches_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("negotiate");
        const QByteArray negotiate = fixture("smbd-negotiate-response");
        const QByteArray setup = fixture("smbd-session-setup-spnego");
        const auto patched = [](QByteArray m, qsizetype at, const QByteArray& with) {
            return m.replace(at, with.size(), with);
        };
        QTest::newRow("SMB1 protocol id") << patched(negotiate, 0, "\xffSMB") << true;
        QTest::newRow("request, not response") << patched(negotiate, 16, le32(0)) << true;
        QTest::newRow("async") << patched(negotiate, 16, le32(3)) << true;
        QTest::newRow("compound") << patched(negotiate, 20, le32(64)) << true;
        QTest::newRow("other message id") << patched(negotiate, 24, le32(7)) << true;
        QTest::newRow("other command") << patched(negotiate, 12, le16(1)) << true;
        QTest::newRow("error status") << patched(negotiate, 8, le32(0xC0000022)) << true;
        QTest::newRow("dialect not offered") << patched(negotiate, 68, le16(0x0201)) << true;
        QTest::newRow("wildcard dialect") << patched(negotiate, 68, le16(0x02FF)) << true;
        QTest::newRow("buffer past the end") << patched(negotiate, 122, le16(0x0100)) << true;
        QTest::newRow("buffer inside the header") << patched(negotiate, 120, le16(8)) << true;
        QTest::newRow("setup succeeded at once") << patched(setup, 8, le32(0)) << false;
        QTest::newRow("setup refused") << patched(setup, 8, le32(0xC000006D)) << false;
        QTest::newRow("setup empty buffer") << patched(setup, 70, le16(0)) << false;
        QTest::newRow("setup buffer too long") << patched(setup, 70, le16(0xFFFF)) << false;
        QTest::newRow("setup buffer offset in header") << patched(setup, 68, le16(0)) << false;
        QTest::newRow("setup answers the negotiate id") << patched(setup, 24, le32(0)) << false;
    }
    void headerAndBodyMismatches() {
        QFETCH(QByteArray, message);
        QFETCH(bool, negotiate);
        if (negotiate)
            QVERIFY(!parseNegotiateResponse(bytes(message)));
        else
            QVERIFY(!parseSessionSetupResponse(bytes(message)));
    }

    void targetInformation_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("names"); // NetBIOS name, domain, DNS name, domain
        QTest::addColumn<bool>("hasVersion");
        const QStringList full{"PC-07", "CORP", "pc-07.corp.example", "corp.example"};
        const QStringList none{"", "", "", ""};
        QTest::newRow("full") << challenge(FullInfo) << full << true;
        QTest::newRow("no end pair") << challenge(FullInfo.chopped(4)) << full << true;
        QTest::newRow("no target info flag")
            << challenge(FullInfo, NtlmFlagUnicode | NtlmFlagVersion) << none << true;
        QTest::newRow("no version flag")
            << challenge(FullInfo, NtlmFlagUnicode | NtlmFlagTargetInfo) << full << false;
        // A pair claiming more bytes than are left ends the reading there.
        QTest::newRow("pair overruns")
            << challenge(avName(1, "PC-07") + le16(2) + le16(400) + utf16("CORP"))
            << QStringList{"PC-07", "", "", ""} << true;
        QTest::newRow("odd length name") << challenge(avPair(1, "ABC") + avName(2, "CORP") + AvEnd)
                                         << QStringList{"", "CORP", "", ""} << true;
        QTest::newRow("name too long")
            << challenge(avName(3, QString(256, 'x')) + avName(1, "PC") + AvEnd)
            << QStringList{"PC", "", "", ""} << true;
        QTest::newRow("longest name") << challenge(avName(3, QString(255, 'x')) + AvEnd)
                                      << QStringList{"", "", QString(255, 'x'), ""} << true;
        QTest::newRow("repeated pair keeps the first")
            << challenge(avName(1, "FIRST") + avName(1, "SECOND") + AvEnd)
            << QStringList{"FIRST", "", "", ""} << true;
        // Pairs past the bound are not read, however many follow.
        QByteArray many;
        for (std::size_t i = 0; i < MaxAvPairs; ++i)
            many += avPair(9, {});
        QTest::newRow("more pairs than read")
            << challenge(many + avName(1, "LATE") + AvEnd) << none << true;
        QTest::newRow("end pair first") << challenge(AvEnd + FullInfo) << none << true;
        QByteArray lying = challenge(FullInfo);
        lying.replace(40, 2, le16(0xFFF0));
        QTest::newRow("target info length lies") << lying << none << true;
        QByteArray offsetLies = challenge(FullInfo);
        offsetLies.replace(44, 4, le32(0xFFFFFFF0));
        QTest::newRow("target info offset lies") << offsetLies << none << true;
        // Before the version field's end: no version is made up.
        QTest::newRow("fixed part only to the challenge")
            << challenge(FullInfo).left(32) << none << false;
    }
    void targetInformation() {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, names);
        QFETCH(bool, hasVersion);
        const auto c = parseNtlmChallenge(bytes(message));
        QVERIFY(c);
        QCOMPARE((QStringList{c->netbiosComputer, c->netbiosDomain, c->dnsComputer, c->dnsDomain}),
                 names);
        QCOMPARE(c->version.has_value(), hasVersion);
        if (hasVersion)
            QCOMPARE(*c->version, (NtlmVersion{.major = 10, .minor = 0, .build = 19045}));
    }

    void notAChallenge() {
        QByteArray negotiateType = challenge(FullInfo);
        negotiateType[8] = 1;
        QVERIFY(!parseNtlmChallenge(bytes(negotiateType)));
        QVERIFY(!parseNtlmChallenge(bytes(challenge(FullInfo).left(31))));
        QVERIFY(
            !parseNtlmChallenge(bytes(QByteArray("NTLMSSX\0", 8) + challenge(FullInfo).mid(8))));
    }

    void spnegoUnwrapping_data() {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<bool>("found");
        const QByteArray token = challenge(FullInfo);
        const auto der = [](quint8 tag, const QByteArray& content) {
            QByteArray out(1, char(tag));
            if (content.size() < 0x80)
                return out + char(content.size()) + content;
            return out + char(0x82) + char(content.size() >> 8) + char(content.size() & 0xFF) +
                   content;
        };
        const QByteArray state = der(0xA0, QByteArray::fromHex("0a0101"));
        const QByteArray mech = der(0xA1, QByteArray::fromHex("060a2b06010401823702020a"));
        const auto resp = [&](const QByteArray& fields) { return der(0xA1, der(0x30, fields)); };
        QTest::newRow("bare") << token << true;
        QTest::newRow("response") << resp(state + mech + der(0xA2, der(0x04, token))) << true;
        QTest::newRow("token only") << resp(der(0xA2, der(0x04, token))) << true;
        QTest::newRow("no token") << resp(state + mech) << false;
        QTest::newRow("token not NTLMSSP") << resp(der(0xA2, der(0x04, "KERBEROS"))) << false;
        QTest::newRow("init, not response")
            << der(0x60, der(0x30, der(0xA2, der(0x04, token)))) << false;
        QByteArray longer = resp(state + der(0xA2, der(0x04, token)));
        longer[3] = char(quint8(longer[3]) + 1); // the sequence claims one byte more
        QTest::newRow("sequence longer than its parent") << longer << false;
        QTest::newRow("five length bytes")
            << QByteArray::fromHex("a185000000000a300430020400") << false;
        QTest::newRow("indefinite length") << QByteArray::fromHex("a180300000") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void spnegoUnwrapping() {
        QFETCH(QByteArray, blob);
        QFETCH(bool, found);
        const auto token = ntlmTokenOf(bytes(blob));
        QCOMPARE(token.has_value(), found);
        if (found)
            QCOMPARE(parseNtlmChallenge(*token)->netbiosComputer, QStringLiteral("PC-07"));
    }

    void framing() {
        const QByteArray message = fixture("smbd-negotiate-response");
        const QByteArray frame = array(framed(bytes(message)));
        QCOMPARE(frame.left(4), QByteArray::fromHex("000000fe"));
        // One byte at a time, then with the next frame's bytes behind it.
        FrameAssembler assembler;
        std::size_t taken = 0;
        for (qsizetype i = 0; i + 1 < frame.size(); ++i)
            QCOMPARE(assembler.append(bytes(frame.mid(i, 1)), taken),
                     FrameAssembler::State::NeedMore);
        QCOMPARE(assembler.append(bytes(frame.right(1) + frame), taken),
                 FrameAssembler::State::Complete);
        QCOMPARE(taken, 1u);
        QCOMPARE(array({assembler.message().begin(), assembler.message().end()}), message);
        assembler.reset();
        QCOMPARE(assembler.append(bytes(frame), taken), FrameAssembler::State::Complete);
        QCOMPARE(taken, std::size_t(frame.size()));
    }

    void badFrames_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("maxMessage");
        QTest::newRow("keep-alive type") << QByteArray::fromHex("85000000") << 1024;
        QTest::newRow("session request type") << QByteArray::fromHex("81000010") << 1024;
        QTest::newRow("empty message") << QByteArray::fromHex("00000000") << 1024;
        QTest::newRow("over the bound") << QByteArray::fromHex("00000401") << 1024;
        QTest::newRow("largest frame")
            << QByteArray::fromHex("00ffffff") << int(MaxSessionMessageBytes);
    }
    void badFrames() {
        QFETCH(QByteArray, header);
        QFETCH(int, maxMessage);
        FrameAssembler assembler{std::size_t(maxMessage)};
        std::size_t taken = 0;
        QCOMPARE(assembler.append(bytes(header + QByteArray(64, 0)), taken),
                 FrameAssembler::State::Invalid);
        QVERIFY(assembler.message().empty());
    }

    void failedExchangeSendsNothing() {
        IdentityExchange exchange = newExchange();
        QVERIFY(exchange.take(bytes(fixture("smbd-session-setup-spnego"))).empty());
        QCOMPARE(exchange.state(), IdentityExchange::State::Failed);
        IdentityExchange second = newExchange();
        QVERIFY(!second.take(bytes(fixture("smbd-negotiate-response"))).empty());
        // A second negotiate response where the challenge belongs.
        QVERIFY(second.take(bytes(fixture("smbd-negotiate-response"))).empty());
        QCOMPARE(second.state(), IdentityExchange::State::Failed);
        QVERIFY(!second.challenge());
    }
};

QTEST_APPLESS_MAIN(TestSmb2Codec)
#include "tst_smb2codec.moc"
