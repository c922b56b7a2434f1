// The window and the scan store: after a scan the rows new since the
// previous complete scan at the site are bold and panel 1 counts the new and
// gone ones; View > Changes... lists them; File > History... fills the list
// with a recorded scan, which Save writes as it writes a live one. With
// NORVANE_SHOT_DIR set, the list and each dialog are saved there as
// pictures.

#include "TestWindow.h"
#include "dialogs/TChangesDlg.h"
#include "dialogs/THistoryDlg.h"
#include "store/ScanStore.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

using namespace norvane;
using namespace norvane::test;

namespace {

constexpr int PollMs = 10;

ComputerRecord computer(const char* name, const char* group, const char* comment,
                        std::optional<MacAddress> mac = std::nullopt) {
    ComputerRecord record;
    record.name = QString::fromLatin1(name);
    record.group = QString::fromLatin1(group);
    record.comment = QString::fromLatin1(comment);
    record.mac = mac;
    return record;
}

// The window's previous complete scan: ALPHA (known by its MAC), GAMMA
// with another comment, and OMEGA, gone since.
void recordEarlierScan(const QString& storeFile, const QString& site) {
    const auto store = ScanStore::open(*StoreLocation::parse(storeFile, nullptr));
    ScanContents earlier;
    earlier.header = {.started = QDateTime::currentDateTimeUtc().addDays(-1),
                      .site = site,
                      .resourceType = rtComputer,
                      .complete = true};
    earlier.computers = {
        computer("ALPHA", "WG1", "Main server", MacAddress{0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B}),
        computer("GAMMA", "WG1", "Old comment"), computer("OMEGA", "WG2", "Retired")};
    store->record(earlier);
}

void shoot(QWidget* widget, const char* name) {
    const QString folder = qEnvironmentVariable("NORVANE_SHOT_DIR");
    if (!folder.isEmpty())
        QVERIFY(widget->grab().save(folder + QLatin1Char('/') + QLatin1String(name) +
                                    QStringLiteral(".png")));
}

// Runs `handle` on the next modal dialog of type T once it is open.
template <typename T, typename Handle> void whenOpen(QObject* owner, Handle handle) {
    auto* poll = new QTimer(owner);
    poll->setInterval(PollMs);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(dialog);
        }
    });
    poll->start();
}

// A group's title and its lines, each as its cells joined by "|".
QStringList treeLines(const QTreeWidget* tree) {
    QStringList lines;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = tree->topLevelItem(g);
        lines << group->text(0);
        for (int c = 0; c < group->childCount(); ++c) {
            QStringList cells;
            for (int column = 0; column < tree->columnCount(); ++column)
                cells << group->child(c)->text(column);
            lines << QStringLiteral("  ") + cells.join(QLatin1Char('|'));
        }
    }
    return lines;
}

struct StoreWindow : Window {
    QString storeFile() const { return home.filePath(QStringLiteral("scans.sqlite")); }

