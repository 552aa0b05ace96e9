#pragma once
// Helpers for the window tests (QtTest, offscreen platform).

#include "common/TestUtil.h"
#include "platform/IniFiles.h"
#include "ui/arcscanu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <cstdio>

namespace testutil {

// The named child control of a form; the test stops when it is missing.
template <class T> T* Child(const QObject* Form, const char* Name) {
    T* W = Form->findChild<T*>(Name);
    if (!W)
        qFatal("no control %s", Name);
    return W;
}

// Runs F on the next modal dialog once it is shown (for code that calls exec()).
inline void OnNextModal(std::function<void(QWidget*)> F) {
    auto* Poll = new QTimer;
    QObject::connect(Poll, &QTimer::timeout, [Poll, F = std::move(F)] {
        if (QWidget* Modal = QApplication::activeModalWidget()) {
            Poll->stop();
            Poll->deleteLater();
            F(Modal);
        }
    });
    Poll->start(10);
}

// Node texts of a tree, children indented by two spaces.
inline QStringList TreeTexts(const QTreeWidget* Tree) {
    QStringList Texts;
    for (int I = 0; I < Tree->topLevelItemCount(); ++I) {
        const QTreeWidgetItem* Root = Tree->topLevelItem(I);
        Texts << Root->text(0);
        for (int J = 0; J < Root->childCount(); ++J)
            Texts << "  " + Root->child(J)->text(0);
    }
    return Texts;
}

// The settings file of the test program's windows.
inline std::string SettingsFile() {
    return SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
}

// A main window, shown (null when it never got on screen); unless KeepSettings, as on a first run.
inline std::unique_ptr<TForm1> ShowForm(bool KeepSettings = false) {
    if (!KeepSettings)
        std::remove(SettingsFile().c_str());
    auto Form = std::make_unique<TForm1>();
    Form->show();
    if (!QTest::qWaitForWindowExposed(Form.get()))
        Form.reset();
    return Form;
}

// Types in the text and folder, ticks exactly the types named and "Include sub-Folders", and presses Go.
inline void StartSearch(TForm1* Form, const QString& Text, const QString& Folder, const QStringList& Types) {
    Child<QAbstractButton>(Form, "SubFoldersChk")->setChecked(true);
    Child<QComboBox>(Form, "SearchStr")->setEditText(Text);
    Child<QComboBox>(Form, "SearchPath")->setEditText(Folder);
    auto* Masks = Child<QListWidget>(Form, "MaskTypes");
    for (int I = 0; I < Masks->count(); ++I)
        Masks->item(I)->setCheckState(Types.contains(Masks->item(I)->text()) ? Qt::Checked : Qt::Unchecked);
    QTest::mouseClick(Child<QPushButton>(Form, "GoBtn"), Qt::LeftButton);
}

// Handles events until the running search has ended; false when it did not within a minute.
inline bool WaitForSearchEnd(TForm1* Form) {
    QSignalSpy Ended(Form, &TForm1::SearchEnded);
    return Ended.wait(60000) && !Form->Seeker().Running();
}

} // namespace testutil
