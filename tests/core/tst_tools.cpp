// The Find history and list search, and the ping run over the scripted
// platform: everything behind the tool dialogs that runs without a window.

#include "common/AppError.h"
#include "fake/FakePlatform.h"
#include "tools/FindHistory.h"
#include "tools/PingRun.h"
#include "tools/ResourceList.h"
#include "tools/SettingsHistoryStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace norvane;
using norvane::test::FakePlatform;

namespace {

// History values in memory; a value can be given a type other than a string.
class MemoryStore : public HistoryStore {
public:
    std::map<QString, QString> values;
    QStringList notStrings;

    bool valueExists(const QString& name) const override {
        return values.count(name) > 0 || notStrings.contains(name);
    }
    QString readString(const QString& name) const override {
        if (notStrings.contains(name))
            throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
        return values.at(name);
    }
    void writeString(const QString& name, const QString& value) override { values[name] = value; }
    QStringList contents() const {
        QStringList pairs;
        for (const auto& [name, value] : values)
            pairs << name + QLatin1Char('=') + value;
        return pairs;
    }
};

MemoryStore storeOf(const QStringList& pairs) {
    MemoryStore store;
    for (const QString& pair : pairs) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        store.values[pair.left(equals)] = pair.mid(equals + 1);
    }
    return store;
}

class ListOfCaptions : public ResourceList {
public:
    explicit ListOfCaptions(QStringList captions) : m_captions(std::move(captions)) {}
    int rowCount() const override { return int(m_captions.size()); }
    QString caption(int row) const override { return m_captions.at(row); }
    void showHit(int) override {}

private:
    QStringList m_captions;
};

class LinesOutput : public PingOutput {
public:
    QStringList lines;
    void appendLine(const QString& line) override { lines << line; }
    int lineCount() const override { return int(lines.size()); }
    void deleteFirstLine() override { lines.removeFirst(); }
};

class TextFields : public PingFields {
public:
    std::map<PingField, QString> texts{{PingField::SendSize, QStringLiteral("32   ")},
                                       {PingField::RequestCount, QStringLiteral("4 ")},
                                       {PingField::TimeOut, QStringLiteral("1000 ")}};
    bool fragmentFlag = true;
    QString text(PingField field) const override { return texts.at(field); }
    void setText(PingField field, const QString& text) override { texts[field] = text; }
    bool dontFragment() const override { return fragmentFlag; }
};

// Returns at once; can press Cancel at a given event dispatch.
class InstantPacing : public PingPacing {
public:
    explicit InstantPacing(bool& cancelled) : m_cancelled(cancelled) {}
    int dispatches = 0;
    int cancelAtDispatch = -1;
    std::vector<std::chrono::milliseconds> pauses;

    void processEvents() override {
        if (++dispatches == cancelAtDispatch)
            m_cancelled = true;
    }
    void pause(std::chrono::milliseconds duration) override { pauses.push_back(duration); }

private:
    bool& m_cancelled;
};

// A ping run with its fake surroundings.
struct PingFixture {
    FakePlatform platform;
    LinesOutput output;
    TextFields fields;
    bool cancelled = false;
    InstantPacing pacing{cancelled};
    int addressReads = 0;

    void run(IcmpHandle handle = 100) {
        PingRun run(platform, handle, output, fields, pacing, cancelled);
        run.run(QStringLiteral("PC1"), [this] {
            ++addressReads;
            return QStringLiteral("10.0.0.7");
        });
    }
    QStringList sends() const {
        QStringList result;
        for (const std::string& call : platform.calls()) {
            if (call.rfind("icmpSendEcho", 0) == 0)
                result << QString::fromStdString(call);
        }
        return result;
    }
};

const QString Header = QStringLiteral("Pinging PC1 [10.0.0.7] with 32 bytes of data:");

FakePlatform::EchoResult reply(std::uint32_t time) {
    FakePlatform::EchoResult result;
    result.roundTripTime = time;
    return result;
}

FakePlatform::EchoResult failure(DWORD status) {
    FakePlatform::EchoResult result;
    result.status = status;
    return result;
}

} // namespace

