// The tool dialogs as the user meets them: layout, the Find dialog over a
// real item view and settings file, the Ping dialog over the scripted
// platform, the About box, the save-file dialog, the Other Subnets dialog. Errors are collected by
// an error handler that stands in for the program's error box.

#include "common/AppError.h"
#include "dialogs/ItemViewResourceList.h"
#include "dialogs/SaveFileDialogs.h"
#include "dialogs/TAboutBox.h"
#include "dialogs/TFindDlg.h"
#include "dialogs/TPingDlg.h"
#include "dialogs/TSourcesDlg.h"
#include "fake/FakePlatform.h"
#include "report/ReportWriter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace norvane;
using norvane::test::FakePlatform;

namespace {

QStringList reported;

void report(const QString& message) {
    reported << message;
}

// Every child lies inside its parent and is at least as large as its text
// asks for.
void verifyNothingClipped(QWidget* dialog) {
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(dialog) || qobject_cast<QLabel*>(child) == nullptr)
            continue;
        QVERIFY2(child->width() >= child->sizeHint().width(), qPrintable(child->objectName()));
        QVERIFY2(child->parentWidget()->rect().contains(child->geometry()),
                 qPrintable(child->objectName()));
    }
}

// Runs `act` on the next modal dialog of type T once it is open.
template <typename T> void whenModal(std::function<void(T*)> act) {
    QTimer::singleShot(10, [act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            whenModal<T>(act);
        else
            act(dialog);
    });
}

// What a message box showed.
struct SeenBox {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
};

// Closes the next modal box with OK and remembers what it showed.
void answerNextBox(SeenBox* seen) {
    whenModal<QMessageBox>([=](QMessageBox* box) {
        *seen = {box->text(), box->windowTitle(), box->icon(), box->textFormat()};
        box->accept();
    });
}

// A report-style list of names behind a sorting proxy, as the main window
// shows its rows.
struct ListFixture {
    QStandardItemModel model;
    QSortFilterProxyModel sorted;
    QTableView view;
    ItemViewResourceList list{&view};

    explicit ListFixture(const QStringList& names) {
        for (const QString& name : names)
            model.appendRow(new QStandardItem(name));
        sorted.setSourceModel(&model);
        view.setModel(&sorted);
        view.resize(300, 120);
        view.show();
    }
    QString selected() const {
        const QModelIndexList rows = view.selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().data().toString() : QString();
    }
};

struct SettingsFixture {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("Norvane.conf")), QSettings::IniFormat};
    QString value(const char* name) const {
        return settings.value(QStringLiteral("FindResourceMRU/") + QLatin1String(name)).toString();
    }
};

void confirmFind(TFindDlg& dialog, const QString& text) {
    dialog.show();
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("cboName"));
    box->setEditText(text);
    dialog.findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
}

FakePlatform::EchoResult echoAfter(std::chrono::milliseconds delay) {
    FakePlatform::EchoResult echo;
    echo.delay = delay;
    return echo;
}

QString fieldText(QDialog& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QLatin1String(name))->displayText().trimmed();
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { reported.clear(); }

    void aboutBox();
    void findLayout();
    void findHitInDisplayOrder();
    void findEnterSearchesWhatWasTyped();
    void findMissIsReportedAndRemembered();
    void findCancelWritesOrderOnly();
    void findLoadFailureOpensWithWhatLoaded();
    void findWriteFailureReachesHandler();
    void pingLayout();
    void pingRunInTheDialog();
    void pingConversionErrorReachesHandler();
    void errorBoxByDefault();
    void pingCancelStopsAndCloses();
    void pingCloseBoxLetsTheRunFinish();
    void pingWithoutEchoService();
    void pingResultsTrim();
    void saveFileDialog();
    void sourcesRefuseABadLineAndKeepIt();
};

