// The main window's commands: their states during and after a scan and per
// selected row, the view toggles, the menus and their buttons, shortcuts
// from the list and from the resource box, the dialogs they open, and the
// general error handler.

#include "TestWindow.h"
#include "common/AppError.h"
#include "dialogs/TAboutBox.h"
#include "dialogs/TFindDlg.h"
#include "dialogs/TPingDlg.h"
#include "widgets/CoolBar.h"
#include "widgets/ResourceComboBox.h"
#include "widgets/ResourceListView.h"
#include "widgets/StatusPanels.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>

#include <latch>
#include <thread>

using namespace norvane;
using namespace norvane::test;

namespace {

// Rejects every dialog that opens modally while it lives, keeping the class
// name of each.
class DialogCloser : public QObject {
public:
    QStringList opened;

    DialogCloser() {
        m_timer.setInterval(MessageBoxCloser::PollMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened << QString::fromLatin1(dialog->metaObject()->className());
                dialog->reject();
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// Runs `handle` on the next modal dialog of type T once it is open; gives
// up when `owner` goes.
template <typename T, typename Handle> void whenOpen(QObject* owner, Handle handle) {
    auto* poll = new QTimer(owner);
    poll->setInterval(MessageBoxCloser::PollMs);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(dialog);
        }
    });
    poll->start();
}

// Records the name of every menu of `window` that drops down and closes it
// again.
class MenuCloser : public QObject {
public:
    QStringList opened;

    explicit MenuCloser(QWidget* window) {
        for (QMenu* menu : window->findChildren<QMenu*>()) {
            QObject::connect(menu, &QMenu::aboutToShow, this, [this, menu] {
                opened << menu->objectName();
                // The menu is shown only after this signal.
                auto* poll = new QTimer(menu);
                poll->setInterval(MessageBoxCloser::PollMs);
                QObject::connect(poll, &QTimer::timeout, menu, [menu, poll] {
                    if (menu->isVisible()) {
                        poll->stop();
                        poll->deleteLater();
                        menu->close();
                    }
                });
                poll->start();
            });
        }
    }
};

// Types a name into the save-file dialog's name box and confirms it.
void typeFileName(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name != nullptr);
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept();
}

QStringList menuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void statesDuringAndAfterScan();
    void findNeedsRows();
    void pingFollowsSelection_data();
    void pingFollowsSelection();
    void viewToggles();
    void checksFollowTheControlsAtIdle();
    void menus();
    void menuButtonsOpenTheirMenus_data();
    void menuButtonsOpenTheirMenus();
    void toolButtons();
    void shortcuts_data();
    void shortcuts();
    void saveAndSaveAs();
    void saveFailureGoesToTheErrorBox();
    void findUsesTheWindowSettings();
    void aboutAndExit();
    void commandErrorsShowTheBox();
};

// Save and Save As follow the animation; Ctrl+S does nothing during a scan.
void TestCommands::statesDuringAndAfterScan() {
    Window w;
    buildSmallNetwork(w.fake);
    std::latch inScan(1);
    std::latch release(1);
    w.fake.onCall = [&](const std::string& call) {
        if (call == "getHostByName(GAMMA)") {
            inScan.count_down();
            release.wait();
        }
    };
    // A failing check must not leave the walk held while the window closes.
    const auto releaseOnExit = qScopeGuard([&release] {
        if (!release.try_wait())
            release.count_down();
    });
    w.create();
    w.form->show();
    inScan.wait();
    QTRY_COMPARE(w.form->model().rowCount(), 3);
    idle();
    QVERIFY(!parts(*w.form).actSave->isEnabled());
    QVERIFY(!parts(*w.form).actSaveAs->isEnabled());
    QVERIFY(parts(*w.form).actFind->isEnabled());
    QVERIFY(parts(*w.form).actGo->isEnabled());
    QVERIFY(parts(*w.form).actStop->isEnabled());
    QVERIFY(parts(*w.form).actRefresh->isEnabled());
    QVERIFY(parts(*w.form).actAbout->isEnabled());
    QVERIFY(parts(*w.form).actExit->isEnabled());
    QVERIFY(!parts(*w.form).toolBar->widgetForAction(parts(*w.form).actSave)->isEnabled());
    {
        DialogCloser closer;
        QTest::keyClick(parts(*w.form).listView, Qt::Key_S, Qt::ControlModifier);
        idle();
        QCOMPARE(closer.opened, QStringList());
    }
    release.count_down();
    QVERIFY(w.waitIdle());
    idle();
    QVERIFY(parts(*w.form).actSave->isEnabled());
    QVERIFY(parts(*w.form).actSaveAs->isEnabled());
    QVERIFY(parts(*w.form).toolBar->widgetForAction(parts(*w.form).actSave)->isEnabled());
}

