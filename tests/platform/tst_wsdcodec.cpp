// WS-Discovery messages and the metadata exchange as bytes: what the
// client sends, and what it takes from hostile answers.

#include "wsd/WsdCodec.h"

#include <QtTest>

#include <arpa/inet.h>

using namespace norvane;
using namespace norvane::wsd;

namespace {

const QByteArray OurId = "urn:uuid:11111111-2222-4333-8444-555555555555";
const QByteArray ProbeMatchesAction =
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
const QByteArray GetResponseAction = "http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse";
const QByteArray Namespaces = " xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
                              " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                              " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
                              " xmlns:wsx=\"http://schemas.xmlsoap.org/ws/2004/09/mex\""
                              " xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\""
                              " xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"";

Bytes bytes(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

QByteArray envelope(const QByteArray& header, const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope" + Namespaces +
           "><soap:Header>" + header + "</soap:Header><soap:Body>" + body +
           "</soap:Body></soap:Envelope>";
}

QByteArray header(const QByteArray& action, const QByteArray& relatesTo = OurId) {
    QByteArray text = "<wsa:Action>" + action + "</wsa:Action>";
    if (!relatesTo.isEmpty())
        text += "<wsa:RelatesTo>" + relatesTo + "</wsa:RelatesTo>";
    return text;
}

QByteArray probeMatch(const QByteArray& endpoint, const QByteArray& xaddrs = {}) {
    QByteArray text = "<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>" + endpoint +
                      "</wsa:Address></wsa:EndpointReference><wsd:Types>wsdp:Device "
                      "pub:Computer</wsd:Types>";
    if (!xaddrs.isNull())
        text += "<wsd:XAddrs>" + xaddrs + "</wsd:XAddrs>";
    return text + "<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ProbeMatch>";
}

QByteArray probeMatches(const QByteArray& matches) {
    return envelope(header(ProbeMatchesAction),
                    "<wsd:ProbeMatches>" + matches + "</wsd:ProbeMatches>");
}

QByteArray hostSection(const QByteArray& computer) {
    return "<wsx:Metadata><wsx:MetadataSection "
           "Dialect=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship\">"
           "<wsdp:Relationship Type=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/host\">"
           "<wsdp:Host><wsa:EndpointReference><wsa:Address>urn:uuid:x</wsa:Address>"
           "</wsa:EndpointReference><wsdp:Types>pub:Computer</wsdp:Types>" +
           computer + "</wsdp:Host></wsdp:Relationship></wsx:MetadataSection></wsx:Metadata>";
}

QByteArray computerMetadata(const QByteArray& computerText) {
    return envelope(header(GetResponseAction),
                    hostSection("<pub:Computer>" + computerText + "</pub:Computer>"));
}

QString describe(const MatchesReply& reply) {
    if (!reply.problem.empty())
        return QStringLiteral("refused");
    QStringList matches;
    for (const Match& match : reply.matches) {
        QStringList addresses;
        for (const std::string& address : match.transportAddresses)
            addresses << QString::fromStdString(address);
        matches << QString::fromStdString(match.endpoint) + QLatin1Char('=') +
                       addresses.join(QLatin1Char(' '));
    }
    return matches.join(QLatin1Char(';'));
}

} // namespace

class TestWsdCodec : public QObject {
    Q_OBJECT

private slots:
    // What goes out is well-formed and carries the id and the endpoint,
    // escaped.
    void messagesSent() {
        const std::string probe = probeMessage(OurId.toStdString());
        QXmlStreamReader reader(QByteArray::fromStdString(probe));
        QStringList texts;
        while (!reader.atEnd())
            if (reader.readNext() == QXmlStreamReader::Characters)
                texts << reader.text().toString();
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QVERIFY(texts.contains(QString::fromLatin1(OurId)));
        QVERIFY(texts.contains(QStringLiteral("wsdp:Device")));
        const std::string resolve = resolveMessage("urn:uuid:r", "urn:<&>\"");
        QVERIFY(resolve.find("urn:&lt;&amp;&gt;&quot;") != std::string::npos);
        QVERIFY(getMessage("urn:uuid:g", "urn:uuid:dev").find("<wsa:To>urn:uuid:dev</wsa:To>") !=
                std::string::npos);
    }