void DialogsTest::aboutBox() {
    for (int opening = 0; opening < 2; ++opening) {
        TAboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Norvane"));
        QCOMPARE(box.size(), QSize(265, 153));
        auto* icon = box.findChild<QLabel*>(QStringLiteral("ProgramIcon"));
        QVERIFY(!icon->pixmap().isNull());
        QCOMPARE(icon->geometry(), QRect(18, 18, 32, 32));
        auto* name = box.findChild<QLabel*>(QStringLiteral("lblName"));
        QCOMPARE(name->text(), QStringLiteral("Norvane"));
        QVERIFY(name->font().bold() && name->font().underline());
        QCOMPARE(name->palette().color(QPalette::WindowText), QColor(128, 0, 128));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("Version 2.1"));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("lblAuthor"))->text(),
                 QStringLiteral("Halvorix Software"));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("lblCopyright"))->text(),
                 QStringLiteral("Copyright (c) 2026 Halvorix"));
        for (const char* label : {"lblName", "lblVersion", "lblAuthor", "lblCopyright"})
            QVERIFY(qAbs(box.findChild<QLabel*>(QLatin1String(label))->geometry().center().x() -
                         132) <= 1);
        verifyNothingClipped(&box);
        box.show();
        auto* ok = box.findChild<QPushButton*>(QStringLiteral("btnOk"));
        QVERIFY(ok->isDefault());
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    }
}

void DialogsTest::findLayout() {
    ListFixture list({"\\\\A"});
    SettingsFixture store;
    store.settings.setValue(QStringLiteral("FindResourceMRU/MRUList"), QStringLiteral("ba"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/a"), QStringLiteral("older"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/b"), QStringLiteral("newer"));
    TFindDlg dialog(list.list, store.settings, nullptr, report);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Find Network Resource"));
    QCOMPARE(dialog.size(), QSize(398, 129));
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("cboName"));
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("newer"));
    QVERIFY(box->currentText().isEmpty());
    verifyNothingClipped(&dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTRY_VERIFY(box->hasFocus());
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("btnOk"))->isDefault());
}