void TestCommands::findNeedsRows() {
    Window w;
    buildSmallNetwork(w.fake);
    w.fake.provider.enumError = win::NoBrowserServersFound;
    MessageBoxCloser closer;
    w.create();
    QVERIFY(w.showAndWait());
    idle();
    QCOMPARE(w.form->model().rowCount(), 0);
    QVERIFY(!parts(*w.form).actFind->isEnabled());
    QVERIFY(!parts(*w.form).actPing->isEnabled());
    QVERIFY(parts(*w.form).actSave->isEnabled());
}

void TestCommands::pingFollowsSelection_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("resolved computer") << 0 << 0 << true;
    QTest::newRow("unresolved computer") << 0 << 1 << false;
    QTest::newRow("no selection") << 0 << -1 << false;
    QTest::newRow("shared folder") << 1 << 0 << false;
}

// Ping's state, its tool button and Ctrl+I follow the selected row.
void TestCommands::pingFollowsSelection() {
    QFETCH(int, type);
    QFETCH(int, row);
    QFETCH(bool, enabled);
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(type);
    QVERIFY(w.showAndWait());
    parts(*w.form).listView->clearSelection();
    if (row >= 0)
        parts(*w.form).listView->selectRow(row);
    idle();
    QCOMPARE(parts(*w.form).actPing->isEnabled(), enabled);
    QCOMPARE(parts(*w.form).toolBar->widgetForAction(parts(*w.form).actPing)->isEnabled(), enabled);
    QTest::keyClick(parts(*w.form).listView, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(w.pinged.size(), enabled ? 1 : 0);
}

// The View toggles hide and show their bars; the resource bar goes with
// its band.
void TestCommands::viewToggles() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    TMainForm& form = *w.form;
    const int listHeight = parts(form).listView->height();
    QCOMPARE(parts(form).coolBar->rowCount(), 3);
    // The resource box leaves room for the Go button at the bar's right.
    QCOMPARE(parts(form).cboResource->width(), parts(form).resourceBar->width() - 43 - 2);
    QCOMPARE(parts(form).btnGo->geometry().right(), parts(form).resourceBar->width() - 1);
    form.resize(400, form.height());
    QTRY_COMPARE(parts(form).cboResource->width(), parts(form).resourceBar->width() - 43 - 2);

    parts(form).actResourceBar->trigger();
    QVERIFY(!parts(form).coolBar->isBandVisible(
        parts(form).coolBar->bandIndexOf(parts(form).resourceBar)));
    QVERIFY(parts(form).resourceBar->isHidden());
    QCOMPARE(parts(form).coolBar->rowCount(), 2);
    parts(form).actToolBar->trigger();
    QVERIFY(parts(form).psToolBar->isHidden());
    QCOMPARE(parts(form).coolBar->rowCount(), 1);
    parts(form).actStatusBar->trigger();
    QVERIFY(parts(form).statusBar->isHidden());
    idle();
    QVERIFY(!parts(form).actResourceBar->isChecked());
    QVERIFY(!parts(form).actToolBar->isChecked());
    QVERIFY(!parts(form).actStatusBar->isChecked());
    // The list takes the room the bars gave up.
    QTRY_VERIFY(parts(form).listView->height() > listHeight);

    for (QAction* action :
         {parts(form).actResourceBar, parts(form).actToolBar, parts(form).actStatusBar})
        action->trigger();
    idle();
    QCOMPARE(parts(form).coolBar->rowCount(), 3);
    QVERIFY(!parts(form).statusBar->isHidden());
    QVERIFY(parts(form).actResourceBar->isChecked());
    QVERIFY(parts(form).actToolBar->isChecked());
    QVERIFY(parts(form).actStatusBar->isChecked());
}

// The checks are recomputed when the application becomes idle, whoever
// changed the controls.
void TestCommands::checksFollowTheControlsAtIdle() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    TMainForm& form = *w.form;
    parts(form).resourceBar->hide();
    parts(form).statusBar->hide();
    parts(form).listView->setGridLines(true);
    parts(form).listView->setRowSelect(true);
    QVERIFY(parts(form).actResourceBar->isChecked());
    idle();
    QVERIFY(!parts(form).actResourceBar->isChecked());
    QVERIFY(!parts(form).actStatusBar->isChecked());
    QVERIFY(parts(form).actToolBar->isChecked());
    QVERIFY(parts(form).actGridLines->isChecked());
    QVERIFY(parts(form).actRowSelect->isChecked());
    QVERIFY(!parts(form).actHotTrack->isChecked());
}

