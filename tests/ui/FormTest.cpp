// The main window at rest: its frame, the Go button's enabling, the file-type list and its dialog, and the
// checks made before a search starts.

#include "common/QtTestUtil.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <memory>

using testutil::Child;
using testutil::OnNextModal;
using testutil::TBoxAnswers;

class FormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> Form;

    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }
    QString Texts() {
        QStringList Texts;
        for (int I = 0; I < Masks()->count(); ++I)
            Texts << (Masks()->item(I)->checkState() == Qt::Checked ? "+" : "") + Masks()->item(I)->text();
        return Texts.join(", ");
    }

    // Adds a type through "+" and the dialog; Ok false cancels it instead.
    void AddType(const QString& Description, const QString& Extension, bool Enable, bool Ok = true) {
        OnNextModal([=](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), Description);
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), Extension);
            Child<QCheckBox>(Dlg, "CheckChk")->setChecked(Enable);
            QTest::mouseClick(Child<QPushButton>(Dlg, Ok ? "OKBtn" : "BitBtn2"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
    }

private slots:
    void init() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
    }
    void cleanup() { Form.reset(); }

    void FrameAndGoButton() {
        const QString Program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(Form->windowTitle(),
                 Program.left(Program.indexOf('.')) +
                     " Locates files within Archives which contain a specific string of text.");
        QCOMPARE(Form->size(), QSize(639, 460));
        QCOMPARE(Form->minimumSize(), Form->maximumSize());
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Go needs both texts.
        QPushButton* Go = Button("GoBtn");
        Combo("SearchPath")->setEditText("");
        QTest::keyClicks(Combo("SearchStr"), "needle");
        QVERIFY(!Go->isEnabled());
        QTest::keyClicks(Combo("SearchPath"), "/tmp");
        QVERIFY(Go->isEnabled());
        Combo("SearchStr")->setEditText("");
        QVERIFY(!Go->isEnabled());
    }

    void TickingTypes() {
        QCOMPARE(Texts(),
                 QString("All Files (*.*), Pascal Files (*.pas), Delphi Forms (*.dfm), C Files (*.c), "
                         "Text Files (*.txt), HTML Files (*.htm)"));
        // "All Files" ticks every type; unticking it, or ticking another, changes nothing else.
        Masks()->item(0)->setCheckState(Qt::Checked);
        Masks()->item(0)->setCheckState(Qt::Unchecked);
        Masks()->item(1)->setCheckState(Qt::Unchecked);
        Masks()->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(Texts(),
                 QString("All Files (*.*), +Pascal Files (*.pas), +Delphi Forms (*.dfm), +C Files (*.c), "
                         "+Text Files (*.txt), +HTML Files (*.htm)"));
    }

    void AddingTypes() {
        AddType("ZIP Files", "zip", true);
        QCOMPARE(Masks()->currentItem()->text(), QString("ZIP Files (*.zip)"));
        // A duplicate apart from letter case is refused; Cancel adds nothing; an unticked type comes
        // unticked.
        AddType("c files", "C", true);
        AddType("Doc Files", "doc", true, false);
        AddType("", "md", false);
        // OK without an extension keeps the dialog open; a mask typed there means its extension.
        bool StayedOpen = false;
        OnNextModal([&](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), "Long");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
            StayedOpen = Dlg->isVisible();
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), "*.json");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
        QVERIFY(StayedOpen);
        QCOMPARE(Texts(),
                 QString("All Files (*.*), Pascal Files (*.pas), Delphi Forms (*.dfm), C Files (*.c), "
                         "Text Files (*.txt), HTML Files (*.htm), +ZIP Files (*.zip),  (*.md), "
                         "Long (*.json)"));
    }

    void DeletingTypes() {
        TBoxAnswers Boxes({idOK, idNo, idYes});
        QListWidget* List = Masks();
        QPushButton* Del = Button("DelMaskBtn");
        QVERIFY(!Del->isEnabled());
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(0)).center());
        QVERIFY(Del->isEnabled());
        QTest::mouseClick(Del, Qt::LeftButton); // "All Files" stays
        List->setCurrentRow(3);
        QTest::mouseClick(Del, Qt::LeftButton); // answered No
        QTest::mouseClick(Del, Qt::LeftButton); // answered Yes
        // Nothing is current after a deletion, so "-" does nothing.
        QTest::mouseClick(Del, Qt::LeftButton);
        QCOMPARE(Texts(),
                 QString("All Files (*.*), Pascal Files (*.pas), Delphi Forms (*.dfm), Text Files (*.txt), "
                         "HTML Files (*.htm)"));
        QCOMPARE(Boxes.Texts, std::vector<std::string>({"This File Mask can not be removed.",
                                                        "Permanently Delete \"C Files (*.c)\"",
                                                        "Permanently Delete \"C Files (*.c)\""}));
    }

    void NoTypeTicked() {
        TBoxAnswers Boxes;
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        Combo("SearchStr")->setEditText("needle");
        Combo("SearchPath")->setEditText("/tmp");
        const int Paths = Combo("SearchPath")->count();
        // A ticked type whose text holds no "(...)" gives no mask.
        Masks()->item(2)->setText("No mask here");
        Masks()->item(2)->setCheckState(Qt::Checked);
        QTest::mouseClick(Button("GoBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"You must enable (check) at least one file type to examine."}));
        QCOMPARE(QApplication::focusWidget(), Masks());
        QVERIFY(!Form->Seeker().Running());
        for (const char* Name : {"SearchStr", "SearchPath", "CaseChk", "MaskTypes", "GoBtn", "TreeView1"})
            QVERIFY2(Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        QCOMPARE(Combo("SearchPath")->count(), Paths);
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
