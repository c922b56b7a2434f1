// The listing processes as the platform sees them: stand-in programs that
// answer a listing, answer garbage, die, or never answer. Every outcome
// but a whole listing is nothing, the process is reaped, an abandoned
// listing ends at once, and the password reaches the process only through
// its socket. A server is listed again by the process that holds its
// session. The real program's spawner forks processes that list side by
// side, kills the one whose listing is abandoned, and takes all of them
// with it when the platform ends them.

#include "linux/Abandonment.h"
#include "linux/ListingCodec.h"
#include "linux/SpawnedLister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>

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

// The processes whose parent is one of `parents`.
std::set<QString> childrenOf(const std::set<QString>& parents) {
    std::set<QString> children;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        if (fields.value(1) != "Z" && parents.contains(QString::fromLatin1(fields.value(2))))
            children.insert(pid);
    }
    return children;
}

// The listing processes the spawner forked: children of this process's
// children.
std::set<QString> forkedListers() {
    return childrenOf(childrenOf({QString::number(QCoreApplication::applicationPid())}));
}

bool anyRuns(const std::set<QString>& pids) {
    for (const QString& pid : pids) {
        QFile stat("/proc/" + pid + "/stat");
        if (stat.open(QIODevice::ReadOnly) &&
            stat.readAll().split(')').value(1).split(' ').value(1) != "Z")
            return true;
    }
    return false;
}

// A TCP socket on the loopback address that takes connections into its
// backlog and never answers them; its port in host order.
struct SilentServer {
    SilentServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd, 8) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t port = 0;
};

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
    void busySessionHolderAwaitedBriefly_data();
    void busySessionHolderAwaitedBriefly();
    void spawnerForksListersSideBySide();
    void spawnerKillsAnAbandonedLister();
    void spawnerStartedAnewWhenGone();

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
    // A lister whose stand-in processes each answer every request, after
    // `delay` seconds, with a share named after the order they started in.
    std::unique_ptr<SpawnedLister> numberedStandIn(const QByteArray& delay,
                                                   std::chrono::milliseconds holderWait) {
        const QString folder = m_folder.filePath("numbered" + QString::number(++m_programs));
        if (!QDir().mkpath(folder))
            return nullptr;
        for (int i = 0; i < 2; ++i) {
            const std::string listing =
                encodeListing(SmbListing{0, {{SmbFileShare, std::to_string(i), ""}}});
            if (!QFile::copy(frameFile(listing, listing.size()),
                             folder + "/answer" + QString::number(i)))
                return nullptr;
        }
        QFile file(folder + "/lister.py");
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write("import os, struct, sys, time\n"
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
                   "    for _ in range(6):\n"
                   "        exactly(struct.unpack('<I', exactly(4))[0])\n"
                   "    time.sleep(" +
                   delay +
                   ")\n"
                   "    sys.stdout.buffer.write(answer)\n"
                   "    sys.stdout.buffer.flush()\n");
        file.close();
        return std::make_unique<SpawnedLister>(
            program("exec python3 '" + file.fileName().toLocal8Bit() + "' '" +
                    folder.toLocal8Bit() + "'")
                .toStdString(),
            SmbSettings{}, SpawnedLister::Start::ByProgram, holderWait);
    }
    // A lister that runs the stand-in program `body` for each process.
    std::unique_ptr<SpawnedLister> standIn(const QByteArray& body) {
        return std::make_unique<SpawnedLister>(program(body).toStdString(), SmbSettings{},
                                               SpawnedLister::Start::ByProgram);
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
        const auto lister = standIn(body);
        const auto listing = lister->list(Request, -1);
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
    const auto lister = standIn("exec sleep 30");
    std::thread stop([&] {
        std::this_thread::sleep_for(100ms);
        abandonment.set(true);
    });
    const auto started = std::chrono::steady_clock::now();
    const auto listing = lister->list(Request, abandonment.fd());
    const auto took = std::chrono::steady_clock::now() - started;
    stop.join();
    QVERIFY(!listing);
    QVERIFY2(took < 100ms + AbandonBound, "an abandoned listing waits for its process");
    QCOMPARE(zombies(), 0);
}