    void matches_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expected");
        const QByteArray one = probeMatch("urn:uuid:a", " http://10.0.0.5:5357/a  http://x/ ");
        QTest::newRow("one match")
            << probeMatches(one) << "urn:uuid:a=http://10.0.0.5:5357/a http://x/";
        QTest::newRow("no transport address, then another")
            << probeMatches(probeMatch("urn:uuid:a") + probeMatch("urn:uuid:b", "http://1.2.3.4/"))
            << "urn:uuid:a=;urn:uuid:b=http://1.2.3.4/";
        QTest::newRow("other prefixes, same namespaces")
            << QByteArray("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
                          "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
                          "xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/"
                          "discovery\"><e:Header><a:Action>" +
                          ProbeMatchesAction + "</a:Action><a:RelatesTo> " + OurId +
                          " </a:RelatesTo></"
                          "e:Header><e:Body><ProbeMatches><ProbeMatch><a:EndpointReference><a:"
                          "Address>urn:uuid:c</a:Address></a:EndpointReference></ProbeMatch></"
                          "ProbeMatches></e:Body></e:Envelope>")
            << "urn:uuid:c=";
        QTest::newRow("relates to another message")
            << envelope(header(ProbeMatchesAction, "urn:uuid:other"),
                        "<wsd:ProbeMatches>" + one + "</wsd:ProbeMatches>")
            << "refused";
        QTest::newRow("relates to nothing")
            << envelope(header(ProbeMatchesAction, {}),
                        "<wsd:ProbeMatches>" + one + "</wsd:ProbeMatches>")
            << "refused";
        QTest::newRow("relates twice")
            << envelope(header(ProbeMatchesAction) + "<wsa:RelatesTo>urn:uuid:x</wsa:RelatesTo>",
                        "<wsd:ProbeMatches>" + one + "</wsd:ProbeMatches>")
            << "refused";
        QTest::newRow("another action")
            << envelope(header("http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello"),
                        "<wsd:ProbeMatches>" + one + "</wsd:ProbeMatches>")
            << "refused";
        QTest::newRow("discovery namespace of another version")
            << QByteArray(probeMatches(one))
                   .replace("ws/2005/04/discovery\"", "ws/2009/01/discovery\"")
            << "refused";
        QTest::newRow("SOAP 1.1 envelope")
            << QByteArray(probeMatches(one))
                   .replace("2003/05/soap-envelope", "schemas.xmlsoap.org/soap/envelope/")
            << "refused";
        QTest::newRow("two lists of matches")
            << envelope(header(ProbeMatchesAction), "<wsd:ProbeMatches>" + one +
                                                        "</wsd:ProbeMatches><wsd:ProbeMatches>" +
                                                        one + "</wsd:ProbeMatches>")
            << "refused";
        QTest::newRow("match with two endpoints or without one")
            << probeMatches(
                   probeMatch("urn:uuid:a")
                       .replace("</wsa:EndpointReference>",
                                "</wsa:EndpointReference><wsa:EndpointReference><wsa:Address>"
                                "urn:uuid:z</wsa:Address></wsa:EndpointReference>") +
                   "<wsd:ProbeMatch><wsd:XAddrs>http://1.2.3.4/</wsd:XAddrs></wsd:ProbeMatch>" +
                   probeMatch("urn:uuid:ok"))
            << "urn:uuid:ok=";
        QTest::newRow("match with two transport lists")
            << probeMatches(
                   probeMatch("urn:uuid:a", "http://1.2.3.4/")
                       .replace("<wsd:MetadataVersion>",
                                "<wsd:XAddrs>http://5.6.7.8/</wsd:XAddrs><wsd:MetadataVersion>"))
            << "";
        QByteArray many;
        for (int i = 0; i < 20; ++i)
            many += probeMatch("urn:uuid:" + QByteArray::number(i));
        QString first16;
        for (int i = 0; i < 16; ++i)
            first16 += (i ? ";" : "") + QStringLiteral("urn:uuid:%1=").arg(i);
        QTest::newRow("more matches than taken") << probeMatches(many) << first16;
        QByteArray addresses;
        for (int i = 0; i < 20; ++i)
            addresses += "http://10.0.0." + QByteArray::number(i) + "/ ";
        QTest::newRow("more transport addresses than taken")
            << probeMatches(probeMatch("urn:uuid:a", addresses))
            << "urn:uuid:a=http://10.0.0.0/ http://10.0.0.1/ http://10.0.0.2/ http://10.0.0.3/ "
               "http://10.0.0.4/ http://10.0.0.5/ http://10.0.0.6/ http://10.0.0.7/";
        QTest::newRow("endpoint beyond its bound")
            << probeMatches(probeMatch("urn:" + QByteArray(300, 'e'))) << "";
        QTest::newRow("entity expansion")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY "
                          "lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]>") +
                   probeMatches(probeMatch("&lol2;")).mid(38)
            << "refused";
        QTest::newRow("external entity")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY ext SYSTEM "
                          "\"file:///etc/passwd\">]>") +
                   probeMatches(probeMatch("&ext;")).mid(38)
            << "refused";
        QTest::newRow("undeclared entity") << probeMatches(probeMatch("&nothing;")) << "refused";
        QTest::newRow("cut short") << probeMatches(one).left(300) << "refused";
        QTest::newRow("nested beyond the bound")
            << probeMatches(QByteArray("<x>").repeated(40) + QByteArray("</x>").repeated(40))
            << "refused";
        QTest::newRow("not XML") << QByteArray("\x00\xff\xfe garbage", 12) << "refused";
        QTest::newRow("empty") << QByteArray() << "refused";
    }
    void matches() {
        QFETCH(QByteArray, message);
        QFETCH(QString, expected);
        QCOMPARE(describe(parseMatches(bytes(message), MatchKind::Probe, OurId.toStdString())),
                 expected);
    }

    void resolveMatchesAreTheirOwnKind() {
        const QByteArray resolve = envelope(
            header("http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches"),
            "<wsd:ResolveMatches>" +
                probeMatch("urn:uuid:a", "http://1.2.3.4/").replace("ProbeMatch", "ResolveMatch") +
                "</wsd:ResolveMatches>");
        QCOMPARE(describe(parseMatches(bytes(resolve), MatchKind::Resolve, OurId.toStdString())),
                 QStringLiteral("urn:uuid:a=http://1.2.3.4/"));
        QCOMPARE(describe(parseMatches(bytes(resolve), MatchKind::Probe, OurId.toStdString())),
                 QStringLiteral("refused"));
    }

    void metadata_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expected"); // NAME@GROUP, or empty: left out
        QTest::newRow("workgroup") << computerMetadata("PC1/Workgroup:HOMENET") << "PC1@HOMENET";
        QTest::newRow("domain, backslash")
            << computerMetadata(" pc2\\Domain:corp.example ") << "pc2@corp.example";
        QTest::newRow("not joined") << computerMetadata("PC3/NotJoined") << "PC3@WORKGROUP";
        QTest::newRow("names of other bytes, as given")
            << computerMetadata("BÜRO-PC/Workgroup:Zuhause") << "BÜRO-PC@Zuhause";
        QTest::newRow("longest name") << computerMetadata(QByteArray(63, 'N') + "/Workgroup:W")
                                      << QString(63, QLatin1Char('N')) + "@W";
        QTest::newRow("name too long")
            << computerMetadata(QByteArray(64, 'N') + "/Workgroup:W") << "";
        QTest::newRow("empty name") << computerMetadata("/Workgroup:W") << "";
        QTest::newRow("empty group") << computerMetadata("PC/Workgroup:") << "";
        QTest::newRow("no membership") << computerMetadata("PC") << "";
        QTest::newRow("unknown membership") << computerMetadata("PC/Forest:X") << "";
        QTest::newRow("separator in the group") << computerMetadata("PC/Workgroup:A/B") << "";
        QTest::newRow("control character") << computerMetadata("P&#9;C/Workgroup:W") << "";
        QTest::newRow("a printer: no computer")
            << envelope(header(GetResponseAction),
                        hostSection("<wsdp:ServiceId>urn:printer</wsdp:ServiceId>"))
            << "";
        QTest::newRow("two computers")
            << envelope(header(GetResponseAction),
                        hostSection("<pub:Computer>A/Workgroup:W</pub:Computer>"
                                    "<pub:Computer>B/Workgroup:W</pub:Computer>"))
            << "";
        QTest::newRow("computer outside the host section")
            << envelope(header(GetResponseAction), "<pub:Computer>A/Workgroup:W</pub:Computer>")
            << "";
        QTest::newRow("computer in another namespace")
            << QByteArray(computerMetadata("A/Workgroup:W"))
                   .replace("windows/pub/2005/07", "windows/pub/2099")
            << "";
        QTest::newRow("another action")
            << envelope(header("http://schemas.xmlsoap.org/ws/2004/09/transfer/Get"),
                        hostSection("<pub:Computer>A/Workgroup:W</pub:Computer>"))
            << "";
        QTest::newRow("relates to another Get")
            << envelope(header(GetResponseAction, "urn:uuid:other"),
                        hostSection("<pub:Computer>A/Workgroup:W</pub:Computer>"))
            << "";
        QTest::newRow("relates to nothing: taken")
            << envelope(header(GetResponseAction, {}),
                        hostSection("<pub:Computer>A/Workgroup:W</pub:Computer>"))
            << "A@W";
        QTest::newRow("entity in the name")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY n \"EVIL\">]>") +
                   computerMetadata("&n;/Workgroup:W").mid(38)
            << "";
    }
    void metadata() {
        QFETCH(QByteArray, message);
        QFETCH(QString, expected);
        const MetadataReply reply = parseMetadata(bytes(message), OurId.toStdString());
        QCOMPARE(reply.problem.empty(), bool(reply.computer));
        QCOMPARE(reply.computer
                     ? QString::fromStdString(reply.computer->name + '@' + reply.computer->group)
                     : QString(),
                 expected);
    }

    void httpResponses_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("body");
        const int incomplete = int(HttpState::Incomplete);
        const int complete = int(HttpState::Complete);
        const int failed = int(HttpState::Failed);
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        QTest::newRow("content length")
            << ok + "Content-Length: 5\r\n\r\nhello" << false << complete << QByteArray("hello");
        QTest::newRow("more than the length")
            << ok + "content-length: 2\r\n\r\nhello" << true << complete << QByteArray("he");
        QTest::newRow("body so far")
            << ok + "Content-Length: 5\r\n\r\nhel" << false << incomplete << QByteArray();
        QTest::newRow("body cut short")
            << ok + "Content-Length: 5\r\n\r\nhel" << true << failed << QByteArray();
        QTest::newRow("head so far") << ok + "Content-Le" << false << incomplete << QByteArray();
        QTest::newRow("head cut short") << ok + "Content-Le" << true << failed << QByteArray();
        QTest::newRow("until closed")
            << ok + "\r\nall of it" << true << complete << QByteArray("all of it");
        QTest::newRow("chunked")
            << ok + "Transfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n1\r\n!\r\n0\r\n\r\n"
            << false << complete << QByteArray("hello!");
        QTest::newRow("chunked so far") << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhel"
                                        << false << incomplete << QByteArray();
        QTest::newRow("chunked cut short")
            << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"
            << true << failed << QByteArray();
        QTest::newRow("chunk size beyond the bound")
            << ok + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\nx" << false << failed
            << QByteArray();
        QTest::newRow("chunk without its line end")
            << ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nhello\r\n0\r\n\r\n"
            << false << failed << QByteArray();
        QTest::newRow("other transfer encoding")
            << ok + "Transfer-Encoding: gzip\r\n\r\nxx" << true << failed << QByteArray();
        QTest::newRow("redirect") << QByteArray(
                                         "HTTP/1.1 302 Found\r\nLocation: http://evil/\r\n\r\n")
                                  << true << failed << QByteArray();
        QTest::newRow("server error")
            << QByteArray("HTTP/1.0 500 Oops\r\n\r\n") << true << failed << QByteArray();
        QTest::newRow("length beyond the bound")
            << ok + "Content-Length: 99999999999999999999\r\n\r\n"
            << false << failed << QByteArray();
        QTest::newRow("conflicting lengths")
            << ok + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab" << false << failed
            << QByteArray();
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << false << failed
                                  << QByteArray();
        QTest::newRow("status not a number")
            << QByteArray("HTTP/1.1 2x0 OK\r\n\r\n") << true << failed << QByteArray();
        QTest::newRow("endless head") << ok + "X: " + QByteArray(int(MaxResponseHeadBytes), 'x')
                                      << false << failed << QByteArray();
        QTest::newRow("response beyond the bound")
            << ok + "\r\n" + QByteArray(int(MaxResponseBytes), 'x') << false << failed
            << QByteArray();
        QTest::newRow("header without colon") << ok + "garbage\r\n\r\n"
                                              << true << failed << QByteArray();
    }
    void httpResponses() {
        QFETCH(QByteArray, received);
        QFETCH(bool, closed);
        QFETCH(int, state);
        QFETCH(QByteArray, body);
        const HttpResponse response = parseHttpResponse(bytes(received), closed);
        QCOMPARE(int(response.state), state);
        QCOMPARE(QByteArray::fromStdString(response.body), body);
        QCOMPARE(response.problem.empty(), state != int(HttpState::Failed));
    }

    void transportAddresses_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected"); // address:port path, or empty
        QTest::newRow("usual") << "http://10.0.0.5:5357/abc-1"
                               << "10.0.0.5:5357 /abc-1";
        QTest::newRow("scheme in capitals, no port, no path") << "HTTP://10.0.0.5"
                                                              << "10.0.0.5:80 /";
        QTest::newRow("https") << "https://10.0.0.5/"
                               << "";
        QTest::newRow("host name") << "http://nas.example:5357/"
                                   << "";
        QTest::newRow("user information") << "http://me@10.0.0.5/"
                                          << "";
        QTest::newRow("IPv6") << "http://[fe80::1]:5357/"
                              << "";
        QTest::newRow("port zero") << "http://10.0.0.5:0/"
                                   << "";
        QTest::newRow("port too big") << "http://10.0.0.5:65536/"
                                      << "";
        QTest::newRow("port not a number") << "http://10.0.0.5:http/"
                                           << "";
        QTest::newRow("space in the path") << "http://10.0.0.5/a b"
                                           << "";
        QTest::newRow("line break in the path") << "http://10.0.0.5/a\r\nX: y"
                                                << "";
        QTest::newRow("other scheme") << "file:///etc/passwd"
                                      << "";
    }
    void transportAddresses() {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        const auto parsed = parseHttpUrl(url.toStdString());
        QString text;
        if (parsed) {
            in_addr address{parsed->address};
            text = QStringLiteral("%1:%2 %3")
                       .arg(QString::fromLatin1(inet_ntoa(address)))
                       .arg(parsed->port)
                       .arg(QString::fromStdString(parsed->path));
        }
        QCOMPARE(text, expected);
    }

    void postCarriesTheBody() {
        const HttpUrl url{inet_addr("10.0.0.5"), 5357, "/dev"};
        const std::string request = httpPost(url, "<x/>");
        QCOMPARE(QByteArray::fromStdString(request),
                 QByteArray("POST /dev HTTP/1.1\r\nHost: 10.0.0.5:5357\r\nContent-Type: "
                            "application/soap+xml\r\nContent-Length: 4\r\nConnection: "
                            "close\r\n\r\n<x/>"));
    }
};

QTEST_GUILESS_MAIN(TestWsdCodec)
#include "tst_wsdcodec.moc"