class ToolsTest : public QObject {
    Q_OBJECT

private slots:
    void history_data();
    void history();
    void historyLoadFailureKeepsWhatLoaded();
    void settingsStoreRoundTrip();
    void settingsStoreErrors();
    void search_data();
    void search();
    void pingDefaults();
    void pingReplacements_data();
    void pingReplacements();
    void pingFailures_data();
    void pingFailures();
    void pingConversionError_data();
    void pingConversionError();
    void pingCancel();
    void pingTrimsResults_data();
    void pingTrimsResults();
    void pingWithoutEchoService();
};

void ToolsTest::history_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("typed"); // null: the dialog is cancelled
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("found");
    QTest::addColumn<QStringList>("storedAfter");

    const QStringList ten = {
        "MRUList=jihgfedcba", "a=A", "b=B", "c=C", "d=D", "e=E", "f=F", "g=G", "h=H", "i=I", "j=J"};
    QTest::newRow("no history, first name") << QStringList{} << "\\\\PC1" << QStringList{} << -1
                                            << QStringList{"MRUList=a", "a=\\\\PC1"};
    QTest::newRow("no history, cancelled")
        << QStringList{} << QString() << QStringList{} << -1 << QStringList{"MRUList="};
    QTest::newRow("missing values leave the order")
        << QStringList{"MRUList=cab", "a=A", "b=B"} << QString() << QStringList{"A", "B"} << -1
        << QStringList{"MRUList=ab", "a=A", "b=B"};
    QTest::newRow("existing entry in other case moves to the front")
        << QStringList{"MRUList=abc", "a=A", "b=B", "c=\\\\Server"} << "\\\\SERVER"
        << QStringList{"A", "B", "\\\\Server"} << 2
        << QStringList{"MRUList=cab", "a=A", "b=B", "c=\\\\Server"};
    QTest::newRow("ten entries: the oldest is replaced")
        << ten << "new" << QStringList{"J", "I", "H", "G", "F", "E", "D", "C", "B", "A"} << -1
        << QStringList{"MRUList=ajihgfedcb",
                       "a=new",
                       "b=B",
                       "c=C",
                       "d=D",
                       "e=E",
                       "f=F",
                       "g=G",
                       "h=H",
                       "i=I",
                       "j=J"};
    QTest::newRow("first free letter taken")
        << QStringList{"MRUList=ba", "a=A", "b=B"} << "new" << QStringList{"B", "A"} << -1
        << QStringList{"MRUList=cba", "a=A", "b=B", "c=new"};
    QTest::newRow("blank name not remembered")
        << QStringList{"MRUList=a", "a=A"} << "   " << QStringList{"A"} << -1
        << QStringList{"MRUList=a", "a=A"};
    QTest::newRow("empty name not remembered")
        << QStringList{"MRUList=a", "a=A"} << "" << QStringList{"A"} << -1
        << QStringList{"MRUList=a", "a=A"};
    QTest::newRow("trailing space kept and not matched")
        << QStringList{"MRUList=a", "a=pc"} << "PC " << QStringList{"pc"} << -1
        << QStringList{"MRUList=ba", "a=pc", "b=PC "};
    QTest::newRow("order cut after eleven characters")
        << QStringList{"MRUList=abcdefghijkl",
                       "a=A",
                       "b=B",
                       "c=C",
                       "d=D",
                       "e=E",
                       "f=F",
                       "g=G",
                       "h=H",
                       "i=I",
                       "j=J",
                       "k=K",
                       "l=L"}
        << QString() << QStringList{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K"} << -1
        << QStringList{"MRUList=abcdefghijk",
                       "a=A",
                       "b=B",
                       "c=C",
                       "d=D",
                       "e=E",
                       "f=F",
                       "g=G",
                       "h=H",
                       "i=I",
                       "j=J",
                       "k=K",
                       "l=L"};
    QTest::newRow("other characters name entries too")
        << QStringList{"MRUList=x1", "1=One", "x=X"} << "one" << QStringList{"X", "One"} << 1
        << QStringList{"1=One", "MRUList=1x", "x=X"};
}