    // A window at site "office" with a scan recorded there the day before;
    // shown, its scan finished and compared.
    bool showWithEarlierScan() {
        settings()->setValue(QStringLiteral("ScanStore/Site"), QStringLiteral("office"));
        recordEarlierScan(storeFile(), QStringLiteral("office"));
        buildSmallNetwork(fake);
        create();
        QSignalSpy compared(form.get(), &TMainForm::changesShown);
        return showAndWait() && (compared.count() == 1 || compared.wait(ScanTimeoutMs));
    }
    QStringList marked() const {
        QStringList rows;
        for (int row = 0; row < form->model().rowCount(); ++row) {
            if (form->model().isMarkedNew(row))
                rows << form->model().row(row).caption;
        }
        return rows;
    }
};

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void newRowsAreMarkedAndChangesListed() {
        StoreWindow w;
        QVERIFY(w.showWithEarlierScan());
        const QStringList marked{"\\\\beta", "\\\\DELTA", "\\\\alpha"};
        QCOMPARE(w.marked(), marked);
        const ResultListModel& model = w.form->model();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QVariant font = model.data(model.index(row, 1), Qt::FontRole);
            QCOMPARE(font.isValid() && font.value<QFont>().bold(), model.isMarkedNew(row));
            // The row's image stays as it was.
            QVERIFY(!model.data(model.index(row, 0), Qt::DecorationRole).isNull());
        }
        // Panel 0 keeps the count; panel 1 gives the changes.
        QCOMPARE(w.form->statusText(), QStringLiteral("5 Computer(s) found"));
        QCOMPARE(w.form->statusNote(), QStringLiteral("3 new, 1 gone"));
        QVERIFY(w.form->statusNoteToolTip().contains(QStringLiteral("office")));
        // The marks follow their rows through a sort.
        w.form->ListViewColumnClick(0);
        const QStringList sorted = w.marked();
        QCOMPARE(QSet<QString>(sorted.begin(), sorted.end()),
                 QSet<QString>(marked.begin(), marked.end()));
        shoot(w.form.get(), "marked-list");

        QStringList lines;
        whenOpen<TChangesDlg>(w.form.get(), [&lines](TChangesDlg* dialog) {
            lines = treeLines(dialog->tree());
            lines.prepend(dialog->summary());
            shoot(dialog, "changes-dialog");
            dialog->reject();
        });
        w.form->findChild<QAction*>(QStringLiteral("actChanges"))->trigger();
        QCOMPARE(lines.size(), 9);
        QVERIFY2(lines[0].endsWith(QStringLiteral("office: 3 new, 1 gone, 1 changed.")),
                 qPrintable(lines[0]));
        QCOMPARE(lines.mid(1), (QStringList{"Gone (1)", "  \\\\OMEGA|WG2|||", "Changed (1)",
                                            "  \\\\GAMMA|WG1|Comment|Old comment|Print host",
                                            "New (3)", "  \\\\beta|WG1|||",
                                            "  \\\\DELTA|WG2|||10.0.0.5", "  \\\\alpha|WG2|||"}));

        // A new scan drops the marks until its own comparison is done.
        parts(*w.form).actGo->trigger();
        QCOMPARE(w.marked(), QStringList());
        QVERIFY(!w.form->changes());
    }

    // The first scan at a site has nothing to compare with: no marks, no
    // note, no Changes command.
    void firstScanMarksNothing() {
        StoreWindow w;
        buildSmallNetwork(w.fake);
        w.create();
        QSignalSpy compared(w.form.get(), &TMainForm::changesShown);
        QVERIFY(w.showAndWait());
        QVERIFY(compared.count() == 1 || compared.wait(ScanTimeoutMs));
        QCOMPARE(w.marked(), QStringList());
        QCOMPARE(w.form->statusNote(), QString());
        idle();
        QVERIFY(!w.form->findChild<QAction*>(QStringLiteral("actChanges"))->isEnabled());
    }

    void historyLoadsARecordedScan() {
        StoreWindow w;
        QVERIFY(w.showWithEarlierScan());
        QElapsedTimer listing;
        qint64 listedMs = -1;
        QStringList listed;
        // Loads the day-before scan, the one with three rows.
        connect(w.form.get(), &TMainForm::historyListed, this, [&](QDialog* shown) {
            listedMs = listing.elapsed();
            auto* dialog = qobject_cast<THistoryDlg*>(shown);
            QVERIFY(dialog != nullptr);
            QTreeWidget* tree = dialog->tree();
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                QTreeWidgetItem* item = tree->topLevelItem(i);
                listed << QStringList{item->text(1), item->text(2), item->text(3), item->text(4)}
                              .join(QLatin1Char('|'));
                if (item->text(4) == QLatin1String("3"))
                    tree->setCurrentItem(item);
            }
            shoot(dialog, "history-dialog");
            dialog->loadButton()->click();
        });
        QSignalSpy loaded(w.form.get(), &TMainForm::recordedScanShown);
        listing.start();
        w.form->findChild<QAction*>(QStringLiteral("actHistory"))->trigger();
        QVERIFY(loaded.count() == 1 || loaded.wait(ScanTimeoutMs));
        qInfo("History listed %d scans after %lld ms", int(listed.size()), listedMs);
        QVERIFY(listed.contains(QStringLiteral("office|Computers|Complete|3")));
        QVERIFY(w.form->showsRecordedScan());
        QStringList captions;
        for (const ResultRow& row : w.form->model().rows())
            captions << row.caption;
        QCOMPARE(captions, (QStringList{"\\\\ALPHA", "\\\\GAMMA", "\\\\OMEGA"}));
        QCOMPARE(w.form->model().row(2).subItems,
                 (QStringList{NoIpAddress, "WG2", "Retired", NoMacAddress}));
        QCOMPARE(w.form->statusText(), QStringLiteral("3 Computer(s) found"));
        QCOMPARE(w.form->statusNote(), QStringLiteral("Recorded scan"));
        QVERIFY(w.form->statusNoteToolTip().contains(QStringLiteral("office")));
        QCOMPARE(w.marked(), QStringList());
        shoot(w.form.get(), "recorded-list");

        // Save As writes the recorded list as the window's report.
        idle();
        QVERIFY(parts(*w.form).actSaveAs->isEnabled());
        const QString path = w.home.filePath(QStringLiteral("recorded.nrv"));
        whenOpen<QFileDialog>(w.form.get(), [path](QFileDialog* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        parts(*w.form).actSaveAs->trigger();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray report = file.readAll();
        QVERIFY(report.contains("IP Address"));
        QVERIFY(report.contains("\\\\OMEGA"));
        QVERIFY(report.contains("Retired"));

        // Go scans the network again.
        parts(*w.form).actGo->trigger();
        QVERIFY(w.waitIdle());
        QVERIFY(!w.form->showsRecordedScan());
        QCOMPARE(w.form->model().rowCount(), 5);
    }

    // Ten thousand rows: the comparison runs off the UI thread, which keeps
    // serving its events meanwhile. The figures: the time from the scan's
    // end to its marks, and the UI thread's longest wait for its events
    // then.
    void tenThousandRowsMarkedOffTheUiThread() {
        constexpr int Computers = 10000;
        StoreWindow w;
        buildLargeNetwork(w.fake, Computers);
        w.create();
        QSignalSpy compared(w.form.get(), &TMainForm::changesShown);
        QVERIFY(w.showAndWait());
        QVERIFY(compared.count() == 1 || compared.wait(ScanTimeoutMs));
        // The first scan is recorded before the second one ends.
        QTRY_VERIFY_WITH_TIMEOUT(
            ScanStore::open(*StoreLocation::parse(w.storeFile(), nullptr))->scans().size() == 1,
            ScanTimeoutMs);
        w.fake.addComputer("GROUP9", "\\\\NEWPC", "new");
        QElapsedTimer sinceEnd;
        QElapsedTimer sinceTick;
        qint64 longestWaitMs = 0;
        QTimer ticker;
        ticker.setInterval(PollMs);
        connect(&ticker, &QTimer::timeout, this,
                [&] { longestWaitMs = std::max(longestWaitMs, sinceTick.restart()); });
        connect(w.form.get(), &TMainForm::scanCompleted, this, [&] {
            sinceEnd.start();
            sinceTick.start();
            ticker.start();
        });
        parts(*w.form).actGo->trigger();
        QVERIFY(w.waitIdle());
        QVERIFY(compared.wait(ScanTimeoutMs));
        const qint64 markedMs = sinceEnd.elapsed();
        ticker.stop();
        qInfo("%d rows: marked %lld ms after the scan's end; the UI thread's longest wait for "
              "its events meanwhile %lld ms",
              Computers + 1, markedMs, longestWaitMs);
        QCOMPARE(w.marked(), QStringList{"\\\\NEWPC"});
        QCOMPARE(w.form->statusNote(), QStringLiteral("1 new, 0 gone"));
    }

    // A store that cannot be read is named in the History dialog.
    void historyOfAnUnreadableStore() {
        Window w;
        const QString damaged = w.home.filePath(QStringLiteral("damaged.sqlite"));
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
        file.close();
        w.settings()->setValue(QStringLiteral("ScanStore/Location"), damaged);
        w.create();
        QString state;
        connect(w.form.get(), &TMainForm::historyListed, this, [&state](QDialog* shown) {
            auto* dialog = qobject_cast<THistoryDlg*>(shown);
            state = dialog->stateText();
            QVERIFY(!dialog->loadButton()->isEnabled());
            dialog->reject();
        });
        w.form->findChild<QAction*>(QStringLiteral("actHistory"))->trigger();
        QVERIFY2(state.contains(damaged), qPrintable(state));
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
