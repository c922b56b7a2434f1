#pragma once

// The main window's commands and controls, found by their object names as a
// user's tools would find them.

#include "mainwindow/TMainForm.h"
#include "widgets/CoolBar.h"
#include "widgets/ResourceComboBox.h"
#include "widgets/ResourceListView.h"
#include "widgets/StatusPanels.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolBar>
#include <QToolButton>

namespace norvane::test {

template <typename T> T* partNamed(const TMainForm& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT_X(found != nullptr, "partNamed", name);
    return found;
}

struct FormParts {
    explicit FormParts(const TMainForm& form)
        : actSave(partNamed<QAction>(form, "actSave")),
          actSaveAs(partNamed<QAction>(form, "actSaveAs")),
          actExit(partNamed<QAction>(form, "actExit")),
          actToolBar(partNamed<QAction>(form, "actToolBar")),
          actResourceBar(partNamed<QAction>(form, "actResourceBar")),
          actStatusBar(partNamed<QAction>(form, "actStatusBar")),
          actGo(partNamed<QAction>(form, "actGo")), actStop(partNamed<QAction>(form, "actStop")),
          actRefresh(partNamed<QAction>(form, "actRefresh")),
          actFind(partNamed<QAction>(form, "actFind")),
          actPing(partNamed<QAction>(form, "actPing")),
          actAbout(partNamed<QAction>(form, "actAbout")),
          actGridLines(partNamed<QAction>(form, "actGridLines")),
          actHotTrack(partNamed<QAction>(form, "actHotTrack")),
          actRowSelect(partNamed<QAction>(form, "actRowSelect")),
          coolBar(partNamed<CoolBar>(form, "CoolBar")),
          psMenuBar(partNamed<QWidget>(form, "psMenuBar")),
          menuBar(partNamed<QToolBar>(form, "MenuBar")),
          btnFile(partNamed<QToolButton>(form, "btnFile")),
          btnView(partNamed<QToolButton>(form, "btnView")),
          btnResource(partNamed<QToolButton>(form, "btnResource")),
          btnHelp(partNamed<QToolButton>(form, "btnHelp")),
          mnuFile(partNamed<QMenu>(form, "mnuFile")), mnuView(partNamed<QMenu>(form, "mnuView")),
          mnuToolbars(partNamed<QMenu>(form, "mnuToolbars")),
          mnuResource(partNamed<QMenu>(form, "mnuResource")),
          mnuHelp(partNamed<QMenu>(form, "mnuHelp")), animate(partNamed<QLabel>(form, "Animate")),
          psToolBar(partNamed<QWidget>(form, "psToolBar")),
          toolBar(partNamed<QToolBar>(form, "ToolBar")),
          resourceBar(partNamed<QToolBar>(form, "ResourceBar")),
          cboResource(partNamed<ResourceComboBox>(form, "cboResource")),
          btnGo(partNamed<QToolButton>(form, "btnGo")),
          splitter(partNamed<CoolBarSplitter>(form, "Splitter")),
          listView(partNamed<ResourceListView>(form, "ListView")),
          popupMenu(partNamed<QMenu>(form, "PopupMenu")),
          statusBar(partNamed<StatusPanels>(form, "StatusBar")),
          progressBar(partNamed<QProgressBar>(form, "ProgressBar")) {}

    QAction* actSave;
    QAction* actSaveAs;
    QAction* actExit;
    QAction* actToolBar;
    QAction* actResourceBar;
    QAction* actStatusBar;
    QAction* actGo;
    QAction* actStop;
    QAction* actRefresh;
    QAction* actFind;
    QAction* actPing;
    QAction* actAbout;
    QAction* actGridLines;
    QAction* actHotTrack;
    QAction* actRowSelect;
    CoolBar* coolBar;
    QWidget* psMenuBar;
    QToolBar* menuBar;
    QToolButton* btnFile;
    QToolButton* btnView;
    QToolButton* btnResource;
    QToolButton* btnHelp;
    QMenu* mnuFile;
    QMenu* mnuView;
    QMenu* mnuToolbars;
    QMenu* mnuResource;
    QMenu* mnuHelp;
    QLabel* animate;
    QWidget* psToolBar;
    QToolBar* toolBar;
    QToolBar* resourceBar;
    ResourceComboBox* cboResource;
    QToolButton* btnGo;
    CoolBarSplitter* splitter;
    ResourceListView* listView;
    QMenu* popupMenu;
    StatusPanels* statusBar;
    QProgressBar* progressBar;
};

inline FormParts parts(const TMainForm& form) {
    return FormParts(form);
}

} // namespace norvane::test