void ToolsTest::history() {
    QFETCH(QStringList, stored);
    QFETCH(QString, typed);
    QFETCH(QStringList, items);
    QFETCH(int, found);
    QFETCH(QStringList, storedAfter);

    MemoryStore store = storeOf(stored);
    FindHistory history(store);
    history.load();
    QCOMPARE(history.items(), items);
    QCOMPARE(history.order().size(), items.size());
    if (!typed.isNull())
        QCOMPARE(history.update(typed), found);
    QCOMPARE(history.items(), items);
    history.save();
    QCOMPARE(store.contents(), storedAfter);
}

void ToolsTest::historyLoadFailureKeepsWhatLoaded() {
    // All ten letters in the order but only two entries loaded: the new name
    // takes the letter of the least recently used entry.
    MemoryStore store = storeOf(
        {"MRUList=abcdefghij", "a=A", "b=B", "d=D", "e=E", "f=F", "g=G", "h=H", "i=I", "j=J"});
    store.notStrings << QStringLiteral("c");
    FindHistory history(store);
    try {
        history.load();
        QFAIL("a value that is not a string was read");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), QStringLiteral("Invalid data type for 'c'"));
    }
    QCOMPARE(history.items(), QStringList({"A", "B"}));
    QCOMPARE(history.order(), QStringLiteral("abcdefghij"));
    QCOMPARE(history.update(QStringLiteral("new")), -1);
    history.save();
    QCOMPARE(store.values.at(QStringLiteral("MRUList")), QStringLiteral("jabcdefghi"));
    QCOMPARE(store.values.at(QStringLiteral("j")), QStringLiteral("new"));
}

void ToolsTest::settingsStoreRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Norvane.conf"));
    // Texts an INI file would otherwise read back as lists or special values.
    const QStringList names = {"a,b", "@Variant(x)", "\\\\PC ", "Ärzte"};
    {
        QSettings settings(path, QSettings::IniFormat);
        SettingsHistoryStore store(settings);
        FindHistory history(store);
        history.load();
        for (const QString& name : names)
            history.update(name);
        history.save();
    }
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("FindResourceMRU/MRUList")).toString(),
             QStringLiteral("dcba"));
    SettingsHistoryStore store(settings);
    FindHistory history(store);
    history.load();
    QCOMPARE(history.items(), QStringList({"Ärzte", "\\\\PC ", "@Variant(x)", "a,b"}));
}

void ToolsTest::settingsStoreErrors() {
    QTemporaryDir dir;
    {
        QSettings settings(dir.filePath(QStringLiteral("Norvane.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FindResourceMRU/MRUList"), QStringLiteral("ab"));
        settings.setValue(QStringLiteral("FindResourceMRU/a"), QByteArray("bytes"));
        SettingsHistoryStore store(settings);
        QVERIFY_THROWS_EXCEPTION(AppError, store.readString(QStringLiteral("a")));
        try {
            store.readString(QStringLiteral("a"));
        } catch (const AppError& error) {
            QCOMPARE(error.message(), QStringLiteral("Invalid data type for 'a'"));
        }
    }
    // A settings file that cannot be written: its folder is a plain file.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings settings(dir.filePath(QStringLiteral("blocker/Norvane.conf")), QSettings::IniFormat);
    SettingsHistoryStore store(settings);
    FindHistory history(store);
    history.load();
    try {
        history.update(QStringLiteral("PC"));
        QFAIL("a write that cannot be stored succeeded");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), QStringLiteral("Failed to set data for 'a'"));
    }
    QVERIFY_THROWS_EXCEPTION(AppError, history.save());
}

void ToolsTest::search_data() {
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("row");
    const QStringList list = {"\\\\ALPHA", "\\\\beta", "\\\\MÜNCHEN", "\\\\Beta"};
    QTest::newRow("exact") << list << "\\\\ALPHA" << 0;
    QTest::newRow("other case, first of two in list order") << list << "\\\\BETA" << 1;
    QTest::newRow("non-ASCII letters in other case") << list << "\\\\münchen" << 2;
    QTest::newRow("part of a name misses") << list << "ALPHA" << -1;
    QTest::newRow("trailing space misses") << list << "\\\\ALPHA " << -1;
    QTest::newRow("blank misses") << list << "  " << -1;
    QTest::newRow("empty list") << QStringList{} << "\\\\ALPHA" << -1;
}

