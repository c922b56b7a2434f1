// Where the SMB library's caches go for a user who may not write the
// system's Samba folders: the user's cache folder, else a folder of the
// user's own under the temporary folder, never one that someone else made.

#include "linux/SambaCacheFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace norvane;

namespace {
constexpr unsigned OtherUser = 65534; // nobody
} // namespace

class TestSambaCacheFolder : public QObject {
    Q_OBJECT

private slots:
    void cacheFolderOfTheUser() {
        QTemporaryDir cache;
        const std::string config =
            SambaCacheFolder::configFile(OtherUser, cache.path().toStdString(), "/nonexistent");
        const QString folder = cache.filePath(QStringLiteral("norvane/samba"));
        QCOMPARE(QString::fromStdString(config), folder + QStringLiteral("/smb.conf"));
        QFile file(QString::fromStdString(config));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        for (const char* name : {"cache directory", "lock directory", "state directory"})
            QVERIFY2(text.contains(QByteArray(name) + " = " + folder.toUtf8() + '\n'),
                     text.constData());
        // Root writes the system's folders: nothing is laid over them.
        QCOMPARE(SambaCacheFolder::configFile(0, cache.path().toStdString(), "/tmp"),
                 std::string());
    }

    // Without a cache folder: a folder under the temporary folder, used only
    // when it is a real folder, the user's and closed to others.
    void temporaryFolder_data() {
        QTest::addColumn<QString>("made"); // how the folder was there before
        QTest::addColumn<bool>("used");
        QTest::newRow("the user's, private") << "own 0700" << true;
        QTest::newRow("another user's") << "root 0700" << false;
        QTest::newRow("open to others") << "own 0755" << false;
        QTest::newRow("a link to the user's folder") << "link" << false;
    }
    void temporaryFolder() {
        QFETCH(QString, made);
        QFETCH(bool, used);
        if (::geteuid() != 0)
            QSKIP("handing a folder to another user needs root");
        QTemporaryDir temporary;
        const QByteArray folder = QFile::encodeName(
            temporary.filePath(QStringLiteral("norvane-samba-%1").arg(OtherUser)));
        const QByteArray real = QFile::encodeName(temporary.filePath(QStringLiteral("real")));
        const QByteArray where = made == QLatin1String("link") ? real : folder;
        QCOMPARE(::mkdir(where.constData(), 0700), 0);
        if (made != QLatin1String("root 0700"))
            QCOMPARE(::chown(where.constData(), OtherUser, OtherUser), 0);
        if (made == QLatin1String("own 0755"))
            QCOMPARE(::chmod(where.constData(), 0755), 0);
        if (made == QLatin1String("link"))
            QCOMPARE(::symlink(real.constData(), folder.constData()), 0);
        const std::string config =
            SambaCacheFolder::configFile(OtherUser, "", temporary.path().toStdString());
        QCOMPARE(config.empty(), !used);
        if (used)
            QCOMPARE(QByteArray::fromStdString(config), folder + "/smb.conf");
    }
};

QTEST_GUILESS_MAIN(TestSambaCacheFolder)
#include "tst_sambacachefolder.moc"