void TestSpawnedLister::passwordOnlyOverTheSocket() {
    const QString seen = m_folder.filePath("seen");
    const QString request = m_folder.filePath("request");
    const auto lister =
        standIn("echo \"$@\" > '" + seen.toLocal8Bit() + "'\nenv >> '" + seen.toLocal8Bit() +
                "'\nexec 3<&0\ncat <&3 > '" + request.toLocal8Bit() + "' &\nexec sleep 30");
    Abandonment abandonment;
    std::thread stop([&] {
        std::this_thread::sleep_for(300ms);
        abandonment.set(true);
    });
    QVERIFY(!lister->list(Request, abandonment.fd()));
    stop.join();
    QFile seenFile(seen);
    QVERIFY(seenFile.open(QIODevice::ReadOnly));
    QVERIFY(!seenFile.readAll().contains("S3cret-pw"));
    QFile requestFile(request);
    QVERIFY(requestFile.open(QIODevice::ReadOnly));
    QVERIFY(requestFile.readAll().contains("S3cret-pw"));
}

// Two processes started ahead, each answering every request with a share
// named after the order it started in: a server listed again without a
// password is listed by the process that listed it, although the other one
// has been idle longer, and although that process has listed another server
// since; until it has answered as many listings as a process may.
void TestSpawnedLister::serverListedAgainByItsProcess() {
    const auto lister = numberedStandIn("0", SessionHolderWait);
    QVERIFY(lister);
    lister->prepare(2);
    const auto listedBy = [&](const std::string& url) {
        const auto listing = lister->list({{.url = url, .kerberosUrl = url}, std::nullopt}, -1);
        return listing ? listing->entries.at(0).name : std::string("none");
    };
    const std::string first = listedBy("smb://10.0.0.5");
    QCOMPARE(listedBy("smb://10.0.0.5"), first);
    // The other process, then the first again (the longest idle).
    const std::string other = listedBy("smb://10.0.0.6");
    QVERIFY(other != first);
    QCOMPARE(listedBy("smb://10.0.0.7"), first);
    QCOMPARE(listedBy("smb://10.0.0.5"), first);
    QCOMPARE(listedBy("smb://10.0.0.6"), other);
    // Its last listing ends it, and its sessions with it.
    for (std::size_t answered = 4; answered < ListingsPerProcess; ++answered)
        QCOMPARE(listedBy("smb://10.0.0.5"), first);
    QCOMPARE(listedBy("smb://10.0.0.5"), other);
}

void TestSpawnedLister::busySessionHolderAwaitedBriefly_data() {
    QTest::addColumn<QByteArray>("delay"); // of each listing, in seconds
    QTest::addColumn<int>("holderWaitMs");
    QTest::addColumn<bool>("sameProcess");
    QTest::newRow("holder answers within the wait") << QByteArray("0.6") << 5000 << true;
    QTest::newRow("holder slower than the wait") << QByteArray("1.5") << 100 << false;
}

// A server listed again while the process that keeps its session lists it
// still: the second listing waits for that process when it answers within
// the wait, and goes to the other process when it does not.
void TestSpawnedLister::busySessionHolderAwaitedBriefly() {
    QFETCH(QByteArray, delay);
    QFETCH(int, holderWaitMs);
    QFETCH(bool, sameProcess);
    const auto lister = numberedStandIn(delay, std::chrono::milliseconds(holderWaitMs));
    QVERIFY(lister);
    lister->prepare(2);
    const ListingRequest server{{.url = "smb://10.0.0.5", .kerberosUrl = "smb://10.0.0.5"},
                                std::nullopt};
    const auto holder = lister->list(server, -1);
    QVERIFY(holder);
    std::optional<SmbListing> busy;
    std::thread first([&] { busy = lister->list(server, -1); });
    // The holder is taken first, and still lists.
    std::this_thread::sleep_for(300ms);
    const auto second = lister->list(server, -1);
    first.join();
    QVERIFY(busy && second);
    QCOMPARE(busy->entries.at(0).name, holder->entries.at(0).name);
    QCOMPARE(second->entries.at(0).name == holder->entries.at(0).name, sameProcess);
}