void ToolsTest::search() {
    QFETCH(QStringList, captions);
    QFETCH(QString, text);
    QFETCH(int, row);
    QCOMPARE(findResource(ListOfCaptions(captions), text), row);
}

void ToolsTest::pingDefaults() {
    PingFixture ping;
    ping.platform.echoes = {reply(0), reply(15), reply(1)};
    ping.platform.echoes.back().ttl = 64;
    ping.run();

    const QString send = QStringLiteral("icmpSendEcho(100,10.0.0.7,size=32,ttl=32,tos=0,flags=2,"
                                        "reply=60,timeout=1000,fill=AA)");
    QCOMPARE(ping.sends(), QStringList(4, send));
    QCOMPARE(
        ping.output.lines,
        QStringList({Header, "", "Reply from 10.0.0.7: bytes=32 time<10ms TTL=128",
                     "Reply from 10.0.0.7: bytes=32 time=15ms TTL=128",
                     "Reply from 10.0.0.7: bytes=32 time=1ms TTL=64", "Request timed out.", ""}));
    QCOMPARE(ping.pacing.pauses,
             std::vector<std::chrono::milliseconds>(4, ping::PauseAfterRequest));
    QCOMPARE(ping.pacing.dispatches, 4);
    QCOMPARE(ping.addressReads, 1);
}

void ToolsTest::pingReplacements_data() {
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("timeOut");
    QTest::addColumn<bool>("fragment");
    QTest::addColumn<QString>("sendArguments");
    QTest::addColumn<int>("sends");
    QTest::addColumn<QStringList>("fieldsAfter");

    QTest::newRow("zero size, count and time-out replaced")
        << "0"
        << "0"
        << "0" << true << "size=32,ttl=32,tos=0,flags=2,reply=60,timeout=1000" << 4
        << QStringList{"32", "4", "1000"};
    QTest::newRow("largest size accepted, flag off")
        << "65500"
        << " 1"
        << "99999" << false << "size=65500,ttl=32,tos=0,flags=0,reply=65528,timeout=99999" << 1
        << QStringList{"65500", " 1", "99999"};
    QTest::newRow("size above the largest replaced")
        << "65501"
        << "2"
        << "5" << true << "size=32,ttl=32,tos=0,flags=2,reply=60,timeout=5" << 2
        << QStringList{"32", "2", "5"};
}

void ToolsTest::pingReplacements() {
    QFETCH(QString, size);
    QFETCH(QString, count);
    QFETCH(QString, timeOut);
    QFETCH(bool, fragment);
    QFETCH(QString, sendArguments);
    QFETCH(int, sends);
    QFETCH(QStringList, fieldsAfter);

    PingFixture ping;
    ping.fields.texts = {{PingField::SendSize, size},
                         {PingField::RequestCount, count},
                         {PingField::TimeOut, timeOut}};
    ping.fields.fragmentFlag = fragment;
    ping.run();
    const QString send = QStringLiteral("icmpSendEcho(100,10.0.0.7,%1,fill=AA)").arg(sendArguments);
    QCOMPARE(ping.sends(), QStringList(sends, send));
    QCOMPARE((QStringList{ping.fields.texts[PingField::SendSize],
                          ping.fields.texts[PingField::RequestCount],
                          ping.fields.texts[PingField::TimeOut]}),
             fieldsAfter);
}

void ToolsTest::pingFailures_data() {
    QTest::addColumn<uint>("status");
    QTest::addColumn<QString>("line");
    QTest::newRow("timed out") << uint(IP_REQ_TIMED_OUT) << "Request timed out.";
    QTest::newRow("too big") << uint(IP_PACKET_TOO_BIG) << "Packet needs to be fragmented.";
    QTest::newRow("other status") << uint(IP_DEST_HOST_UNREACHABLE) << "Error: 11003.";
}

