// Reading the command line and the authentication file.

#include "AuthFile.h"
#include "CommandLine.h"
#include "common/AppError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace norvane;

namespace {

QString describe(const CommandLineRequest& request) {
    if (std::holds_alternative<HelpRequest>(request))
        return QStringLiteral("help");
    if (std::holds_alternative<VersionRequest>(request))
        return QStringLiteral("version");
    if (const auto* error = std::get_if<UsageError>(&request))
        return QStringLiteral("error: ") + error->message;
    const auto& o = std::get<CommandLineOptions>(request);
    const char* formats[] = {"report", "csv", "json"};
    QStringList ranges;
    for (const AddressRange& range : o.sources.ranges)
        ranges << hostOrderAddressText(range.first) + QLatin1Char('-') +
                      hostOrderAddressText(range.last);
    return QStringLiteral("%1 out=%2 append=%3 format=%4 auth=%5 quiet=%6 ranges=%7 rate=%8 "
                          "domain=%9 site=%10 store=%11")
        .arg(scanTypeWord(o.resourceType), o.outputFile)
        .arg(o.append)
        .arg(QLatin1String(formats[static_cast<int>(o.format)]), o.authFile)
        .arg(o.quiet)
        .arg(ranges.join(QLatin1Char(',')))
        .arg(o.sources.probesPerSecond)
        .arg(o.sources.domain)
        .arg(o.site, o.store ? o.store->displayName() : QString());
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // a prefix of describe()
        QTest::newRow("defaults") << QStringList{"--scan", "computers"}
                                  << "computers out= append=0 format=report auth= quiet=0";
        QTest::newRow("everything, short names")
            << QStringList{"--scan", "printers", "-o",          "r.nrv", "-a",
                           "-f",     "report",   "--auth-file", "/a",    "-q"}
            << "printers out=r.nrv append=1 format=report auth=/a quiet=1";
        QTest::newRow("values after =")
            << QStringList{"--scan=folders", "--format=json", "--output=x.json"}
            << "folders out=x.json append=0 format=json";
        QTest::newRow("help wins") << QStringList{"--scan", "nonsense", "--help"} << "help";
        QTest::newRow("version") << QStringList{"--version"} << "version";
        QTest::newRow("no --scan") << QStringList{"-o", "x"} << "error: --scan TYPE is missing";
        QTest::newRow("unknown type")
            << QStringList{"--scan", "servers"} << "error: Unknown scan type 'servers'";
        QTest::newRow("unknown format")
            << QStringList{"--scan", "computers", "-f", "xml"} << "error: Unknown format 'xml'";
        QTest::newRow("unknown option")
            << QStringList{"--scan", "computers", "--colour"} << "error: Unknown option 'colour'";
        QTest::newRow("value missing") << QStringList{"--scan"} << "error: Missing value";
        QTest::newRow("append without output")
            << QStringList{"--scan", "computers", "--append"} << "error: --append needs --output";
        QTest::newRow("append to csv")
            << QStringList{"--scan", "computers", "-a", "-o", "x", "-f", "csv"}
            << "error: --append works with the report format only";
        QTest::newRow("empty output name")
            << QStringList{"--scan", "computers", "--output="} << "error: --output needs";
        QTest::newRow("output twice") << QStringList{"--scan", "computers", "-o", "a", "-o", "b"}
                                      << "error: --output was given more than once";
        QTest::newRow("ranges, repeated, and a rate")
            << QStringList{"--scan",           "computers", "--range", "10.1.2.0/30",
                           "--range=10.9.0.5", "--rate",    "250"}
            << "computers out= append=0 format=report auth= quiet=0 "
               "ranges=10.1.2.1-10.1.2.2,10.9.0.5-10.9.0.5 rate=250 domain= site= store=";
        QTest::newRow("no range: nothing swept, the default rate")
            << QStringList{"--scan", "computers"}
            << "computers out= append=0 format=report auth= quiet=0 ranges= rate=1000 domain= "
               "site= store=";
        QTest::newRow("a range too large")
            << QStringList{"--scan", "computers", "--range", "10.0.0.0/15"}
            << "error: --range 10.0.0.0/15: 131072 addresses, more than the 65536";
        QTest::newRow("a malformed range")
            << QStringList{"--scan", "computers", "--range", "10.1.2.300"}
            << "error: --range 10.1.2.300: not an IPv4";
        QTest::newRow("a rate of zero")
            << QStringList{"--scan", "computers", "--rate", "0"} << "error: --rate needs a number";
        QTest::newRow("a rate that is no number")
            << QStringList{"--scan", "computers", "--rate", "fast"} << "error: --rate needs";
        QTest::newRow("rate twice")
            << QStringList{"--scan", "computers", "--rate", "1", "--rate", "2"}
            << "error: --rate was given more than once";
        QTest::newRow("domain") << QStringList{"--scan", "computers", "--domain",
                                               "corp.example.com"}
                                << "computers out= append=0 format=report auth= quiet=0 "
                                   "ranges= rate=1000 domain=corp.example.com site= store=";
        QTest::newRow("domain, not a DNS name")
            << QStringList{"--scan", "computers", "--domain", "corp/../x"}
            << "error: --domain needs the DNS name";
        QTest::newRow("domain empty")
            << QStringList{"--scan", "computers", "--domain="} << "error: --domain needs";
        QTest::newRow("site and SQLite store")
            << QStringList{"--scan", "computers", "--site", "Berlin", "--store", "/var/s.sqlite"}
            << "computers out= append=0 format=report auth= quiet=0 ranges= rate=1000 domain= "
               "site=Berlin "
               "store=/var/s.sqlite";
        QTest::newRow("PostgreSQL store")
            << QStringList{"--scan", "computers", "--store=postgresql://scanner@db/inventory"}
            << "computers out= append=0 format=report auth= quiet=0 ranges= rate=1000 domain= "
               "site= "
               "store=postgresql://scanner@db/inventory";
        QTest::newRow("password in the store URL")
            << QStringList{"--scan", "computers", "--store", "postgresql://u:pw@db/inv"}
            << "error: ";
        QTest::newRow("empty site")
            << QStringList{"--scan", "computers", "--site", " "} << "error: --site needs a name";
        QTest::newRow("stray argument")
            << QStringList{"--scan", "computers", "smb://x"} << "error: Unexpected argument";
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const QString got = describe(parseCommandLine(QStringList{"norvane"} + arguments));
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void wantsCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("a folder from the file manager") << QStringList{"smb://SERVER/"} << false;
        QTest::newRow("Qt's own option") << QStringList{"-platform", "offscreen"} << false;
        QTest::newRow("--scan") << QStringList{"--scan", "computers"} << true;
        QTest::newRow("--scan=") << QStringList{"--scan=folders"} << true;
        QTest::newRow("a longer word") << QStringList{"--scanner"} << true;
        QTest::newRow("-h") << QStringList{"-h"} << true;
        QTest::newRow("--version after a folder") << QStringList{"x", "--version"} << true;
        QTest::newRow("an option without --scan") << QStringList{"--output", "x"} << true;
        // Any other option is a mistake the command line reports.
        QTest::newRow("a mistyped option") << QStringList{"--scna", "computers"} << true;
        QTest::newRow("a mistyped short option") << QStringList{"-x"} << true;
        QTest::newRow("a lone dash") << QStringList{"-"} << true;
        QTest::newRow("after a Qt option") << QStringList{"-style", "fusion", "--bogus"} << true;
        QTest::newRow("a Qt option with two dashes")
            << QStringList{"--platform", "offscreen"} << false;
        QTest::newRow("a Qt option's value") << QStringList{"-session", "--scan"} << false;
        QTest::newRow("a Qt option with =") << QStringList{"-style=fusion", "smb://S/"} << false;
        QTest::newRow("a folder after --") << QStringList{"--", "-folder"} << false;
    }
    void wantsCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, wanted);
        std::vector<QByteArray> bytes{"norvane"};
        for (const QString& argument : arguments)
            bytes.push_back(argument.toUtf8());
        std::vector<const char*> argv;
        for (const QByteArray& b : bytes)
            argv.push_back(b.constData());
        QCOMPARE(norvane::wantsCommandLine(static_cast<int>(argv.size()), argv.data()), wanted);
    }

    void authFileParse_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // user|domain|password, or "error: ..."
        QTest::newRow("the three lines")
            << QByteArray("username = alice\npassword = s3cret\ndomain = CORP\n")
            << "alice|CORP|s3cret";
        QTest::newRow("comments, blank lines, CR LF, any case")
            << QByteArray("# for the nightly inventory\r\n\r\nUserName=bob\r\n; none\r\n"
                          "PASSWORD =  two words \r\n")
            << "bob||two words ";
        QTest::newRow("domain in the user name")
            << QByteArray("username = CORP\\carol\npassword = x\n") << "carol|CORP|x";
        QTest::newRow("a domain line wins over the prefix")
            << QByteArray("username = OLD/dave\ndomain = NEW\n") << "dave|NEW|";
        QTest::newRow("equals sign in the password")
            << QByteArray("username = e\npassword = a=b\n") << "e||a=b";
        QTest::newRow("unknown name")
            << QByteArray("username = f\nuser = g\n") << "error: line 2 is not";
        QTest::newRow("no equals sign") << QByteArray("username f\n") << "error: line 1 is not";
        QTest::newRow("no user") << QByteArray("password = x\n")
                                 << "error: no \"username = ...\" line";
    }
    void authFileParse() {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QString got;
        try {
            const AuthFileCredentials c = AuthFile::parse(text);
            got = c.user + QLatin1Char('|') + c.domain + QLatin1Char('|') +
                  QString::fromUtf8(c.password);
        } catch (const AppError& error) {
            got = QStringLiteral("error: ") + error.message();
        }
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    void authFilePermissions_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected"); // empty: accepted
        QTest::newRow("owner only") << 0600 << QString();
        QTest::newRow("owner read-only") << 0400 << QString();
        QTest::newRow("group can read") << 0640 << "other users can read it";
        QTest::newRow("others can read") << 0604 << "other users can read it";
        QTest::newRow("others may only write") << 0602 << QString();
    }
    void authFilePermissions() {
        QFETCH(int, mode);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("auth"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("username = alice\npassword = pw\n");
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
        QString got;
        try {
            QCOMPARE(AuthFile::read(path).user, QStringLiteral("alice"));
        } catch (const AppError& error) {
            got = error.message();
        }
        if (expected.isEmpty())
            QCOMPARE(got, QString());
        else
            QVERIFY2(
                got.startsWith(QStringLiteral("Authentication file %1: %2").arg(path, expected)),
                qPrintable(got));
    }

    void authFileThatIsNoFile() {
        QTemporaryDir dir;
        for (const QString& path : {dir.path(), dir.filePath(QStringLiteral("missing"))}) {
            try {
                AuthFile::read(path);
                QFAIL("accepted");
            } catch (const AppError& error) {
                QVERIFY2(error.message().startsWith(QStringLiteral("Authentication file ") + path),
                         qPrintable(error.message()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