void DialogsTest::findHitInDisplayOrder() {
    ListFixture list({"\\\\ALPHA", "\\\\beta", "\\\\Beta", "\\\\GAMMA"});
    list.sorted.sort(0, Qt::DescendingOrder); // \\beta comes before \\Beta now
    list.view.selectRow(3);
    SettingsFixture store;
    {
        TFindDlg dialog(list.list, store.settings, nullptr, report);
        confirmFind(dialog, QStringLiteral("\\\\BETA"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(list.selected(), QStringLiteral("\\\\beta"));
    QCOMPARE(list.view.currentIndex().data().toString(), QStringLiteral("\\\\beta"));
    QCOMPARE(store.value("MRUList"), QStringLiteral("a"));
    QCOMPARE(store.value("a"), QStringLiteral("\\\\BETA"));
    QVERIFY(reported.isEmpty());
}

void DialogsTest::findEnterSearchesWhatWasTyped() {
    // With a longer name remembered, typing its beginning and pressing
    // Enter once searches exactly the typed name.
    ListFixture list({"\\\\PC1", "\\\\PC10"});
    SettingsFixture store;
    store.settings.setValue(QStringLiteral("FindResourceMRU/MRUList"), QStringLiteral("a"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/a"), QStringLiteral("\\\\PC10"));
    {
        TFindDlg dialog(list.list, store.settings, nullptr, report);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QWidget* nameBox = dialog.findChild<QComboBox*>(QStringLiteral("cboName"))->lineEdit();
        QTest::keyClicks(nameBox, QStringLiteral("\\\\PC1"));
        QTest::keyClick(nameBox, Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(list.selected(), QStringLiteral("\\\\PC1"));
    QCOMPARE(store.value("MRUList"), QStringLiteral("ba"));
    QCOMPARE(store.value("b"), QStringLiteral("\\\\PC1"));
}

void DialogsTest::findMissIsReportedAndRemembered() {
    ListFixture list({"\\\\ALPHA"});
    SettingsFixture store;
    SeenBox seen;
    answerNextBox(&seen);
    {
        TFindDlg dialog(list.list, store.settings, nullptr, report);
        confirmFind(dialog, QStringLiteral("<b>ALPHA</b>"));
    }
    // What the user typed is shown as typed, never as markup.
    QCOMPARE(seen.text, QStringLiteral("Resource '<b>ALPHA</b>' not found."));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.title, QStringLiteral("Norvane"));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(store.value("a"), QStringLiteral("<b>ALPHA</b>"));
}

void DialogsTest::findCancelWritesOrderOnly() {
    ListFixture list({"\\\\ALPHA"});
    SettingsFixture store;
    store.settings.setValue(QStringLiteral("FindResourceMRU/MRUList"), QStringLiteral("cab"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/a"), QStringLiteral("A"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/b"), QStringLiteral("B"));
    {
        TFindDlg dialog(list.list, store.settings, nullptr, report);
        dialog.show();
        dialog.findChild<QComboBox*>(QStringLiteral("cboName"))
            ->setEditText(QStringLiteral("\\\\ALPHA"));
        dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QVERIFY(list.selected().isEmpty());
    QCOMPARE(store.value("MRUList"), QStringLiteral("ab"));
    QCOMPARE(store.settings.childKeys().size() + store.settings.allKeys().size(), 3);
}

void DialogsTest::findLoadFailureOpensWithWhatLoaded() {
    ListFixture list({"\\\\ALPHA"});
    SettingsFixture store;
    store.settings.setValue(QStringLiteral("FindResourceMRU/MRUList"), QStringLiteral("abc"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/a"), QStringLiteral("A"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/b"), QByteArray("B"));
    store.settings.setValue(QStringLiteral("FindResourceMRU/c"), QStringLiteral("C"));
    TFindDlg dialog(list.list, store.settings, nullptr, report);
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("cboName"));
    QCOMPARE(box->count(), 1);
    dialog.show();
    QTRY_COMPARE(reported, QStringList{"Invalid data type for 'b'"});
    QVERIFY(dialog.isVisible());
}

void DialogsTest::findWriteFailureReachesHandler() {
    ListFixture list({"\\\\ALPHA"});
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings settings(dir.filePath(QStringLiteral("blocker/Norvane.conf")), QSettings::IniFormat);
    TFindDlg dialog(list.list, settings, nullptr, report);
    dialog.show();
    dialog.findChild<QComboBox*>(QStringLiteral("cboName"))
        ->setEditText(QStringLiteral("\\\\alpha"));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
    // The search was shown before the history failed, and the dialog closed.
    QCOMPARE(list.selected(), QStringLiteral("\\\\ALPHA"));
    QVERIFY(!dialog.isVisible());
    // The entry's write fails, then the order's when the dialog closes.
    QCOMPARE(reported,
             QStringList({"Failed to set data for 'a'", "Failed to set data for 'MRUList'"}));
}

void DialogsTest::pingLayout() {
    FakePlatform platform;
    TPingDlg dialog(
        QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform, nullptr,
        report);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Ping PC1"));
    QVERIFY(dialog.width() >= 321 && dialog.height() >= 361);
    QCOMPARE(fieldText(dialog, "edtBytes"), QStringLiteral("32"));
    QCOMPARE(fieldText(dialog, "edtNumber"), QStringLiteral("4"));
    QCOMPARE(fieldText(dialog, "edtTimeOut"), QStringLiteral("1000"));
    QVERIFY(dialog.findChild<QCheckBox*>(QStringLiteral("chkFragment"))->isChecked());
    auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->isDefault());
    verifyNothingClipped(&dialog);
    for (const char* pair : {"lblBytes:edtBytes", "lblNumber:edtNumber", "lblTimeOut:edtTimeOut"}) {
        const QStringList names = QString::fromLatin1(pair).split(QLatin1Char(':'));
        QVERIFY(dialog.findChild<QLabel*>(names[0])->geometry().right() <
                dialog.findChild<QLineEdit*>(names[1])->geometry().left());
    }
    // The masks take digits only.
    auto* bytes = dialog.findChild<QLineEdit*>(QStringLiteral("edtBytes"));
    bytes->selectAll();
    QTest::keyClicks(bytes, QStringLiteral("1x2345678"));
    QCOMPARE(bytes->displayText(), QStringLiteral("12345"));
    QCOMPARE(platform.calls(), std::vector<std::string>{"icmpCreateFile()"});
}

void DialogsTest::pingRunInTheDialog() {
    FakePlatform platform;
    FakePlatform::EchoResult echo;
    echo.roundTripTime = 0;
    platform.echoes = {echo};
    int addressReads = 0;
    {
        TPingDlg dialog(
            QStringLiteral("\\\\PC1"),
            [&] {
                ++addressReads;
                return QStringLiteral("10.0.0.7");
            },
            platform);
        dialog.findChild<QLineEdit*>(QStringLiteral("edtNumber"))->setText(QStringLiteral("2"));
        dialog.show();
        QElapsedTimer timer;
        timer.start();
        dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
        // One second after each request, the last one too.
        QVERIFY(timer.elapsed() >= 2 * ping::PauseAfterRequest.count());
        QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText(),
                 QStringLiteral("Pinging PC1 [10.0.0.7] with 32 bytes of data:\n\n"
                                "Reply from 10.0.0.7: bytes=32 time<10ms TTL=128\n"
                                "Request timed out.\n"));
    }
    QCOMPARE(addressReads, 1);
    const std::vector<std::string> calls = platform.calls();
    QCOMPARE(calls.back(), std::string("icmpCloseHandle(100)"));
    QCOMPARE(std::count_if(calls.begin(), calls.end(),
                           [](const std::string& call) { return call.rfind("icmpSend", 0) == 0; }),
             2);
}

void DialogsTest::pingConversionErrorReachesHandler() {
    FakePlatform platform;
    TPingDlg dialog(
        QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform, nullptr,
        report);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("edtBytes"))->clear();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnStart")), Qt::LeftButton);
    QCOMPARE(reported, QStringList{"'' is not a valid integer value"});
    QCOMPARE(messageWithFullStop(reported.first()),
             QStringLiteral("'' is not a valid integer value."));
    QVERIFY(dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText().isEmpty());
    QVERIFY(dialog.isVisible());
}

void DialogsTest::errorBoxByDefault() {
    FakePlatform platform;
    TPingDlg dialog(
        QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("edtTimeOut"))->setText(QStringLiteral("1 2"));
    SeenBox seen;
    answerNextBox(&seen);
    dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    QCOMPARE(seen.text, QStringLiteral("'1 2' is not a valid integer value."));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.title, QStringLiteral("Norvane"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
}

void DialogsTest::pingCancelStopsAndCloses() {
    FakePlatform platform;
    using namespace std::chrono_literals;
    platform.echoes = {echoAfter(200ms), echoAfter(200ms), echoAfter(200ms), echoAfter(200ms)};
    TPingDlg dialog(
        QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform, nullptr,
        report);
    dialog.show();
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    QTimer::singleShot(100, cancel, &QPushButton::click); // while the first request waits
    dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    QCOMPARE(platform.echoes.size(), 3u);
    QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText(),
             QStringLiteral("Pinging PC1 [10.0.0.7] with 32 bytes of data:\n\n"
                            "Reply from 10.0.0.7: bytes=32 time<10ms TTL=128\n"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void DialogsTest::pingCloseBoxLetsTheRunFinish() {
    FakePlatform platform;
    TPingDlg dialog(
        QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform, nullptr,
        report);
    dialog.findChild<QLineEdit*>(QStringLiteral("edtNumber"))->setText(QStringLiteral("2"));
    dialog.show();
    bool visibleAfterClose = false;
    QTimer::singleShot(100, &dialog, [&] {
        dialog.close();
        visibleAfterClose = dialog.isVisible();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    QVERIFY(visibleAfterClose);
    QVERIFY(platform.echoes.empty());
    QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))
                 ->toPlainText()
                 .count(QStringLiteral("Request timed out.")),
             2);
    QVERIFY(!dialog.isVisible());
}

void DialogsTest::pingWithoutEchoService() {
    FakePlatform platform;
    platform.icmpAvailable = false;
    {
        TPingDlg dialog(
            QStringLiteral("\\\\PC1"), [] { return QStringLiteral("10.0.0.7"); }, platform, nullptr,
            report);
        dialog.show();
        auto* start = dialog.findChild<QPushButton*>(QStringLiteral("btnStart"));
        start->click();
        start->click();
        QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText(),
                 QStringLiteral("Error: Could not initialize icmp.dll.\n"
                                "Error: Could not initialize icmp.dll."));
    }
    // An invalid handle is never closed.
    QCOMPARE(platform.calls(), std::vector<std::string>{"icmpCreateFile()"});
}

void DialogsTest::pingResultsTrim() {
    QPlainTextEdit memo;
    MemoOutput output(&memo);
    output.appendLine(QStringLiteral("one"));
    output.appendLine(QString());
    output.appendLine(QStringLiteral("three"));
    output.deleteFirstLine();
    QCOMPARE(output.lineCount(), 2);
    QCOMPARE(memo.toPlainText(), QStringLiteral("\nthree"));
    output.deleteFirstLine();
    output.deleteFirstLine();
    QCOMPARE(output.lineCount(), 0);
    QVERIFY(memo.toPlainText().isEmpty());
    output.appendLine(QStringLiteral("again"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("again"));
}

void DialogsTest::saveFileDialog() {
    // The first Save of a run, as the user meets it: Enter as the dialog
    // opens, then on a pattern, writes nothing and keeps the dialog open;
    // a name then saves.
    QTemporaryDir dir;
    QWidget owner;
    SaveFileDialogs dialogs(&owner);
    SaveCommands commands(dialogs, [](const QString& fileName, bool overwrite) {
        SaveReport(fileName, overwrite, rtComputer, columnCaptions(rtComputer), {});
    });
    // Types `name` into the name box as the user does and presses Enter;
    // whether the dialog stayed open.
    const auto enter = [](QFileDialog* dialog, const QString& name) {
        auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        nameBox->clear();
        QTest::keyClicks(nameBox, name);
        QTest::keyClick(nameBox, Qt::Key_Return);
        return dialog->isVisible();
    };
    QStringList stayedOpenOn;
    const auto drive = [&](QFileDialog* dialog) {
        QCOMPARE(dialog->nameFilters(), QStringList{"Norvane Files (*.nrv)"});
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog->defaultSuffix().isEmpty());
        QVERIFY(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text().isEmpty());
        dialog->setDirectory(dir.path()); // where the names typed below go
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        for (const QString& name : {QString(), QStringLiteral("*.nrv")}) {
            if (enter(dialog, name))
                stayedOpenOn << name;
        }
        QCOMPARE(dialog->nameFilters(), QStringList{"*.nrv"}); // the pattern filters
        enter(dialog, QStringLiteral("report"));
    };
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        drive(dialog);
        if (dialog->isVisible()) // a failed check above must not leave it open
            dialog->reject();
    });
    commands.actSaveExecute();
    QCOMPARE(stayedOpenOn, QStringList({QString(), QStringLiteral("*.nrv")}));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.nrv"});
    QCOMPARE(commands.fileName(), dir.filePath(QStringLiteral("report.nrv")));

    // A later Save As shows the remembered name; closing the dialog cancels.
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        QCOMPARE(dialog->selectedFiles(), QStringList{commands.fileName()});
        dialog->close();
    });
    QCOMPARE(dialogs.askFileName(commands.fileName()), std::optional<QString>());
}