void ToolsTest::pingFailures() {
    QFETCH(uint, status);
    QFETCH(QString, line);
    PingFixture ping;
    ping.fields.texts[PingField::RequestCount] = QStringLiteral("2");
    ping.platform.echoes = {failure(status), reply(3)};
    ping.run();
    // The failed request is reported and the run goes on with the next one.
    QCOMPARE(ping.output.lines,
             QStringList({Header, "", line, "Reply from 10.0.0.7: bytes=32 time=3ms TTL=128", ""}));
    QCOMPARE(ping.pacing.pauses.size(), 2u);
}

void ToolsTest::pingConversionError_data() {
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("sizeAfter");
    QTest::newRow("blank size") << "     "
                                << "4"
                                << "'' is not a valid integer value"
                                << "     ";
    QTest::newRow("blanks between digits") << "1 2  "
                                           << "4"
                                           << "'1 2' is not a valid integer value"
                                           << "1 2  ";
    QTest::newRow("count after a replaced size") << "0"
                                                 << "  "
                                                 << "'' is not a valid integer value"
                                                 << "32";
}

void ToolsTest::pingConversionError() {
    QFETCH(QString, size);
    QFETCH(QString, count);
    QFETCH(QString, message);
    QFETCH(QString, sizeAfter);
    PingFixture ping;
    ping.fields.texts[PingField::SendSize] = size;
    ping.fields.texts[PingField::RequestCount] = count;
    try {
        ping.run();
        QFAIL("a field that is not a number was accepted");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), message);
        QCOMPARE(messageWithFullStop(error.message()), message + QLatin1Char('.'));
    }
    QVERIFY(ping.output.lines.isEmpty());
    QVERIFY(ping.sends().isEmpty());
    QCOMPARE(ping.addressReads, 0);
    QCOMPARE(ping.fields.texts[PingField::SendSize], sizeAfter);
}

void ToolsTest::pingCancel() {
    PingFixture ping;
    ping.platform.echoes = {reply(0), reply(0), reply(0), reply(0)};
    ping.pacing.cancelAtDispatch = 2;
    ping.run();
    QCOMPARE(ping.sends().size(), 1);
    QCOMPARE(ping.output.lines,
             QStringList({Header, "", "Reply from 10.0.0.7: bytes=32 time<10ms TTL=128", ""}));
    // The flag stays set: a later run sends nothing but still frames its output.
    ping.run();
    QCOMPARE(ping.sends().size(), 1);
}

void ToolsTest::pingTrimsResults_data() {
    QTest::addColumn<int>("linesBefore");
    QTest::addColumn<QString>("firstLineAfter");
    QTest::newRow("100 lines kept") << 100 << "old 0";
    QTest::newRow("101 lines lose one") << 101 << "old 1";
    QTest::newRow("150 lines lose only one") << 150 << "old 1";
}

void ToolsTest::pingTrimsResults() {
    QFETCH(int, linesBefore);
    QFETCH(QString, firstLineAfter);
    PingFixture ping;
    for (int i = 0; i < linesBefore; ++i)
        ping.output.lines << QStringLiteral("old %1").arg(i);
    ping.fields.texts[PingField::RequestCount] = QStringLiteral("1");
    ping.run();
    QCOMPARE(ping.output.lines.first(), firstLineAfter);
    QCOMPARE(ping.output.lines.at(ping.output.lines.size() - 4), Header);
}

void ToolsTest::pingWithoutEchoService() {
    PingFixture ping;
    ping.fields.texts[PingField::SendSize] = QStringLiteral("not read");
    ping.run(InvalidIcmpHandle);
    ping.run(InvalidIcmpHandle);
    QCOMPARE(ping.output.lines, QStringList(2, "Error: Could not initialize icmp.dll."));
    QVERIFY(ping.sends().isEmpty());
    QCOMPARE(ping.addressReads, 0);
}

QTEST_GUILESS_MAIN(ToolsTest)
#include "tst_tools.moc"