void TestCommands::menus() {
    Window w;
    w.create();
    TMainForm& form = *w.form;
    QCOMPARE(menuTexts(parts(form).mnuFile),
             (QStringList{"&Save", "Save &As...", "-", "&History...", "-", "E&xit"}));
    QCOMPARE(menuTexts(parts(form).mnuView),
             (QStringList{"&Toolbars", "Status &Bar", "-", "&GridLines", "&HotTrack", "Ro&wSelect",
                          "-", "&Go", "Sto&p", "&Refresh", "-", "&Changes..."}));
    QCOMPARE(menuTexts(parts(form).mnuToolbars),
             (QStringList{"&Standart Buttons", "&Resource Bar"}));
    QCOMPARE(
        menuTexts(parts(form).mnuResource),
        (QStringList{"&Find", "P&ing", "-", "Other &Subnets...", "Forget Remembered &Log-ons"}));
    QCOMPARE(menuTexts(parts(form).mnuHelp), QStringList{"&About Norvane..."});
    QCOMPARE(menuTexts(parts(form).popupMenu),
             (QStringList{"&GridLines", "&HotTrack", "Ro&wSelect"}));
    const std::pair<QAction*, const char*> categories[] = {
        {parts(form).actSave, "File"},     {parts(form).actExit, "File"},
        {parts(form).actToolBar, "View"},  {parts(form).actRefresh, "View"},
        {parts(form).actFind, "Resource"}, {parts(form).actPing, "Resource"},
        {parts(form).actAbout, "Help"},    {parts(form).actGridLines, "ListView"}};
    for (const auto& [action, category] : categories)
        QCOMPARE(action->property("category").toString(), QString::fromLatin1(category));
    // The menus show captions without images.
    QVERIFY(!parts(form).actSave->isIconVisibleInMenu());
}

void TestCommands::menuButtonsOpenTheirMenus_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("from");
    const std::tuple<const char*, Qt::Key, const char*> buttons[] = {
        {"btnFile", Qt::Key_F, "mnuFile"},
        {"btnView", Qt::Key_V, "mnuView"},
        {"btnResource", Qt::Key_R, "mnuResource"},
        {"btnHelp", Qt::Key_H, "mnuHelp"}};
    for (const auto& [button, key, menu] : buttons) {
        for (const char* from : {"ListView", "cboResource", "click"})
            QTest::addRow("%s %s", button, from) << button << int(key) << menu << from;
    }
}

// A click on a menu button and Alt with its letter, from the list or from
// the resource box, drop its menu down.
void TestCommands::menuButtonsOpenTheirMenus() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QString, menu);
    QFETCH(QString, from);
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    auto* toolButton = w.form->findChild<QToolButton*>(button);
    QVERIFY(toolButton != nullptr);
    QVERIFY(toolButton->toolTip().isEmpty());
    MenuCloser closer(w.form.get());
    // Twice: the menu closes and drops down again.
    for (const int times : {1, 2}) {
        if (from == "click") {
            QTest::mouseClick(toolButton, Qt::LeftButton);
        } else {
            auto* target = w.form->findChild<QWidget*>(from);
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key), Qt::AltModifier);
        }
        QTRY_COMPARE(closer.opened.size(), times);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QTRY_VERIFY(!toolButton->isDown());
    }
    QTRY_COMPARE(closer.opened, (QStringList{menu, menu}));
}

void TestCommands::toolButtons() {
    Window w;
    w.create();
    TMainForm& form = *w.form;
    QStringList names;
    for (QAction* action : parts(form).toolBar->actions())
        names << (action->isSeparator()
                      ? QStringLiteral("-")
                      : parts(form).toolBar->widgetForAction(action)->objectName());
    QCOMPARE(names,
             (QStringList{"btnSave", "-", "btnStop", "btnRefresh", "-", "btnFind", "btnPing"}));
    // Tips are the hints alone, without the shortcut.
    auto* save =
        qobject_cast<QToolButton*>(parts(form).toolBar->widgetForAction(parts(form).actSave));
    QCOMPARE(save->toolTip(), QStringLiteral("Save"));
    QCOMPARE(save->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QVERIFY(save->autoRaise());
    // Grey images normally, coloured ones under the pointer.
    const QIcon icon = parts(form).actSave->icon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.pixmap(16, QIcon::Normal).toImage() != icon.pixmap(16, QIcon::Active).toImage());
    QCOMPARE(parts(form).btnGo->text(), QStringLiteral("Go"));
    QCOMPARE(parts(form).btnGo->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
}

void TestCommands::shortcuts_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialog");
    const std::tuple<QKeySequence, const char*, const char*> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_S), "actSave", "QFileDialog"},
        {QKeySequence(Qt::Key_Escape), "actStop", ""},
        {QKeySequence(Qt::Key_F5), "actRefresh", ""},
        {QKeySequence(Qt::CTRL | Qt::Key_F), "actFind", "norvane::TFindDlg"},
        {QKeySequence(Qt::CTRL | Qt::Key_I), "actPing", "norvane::TPingDlg"},
        {QKeySequence(Qt::CTRL | Qt::Key_G), "actGridLines", ""},
        {QKeySequence(Qt::CTRL | Qt::Key_H), "actHotTrack", ""},
        {QKeySequence(Qt::CTRL | Qt::Key_R), "actRowSelect", ""},
    };
    for (const char* from : {"ListView", "cboResource"}) {
        for (const auto& [keys, action, dialog] : table)
            QTest::addRow("%s %s", action, from) << from << keys << action << dialog;
    }
}