// Three processes forked ahead by the spawner answer listings at once of a
// port where nothing listens, each with the library's refusal; once the
// lister ends, none of them runs.
void TestSpawnedLister::spawnerForksListersSideBySide() {
    const std::string program = SpawnedLister::findProgram();
    QVERIFY(!program.empty());
    std::uint16_t closedPort = 0;
    {
        const SilentServer taken;
        closedPort = taken.port;
    }
    QVERIFY(closedPort != 0);
    std::set<QString> forked;
    {
        SpawnedLister lister(program, SmbSettings{});
        lister.prepare(3);
        QTRY_COMPARE((forked = forkedListers()).size(), std::size_t(3));
        std::vector<std::optional<SmbListing>> listings(3);
        std::vector<std::thread> threads;
        const ListingRequest refused{
            {.url = "smb://127.0.0.1", .kerberosUrl = "smb://127.0.0.1", .port = closedPort},
            std::nullopt};
        for (auto& listing : listings)
            threads.emplace_back([&] { listing = lister.list(refused, -1); });
        for (std::thread& thread : threads)
            thread.join();
        for (const auto& listing : listings) {
            QVERIFY(listing);
            QVERIFY(listing->error != 0);
        }
    }
    QTRY_VERIFY(!anyRuns(forked));
    QCOMPARE(zombies(), 0);
}

// A listing stuck on a server that never answers ends at once when
// abandoned, and the spawner kills the process that ran it.
void TestSpawnedLister::spawnerKillsAnAbandonedLister() {
    const SilentServer silent;
    QVERIFY(silent.port != 0);
    SpawnedLister lister(SpawnedLister::findProgram(), SmbSettings{});
    const ListingRequest stuck{
        {.url = "smb://127.0.0.1", .kerberosUrl = "smb://127.0.0.1", .port = silent.port},
        std::nullopt};
    Abandonment abandonment;
    std::set<QString> running;
    std::thread stop([&] {
        QTRY_VERIFY(!(running = forkedListers()).empty());
        std::this_thread::sleep_for(100ms);
        abandonment.set(true);
    });
    const auto started = std::chrono::steady_clock::now();
    const auto listing = lister.list(stuck, abandonment.fd());
    const auto took = std::chrono::steady_clock::now() - started;
    stop.join();
    QVERIFY(!listing);
    QVERIFY(!running.empty());
    QVERIFY2(took < std::chrono::seconds(SmbSettings{}.timeoutMs / 1000),
             "the listing ran its course");
    QTRY_VERIFY_WITH_TIMEOUT(!anyRuns(running), int(AbandonBound.count()) * 4);
}

// A spawner killed from outside takes its idle processes with it; the next
// listing is answered by a process of a new spawner, not lost on a dead one.
void TestSpawnedLister::spawnerStartedAnewWhenGone() {
    std::uint16_t closedPort = 0;
    {
        const SilentServer taken;
        closedPort = taken.port;
    }
    SpawnedLister lister(SpawnedLister::findProgram(), SmbSettings{});
    const ListingRequest refused{
        {.url = "smb://127.0.0.1", .kerberosUrl = "smb://127.0.0.1", .port = closedPort},
        std::nullopt};
    QVERIFY(lister.list(refused, -1));
    const std::set<QString> spawners =
        childrenOf({QString::number(QCoreApplication::applicationPid())});
    QCOMPARE(spawners.size(), std::size_t(1));
    const std::set<QString> idle = forkedListers();
    QCOMPARE(idle.size(), std::size_t(1));
    QVERIFY(::kill(spawners.begin()->toInt(), SIGKILL) == 0);
    QTRY_VERIFY(!anyRuns(idle));
    const auto again = lister.list(refused, -1);
    QVERIFY(again);
    QVERIFY(again->error != 0);
}

QTEST_GUILESS_MAIN(TestSpawnedLister)
#include "tst_spawnedlister.moc"
