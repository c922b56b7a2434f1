// The WAVE reader on good and malformed files, and the player's refusals.

#include "linux/AlsaSoundPlayer.h"
#include "sound/WaveSound.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QtEndian>
#include <QtTest>

#include <unistd.h>

using namespace norvane;

class TestSound : public QObject {
    Q_OBJECT

private slots:
    void completionSoundHasItsFormat();
    void readsPcm_data();
    void readsPcm();
    void rejectsMalformed_data();
    void rejectsMalformed();
    void playerRefusesWhatItCannotPlay_data();
    void playerRefusesWhatItCannotPlay();
    void playerFinishesOnADeviceThatDiscards();
    void libraryMessagesGoToDiagnostics();
};

namespace {

QByteArray le16(int v) {
    QByteArray b(2, '\0');
    qToLittleEndian(static_cast<quint16>(v), b.data());
    return b;
}

QByteArray le32(qint64 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(static_cast<quint32>(v), b.data());
    return b;
}

QByteArray chunk(const char* id, const QByteArray& body, qint64 declared = -1) {
    QByteArray c = QByteArray(id, 4) + le32(declared < 0 ? body.size() : declared) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

QByteArray fmt(int tag = 1, int channels = 1, int rate = 22050, int bits = 8, int align = -1) {
    if (align < 0)
        align = channels * bits / 8;
    return chunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(rate * align) +
                             le16(align) + le16(bits));
}

QByteArray riff(const QByteArray& chunks, qint64 declared = -1) {
    return "RIFF" + le32(declared < 0 ? chunks.size() + 4 : declared) + "WAVE" + chunks;
}

// The process's standard error goes to a file for the lifetime of the
// object.
class CapturedStandardError {
public:
    CapturedStandardError() : m_saved(dup(STDERR_FILENO)) {
        QVERIFY(m_file.open());
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    QByteArray text() {
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    QTemporaryFile m_file;
    int m_saved;
};

QStringList soundDiagnostics;

void collectSoundDiagnostics(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (QLatin1String(context.category) == QLatin1String("norvane.sound"))
        soundDiagnostics << text;
}

} // namespace

void TestSound::completionSoundHasItsFormat() {
    QFile file(QString::fromLatin1(CompletionSound));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString error;
    const std::optional<WaveSound> sound = parseWave(file.readAll(), &error);
    QVERIFY2(sound, qPrintable(error));
    QCOMPARE(sound->channels, std::uint16_t{1});
    QCOMPARE(sound->bitsPerSample, std::uint16_t{8});
    QCOMPARE(sound->sampleRate, std::uint32_t{22050});
    QCOMPARE(sound->samples.size(), 66389);
    // A chime, not silence, and it fades out to the resting level.
    const auto level = [](char sample) { return int(quint8(sample)); };
    int low = 255;
    int high = 0;
    for (const char sample : sound->samples) {
        low = std::min(low, level(sample));
        high = std::max(high, level(sample));
    }
    QVERIFY(high - low > 150);
    QVERIFY(qAbs(level(sound->samples.back()) - 128) <= 1);
}

void TestSound::readsPcm_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("samples");