// A refused range line is named and selected, nothing typed is lost and
// nothing is written; mended, every value reaches the settings and the
// options a scan hands to its sources.
void DialogsTest::sourcesRefuseABadLineAndKeepIt() {
    SettingsFixture store;
    store.settings.setValue(QStringLiteral("Sources/AddressRanges"),
                            QStringList{QStringLiteral("10.9.0.0/30")});
    store.settings.setValue(QStringLiteral("Sources/ProbesPerSecond"), QStringLiteral("fast"));
    TSourcesDlg dialog(store.settings);
    dialog.show();
    verifyNothingClipped(&dialog);
    auto* ranges = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memRanges"));
    auto* rate = dialog.findChild<QSpinBox*>(QStringLiteral("spnRate"));
    auto* domain = dialog.findChild<QLineEdit*>(QStringLiteral("edtDomain"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOk"));
    QCOMPARE(ranges->toPlainText(), QStringLiteral("10.9.0.0/30"));
    QCOMPARE(rate->value(), 1000); // an unreadable rate keeps the default

    const QString typed = QStringLiteral("10.9.0.0/30\n\n  10.1.0.0/16 \n10.0.0.0/15\n");
    ranges->setPlainText(typed);
    rate->setValue(250);
    domain->setText(QStringLiteral(" corp.example "));
    ok->click();
    QVERIFY(dialog.isVisible());
    QVERIFY2(dialog.refusal().startsWith(
                 QStringLiteral("Line 4: 10.0.0.0/15: 131072 addresses, more than the 65536")),
             qPrintable(dialog.refusal()));
    QCOMPARE(ranges->toPlainText(), typed);
    QCOMPARE(ranges->textCursor().selectedText(), QStringLiteral("10.0.0.0/15"));
    QCOMPARE(SourceSettings::read(store.settings).ranges, QStringList{"10.9.0.0/30"});

    ranges->setPlainText(QStringLiteral("10.9.0.0/30\n\n  10.1.0.0/16 \n10.0.0.5-10.0.0.9\n"));
    ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const SourceSettings saved = SourceSettings::read(store.settings);
    QCOMPARE(saved.ranges, (QStringList{"10.9.0.0/30", "10.1.0.0/16", "10.0.0.5-10.0.0.9"}));
    QCOMPARE(saved.probesPerSecond, 250u);
    QCOMPARE(saved.domain, QStringLiteral("corp.example"));
    const SourceOptions options = saved.options();
    QCOMPARE(options.ranges.size(), 3u);
    QCOMPARE(options.ranges[0], (AddressRange{.first = 0x0A090001, .last = 0x0A090002}));
    QCOMPARE(options.probesPerSecond, 250u);
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
