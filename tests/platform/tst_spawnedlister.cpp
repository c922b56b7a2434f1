// The listing processes as the platform sees them: stand-in programs that
// answer a listing, answer garbage, die, or never answer. Every outcome
// but a whole listing is nothing, the process is reaped, an abandoned
// listing ends at once, and the password reaches the process only through
// its socket. A server is listed again by the process that holds its
// session.

#include "linux/Abandonment.h"
#include "linux/ListingCodec.h"
#include "linux/SpawnedLister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

// How long an abandoned listing may take to return.
constexpr auto AbandonBound = 250ms;

const Credentials Anna{"anna", "OFFICE", SecretText("S3cret-pw")};
const ListingRequest Request{{.url = "smb://10.0.0.5", .kerberosUrl = "smb://host"}, Anna};

// Children of this process that have ended and not been reaped.
int zombies() {
    int found = 0;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        // After the name: state, then parent.
        if (fields.value(1) == "Z" && fields.value(2) == self.toLatin1())
            ++found;
    }
    return found;
}

} // namespace

class TestSpawnedLister : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_folder.isValid()); }
    void answersAreListingsOrNothing_data();
    void answersAreListingsOrNothing();
    void abandonedListingEndsAtOnce();
    void passwordOnlyOverTheSocket();
    void serverListedAgainByItsProcess();

private:
    QString program(const QByteArray& body) {
        const QString path = m_folder.filePath("lister" + QString::number(++m_programs));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\n" + body + "\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    QString frameFile(const std::string& payload, std::size_t declared) {
        std::string frame;
        putFrameLength(frame, declared);
        frame += payload;
        const QString path = m_folder.filePath("frame" + QString::number(++m_programs));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(frame.data(), qint64(frame.size()));
        return path;
    }

    QTemporaryDir m_folder;
    int m_programs = 0;
};

void TestSpawnedLister::answersAreListingsOrNothing_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("listed");
    const std::string listing = encodeListing(SmbListing{0, {{SmbFileShare, "docs", "Team"}}});
    const auto answer = [&](const QString& frame) {
        // The answer, then waiting for the next request as a lister does.
        return QByteArray("cat '" + frame.toLocal8Bit() + "'\nexec sleep 30");
    };
    QTest::newRow("a listing") << answer(frameFile(listing, listing.size())) << true;
    QTest::newRow("garbage") << answer(frameFile("NVL9garbage", 11)) << false;
    QTest::newRow("frame past the bound")
        << answer(frameFile(listing, MaxListingBytes + 1)) << false;
    QTest::newRow("cut frame") << QByteArray("cat '" +
                                             frameFile(listing, listing.size() + 10).toLocal8Bit() +
                                             "'")
                               << false;
    QTest::newRow("dies at once") << QByteArray("exit 3") << false;
}

void TestSpawnedLister::answersAreListingsOrNothing() {
    QFETCH(QByteArray, body);
    QFETCH(bool, listed);
    {
        SpawnedLister lister(program(body).toStdString(), SmbSettings{});
        const auto listing = lister.list(Request, -1);
        QCOMPARE(bool(listing), listed);
        if (listing) {
            QCOMPARE(listing->entries.size(), std::size_t(1));
            QCOMPARE(listing->entries[0].name, std::string("docs"));
        }
    }
    QCOMPARE(zombies(), 0);
}

void TestSpawnedLister::abandonedListingEndsAtOnce() {
    Abandonment abandonment;
    SpawnedLister lister(program("exec sleep 30").toStdString(), SmbSettings{});
    std::thread stop([&] {
        std::this_thread::sleep_for(100ms);
        abandonment.set(true);
    });
    const auto started = std::chrono::steady_clock::now();
    const auto listing = lister.list(Request, abandonment.fd());
    const auto took = std::chrono::steady_clock::now() - started;
    stop.join();
    QVERIFY(!listing);
    QVERIFY2(took < 100ms + AbandonBound, "an abandoned listing waits for its process");
    QCOMPARE(zombies(), 0);
}

void TestSpawnedLister::passwordOnlyOverTheSocket() {
    const QString seen = m_folder.filePath("seen");
    const QString request = m_folder.filePath("request");
    SpawnedLister lister(program("echo \"$@\" > '" + seen.toLocal8Bit() + "'\nenv >> '" +
                                 seen.toLocal8Bit() + "'\nexec 3<&0\ncat <&3 > '" +
                                 request.toLocal8Bit() + "' &\nexec sleep 30")
                             .toStdString(),
                         SmbSettings{});
    Abandonment abandonment;
    std::thread stop([&] {
        std::this_thread::sleep_for(300ms);
        abandonment.set(true);
    });
    QVERIFY(!lister.list(Request, abandonment.fd()));
    stop.join();
    QFile seenFile(seen);
    QVERIFY(seenFile.open(QIODevice::ReadOnly));
    QVERIFY(!seenFile.readAll().contains("S3cret-pw"));
    QFile requestFile(request);
    QVERIFY(requestFile.open(QIODevice::ReadOnly));
    QVERIFY(requestFile.readAll().contains("S3cret-pw"));
}

// Two processes started ahead, each answering every request with a share
// named after the order it started in: a server listed twice without a
// password is listed both times by the same process, although the other
// one has been idle longer.
void TestSpawnedLister::serverListedAgainByItsProcess() {
    for (int i = 0; i < 2; ++i) {
        const std::string listing =
            encodeListing(SmbListing{0, {{SmbFileShare, std::to_string(i), ""}}});
        QVERIFY(QFile::copy(frameFile(listing, listing.size()),
                            m_folder.filePath("answer" + QString::number(i))));
    }
    const QString script = m_folder.filePath("lister.py");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("import os, struct, sys\n"
               "folder = sys.argv[1]\n"
               "index = 0\n"
               "while True:\n"
               "    try:\n"
               "        os.mkdir(f'{folder}/started{index}')\n"
               "        break\n"
               "    except FileExistsError:\n"
               "        index += 1\n"
               "answer = open(f'{folder}/answer{index}', 'rb').read()\n"
               "def exactly(n):\n"
               "    got = sys.stdin.buffer.read(n)\n"
               "    if len(got) < n:\n"
               "        sys.exit(0)\n"
               "    return got\n"
               "while True:\n"
               "    for _ in range(5):\n"
               "        exactly(struct.unpack('<I', exactly(4))[0])\n"
               "    sys.stdout.buffer.write(answer)\n"
               "    sys.stdout.buffer.flush()\n");
    file.close();
    SpawnedLister lister(program("exec python3 '" + script.toLocal8Bit() + "' '" +
                                 m_folder.path().toLocal8Bit() + "'")
                             .toStdString(),
                         SmbSettings{});
    lister.prepare(2);
    const ListingRequest anonymous{Request.location, std::nullopt};
    const auto first = lister.list(anonymous, -1);
    const auto again = lister.list(anonymous, -1);
    QVERIFY(first && again);
    QCOMPARE(again->entries.at(0).name, first->entries.at(0).name);
    QTRY_VERIFY(QDir(m_folder.filePath("started1")).exists());
}

QTEST_GUILESS_MAIN(TestSpawnedLister)
#include "tst_spawnedlister.moc"