    const QByteArray odd("\x01\x02\x03", 3);
    QTest::newRow("odd data with its pad") << riff(fmt() + chunk("data", odd)) << 1 << 8 << odd;
    QTest::newRow("odd data without a pad at the end")
        << riff(fmt() + QByteArray("data") + le32(3) + odd) << 1 << 8 << odd;
    QTest::newRow("unknown chunks skipped, odd size padded")
        << riff(chunk("LIST", "abc") + fmt() + chunk("fact", le32(3)) + chunk("data", odd)) << 1
        << 8 << odd;
    QTest::newRow("longer format chunk")
        << riff(chunk("fmt ", fmt().mid(8) + le16(0)) + chunk("data", odd)) << 1 << 8 << odd;
    QTest::newRow("16-bit stereo cut to whole frames")
        << riff(fmt(1, 2, 44100, 16) + chunk("data", QByteArray(10, 'x'))) << 2 << 16
        << QByteArray(8, 'x');
    QTest::newRow("trailing bytes after the declared size ignored")
        << riff(fmt() + chunk("data", "ab")) + "junkjunk" << 1 << 8 << QByteArray("ab");
}

void TestSound::readsPcm() {
    QFETCH(QByteArray, file);
    QFETCH(int, channels);
    QFETCH(int, bits);
    QFETCH(QByteArray, samples);
    QString error;
    const std::optional<WaveSound> sound = parseWave(file, &error);
    QVERIFY2(sound, qPrintable(error));
    QCOMPARE(int(sound->channels), channels);
    QCOMPARE(int(sound->bitsPerSample), bits);
    QCOMPARE(sound->samples, samples);
}

void TestSound::rejectsMalformed_data() {
    QTest::addColumn<QByteArray>("file");

    const QByteArray data = chunk("data", "abcd");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("short header") << QByteArray("RIFF\0\0\0", 7);
    QTest::newRow("not RIFF") << QByteArray("RIFX") + le32(4) + "WAVE" + fmt() + data;
    QTest::newRow("not WAVE") << QByteArray("RIFF") + le32(4) + "AVI " + fmt() + data;
    QTest::newRow("no chunks") << riff(QByteArray());
    QTest::newRow("no format") << riff(data);
    QTest::newRow("no data") << riff(fmt());
    QTest::newRow("data before format") << riff(data + fmt());
    QTest::newRow("format too short") << riff(chunk("fmt ", QByteArray(14, '\1')) + data);
    QTest::newRow("compressed") << riff(fmt(2) + data);
    QTest::newRow("float") << riff(fmt(3, 1, 22050, 32) + data);
    QTest::newRow("no channels") << riff(fmt(1, 0, 22050, 8, 1) + data);
    QTest::newRow("too many channels") << riff(fmt(1, 9) + data);
    QTest::newRow("24-bit") << riff(fmt(1, 1, 22050, 24) + data);
    QTest::newRow("zero bits") << riff(fmt(1, 1, 22050, 0, 1) + data);
    QTest::newRow("zero rate") << riff(fmt(1, 1, 0) + data);
    QTest::newRow("absurd rate") << riff(fmt(1, 1, 0x7FFFFFFF) + data);
    QTest::newRow("alignment mismatch") << riff(fmt(1, 2, 22050, 16, 2) + data);
    QTest::newRow("data past the end") << riff(fmt() + chunk("data", "abcd", 5000));
    QTest::newRow("data size at the limit") << riff(fmt() + chunk("data", "abcd", 0xFFFFFFFF));
    QTest::newRow("chunk size past the end")
        << riff(chunk("LIST", "ab", 0xFFFFFFF0) + fmt() + data);
    QTest::newRow("RIFF size cuts the data") << riff(fmt() + data, 4 + 24 + 8);
    QTest::newRow("RIFF size cuts the format") << riff(fmt() + data, 4 + 10);
    QTest::newRow("truncated chunk header") << riff(fmt() + "data" + le16(4));
    QTest::newRow("empty data") << riff(fmt() + chunk("data", QByteArray()));
    QTest::newRow("less than one frame") << riff(fmt(1, 2, 22050, 16) + chunk("data", "abc"));
}

void TestSound::rejectsMalformed() {
    QFETCH(QByteArray, file);
    QString error;
    QVERIFY(!parseWave(file, &error));
    QVERIFY(!error.isEmpty());
}

void TestSound::playerRefusesWhatItCannotPlay_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("path");

    const QString sound = QString::fromLatin1(CompletionSound);
    QTest::newRow("no such device") << QStringLiteral("norvane_no_such_device") << sound;
    QTest::newRow("no such card") << QStringLiteral("hw:31") << sound;
    QTest::newRow("missing file") << QStringLiteral("null") << QStringLiteral(":/nothing.wav");
    QTest::newRow("not a sound") << QStringLiteral("null")
                                 << QStringLiteral(":/images/norvane.svg");
}

void TestSound::playerRefusesWhatItCannotPlay() {
    QFETCH(QString, device);
    QFETCH(QString, path);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!AlsaSoundPlayer(device).play(path));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

void TestSound::playerFinishesOnADeviceThatDiscards() {
    // ALSA's null device takes everything at once: the player must not wait
    // for a drain that never comes, nor past the sound's length and margin.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(AlsaSoundPlayer(QStringLiteral("null")).play(QString::fromLatin1(CompletionSound)));
    QVERIFY(timer.elapsed() < 3011 + AlsaSoundPlayer::DrainMargin.count() + 1000);
}

void TestSound::libraryMessagesGoToDiagnostics() {
    // Without the device, the sound library has errors to tell: they reach
    // the sound diagnostics when those are on, and never standard error.
    QLoggingCategory::setFilterRules(QStringLiteral("norvane.sound.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(collectSoundDiagnostics);
    QByteArray printed;
    {
        CapturedStandardError captured;
        AlsaSoundPlayer(QStringLiteral("norvane_no_such_device"))
            .play(QString::fromLatin1(CompletionSound));
        printed = captured.text();
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(printed, QByteArray());
    QVERIFY(soundDiagnostics.join(QLatin1Char('\n')).contains(u"norvane_no_such_device"));
}

QTEST_GUILESS_MAIN(TestSound)
#include "tst_sound.moc"