// Every shortcut reaches its command from the list and from the resource box.
void TestCommands::shortcuts() {
    QFETCH(QString, from);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, action);
    QFETCH(QString, dialog);
    Window w;
    buildSmallNetwork(w.fake);
    w.create(false);
    QVERIFY(w.showAndWait());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    parts(*w.form).listView->selectRow(0);
    idle();
    auto* command = w.form->findChild<QAction*>(action);
    QVERIFY(command != nullptr);
    QCOMPARE(command->shortcut(), keys);
    QSignalSpy triggered(command, &QAction::triggered);
    auto* target = w.form->findChild<QWidget*>(from);
    target->setFocus();
    DialogCloser closer;
    QTest::keySequence(target, keys);
    QCOMPARE(triggered.size(), 1);
    QVERIFY(w.waitIdle());
    QCOMPARE(closer.opened, dialog.isEmpty() ? QStringList() : QStringList{dialog});
}

// Save As starts a report file from the list in its current order; Save
// appends the next block to it without asking.
void TestCommands::saveAndSaveAs() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QTest::mouseClick(parts(*w.form).listView->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(10, 5));
    QCOMPARE(w.form->model().rows().back().caption, QStringLiteral("\\\\GAMMA"));
    const QString path = w.home.filePath(QStringLiteral("net.nrv"));
    whenOpen<QFileDialog>(w.form.get(),
                          [path](QFileDialog* dialog) { typeFileName(dialog, path); });
    parts(*w.form).actSaveAs->trigger();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    file.close();
    QVERIFY(first.contains("IP Address"));
    QVERIFY(first.indexOf("\\\\ALPHA") < first.indexOf("\\\\beta"));
    QVERIFY(first.indexOf("\\\\DELTA") < first.indexOf("\\\\GAMMA"));

    DialogCloser closer;
    parts(*w.form).actSave->trigger();
    QCOMPARE(closer.opened, QStringList());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), 2 * first.size());
}

void TestCommands::saveFailureGoesToTheErrorBox() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    const QString path = w.home.filePath(QStringLiteral("missing/net.nrv"));
    whenOpen<QFileDialog>(w.form.get(),
                          [path](QFileDialog* dialog) { typeFileName(dialog, path); });
    MessageBoxCloser closer;
    parts(*w.form).actSaveAs->trigger();
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts.first().endsWith(QLatin1Char('.')), qPrintable(closer.texts.first()));
    // The program goes on.
    parts(*w.form).actRefresh->trigger();
    QVERIFY(w.waitIdle());
    QCOMPARE(w.completions.size(), 2);
}

// Find searches the list and keeps its history in the window's settings.
void TestCommands::findUsesTheWindowSettings() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    whenOpen<TFindDlg>(w.form.get(), [](TFindDlg* dialog) {
        auto* name = dialog->findChild<QComboBox*>(QStringLiteral("cboName"));
        name->setCurrentText(QStringLiteral("\\\\delta"));
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    });
    parts(*w.form).actFind->trigger();
    QCOMPARE(parts(*w.form).listView->selectedRow(), 3);
    w.close();
    const auto stored = w.settings();
    QCOMPARE(stored->value(QStringLiteral("FindResourceMRU/a")).toString(),
             QStringLiteral("\\\\delta"));
}

void TestCommands::aboutAndExit() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QVERIFY(!w.form->windowIcon().isNull());
    DialogCloser closer;
    parts(*w.form).actAbout->trigger();
    QCOMPARE(closer.opened, QStringList{"norvane::TAboutBox"});
    parts(*w.form).actExit->trigger();
    QVERIFY(!w.form->isVisible());
}

// An error that leaves a command is shown with its full stop, and the
// window goes on.
void TestCommands::commandErrorsShowTheBox() {
    Window w;
    w.create();
    MessageBoxCloser closer;
    w.form->runCommand([] { throw AppError(QStringLiteral("Disk full")); });
    w.form->runCommand([] { throw std::runtime_error("Out of range."); });
    QCOMPARE(closer.texts, (QStringList{"Disk full.", "Out of range."}));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
