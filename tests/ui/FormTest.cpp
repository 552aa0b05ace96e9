// The main window at rest: its controls, the Go button's enabling, the file-type list and its dialog, and
// the checks made before a search starts.

#include "common/QtTestUtil.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>

using testutil::Child;
using testutil::OnNextModal;
using testutil::TBoxAnswers;

namespace {

QStringList ItemTexts(const QListWidget* List) {
    QStringList Texts;
    for (int I = 0; I < List->count(); ++I)
        Texts << List->item(I)->text();
    return Texts;
}

QList<Qt::CheckState> Checks(const QListWidget* List) {
    QList<Qt::CheckState> States;
    for (int I = 0; I < List->count(); ++I)
        States << List->item(I)->checkState();
    return States;
}

} // namespace

class FormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> Form;

    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }

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

    void WindowFrame() {
        const QString Program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(Form->windowTitle(),
                 Program.left(Program.indexOf('.')) +
                     " Locates files within Archives which contain a specific string of text.");
        QCOMPARE(Form->size(), QSize(639, 460));
        QCOMPARE(Form->minimumSize(), Form->maximumSize());
        QVERIFY(Form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    // Texts, hints, positions and design states as the window is described.
    void Controls() {
        struct TRow {
            const char* Name;
            QRect Geometry;
            const char* Text;
            const char* Hint;
            bool Enabled;
        };
        const TRow Rows[] = {
            {"SearchStr", {8, 36, 185, 21}, "", "Text to search for", true},
            // What it shows at first comes from the settings (SettingsTest).
            {"SearchPath", {208, 36, 233, 21}, nullptr, "Location of files to search", true},
            {"BrowseBtn", {376, 12, 65, 22}, "Browse", "Select Folder containing files to search", true},
            {"MaskTypes",
             {456, 36, 145, 101},
             "",
             "Only these type of files will be examined within the ZIP file(s)",
             true},
            {"AddMaskBtn", {608, 40, 25, 25}, "+", "Add a new file type to list", true},
            {"DelMaskBtn", {608, 72, 25, 25}, "-", "Delete se;ected file type from list", false},
            {"CaseChk", {16, 64, 97, 17}, "Case Sensitive", "", true},
            {"NamesOnlyChk",
             {16, 90, 145, 17},
             "Check Filenames ONLY",
             "Only searches for files which have the text in their filename",
             true},
            {"SubFoldersChk",
             {216, 64, 145, 17},
             "Include sub-Folders",
             "Search for occurances in all folders below this one",
             true},
            {"SelfExChk",
             {216, 90, 225, 17},
             "Include self-extracting EXE archives",
             "Search for occurances in all folders below this one",
             false},
            {"TreeView1", {8, 160, 289, 217}, "", "List of matching files", true},
            {"RichEdit1", {304, 160, 329, 217}, "", "", true},
            {"GoBtn", {8, 382, 289, 32}, "&Go", "", false},
            {"FindNextBtn",
             {312, 382, 100, 32},
             "Find Next",
             "Highlight next occurance of text in this file",
             false},
            {"ViewerBtn",
             {421, 382, 100, 32},
             "Zoom Viewer",
             "Display contents in a resizeable Viewer.",
             false},
            {"LaunchBtn",
             {530, 382, 100, 32},
             "Launch Host App",
             "Launch the Application Registered to handle this file.",
             false},
            {"CloseBtn", {421, 424, 100, 32}, "&Close", "", true},
            {"HelpBtn", {530, 424, 100, 32}, "&Help", "", true},
            {"lblCurrent", {8, 429, 372, 13}, "", "", true},
            {"Label1", {8, 20, 135, 16}, "String to search for:", "", true},
            {"Label2", {209, 20, 118, 16}, "Folder/Location :", "", true},
            {"Label3", {459, 19, 99, 16}, "Only \"look\" at:", "", true},
            {"Label4", {8, 146, 182, 16}, "File (s) found containing match:", "", true},
            {"Label5", {304, 146, 166, 16}, "Location within matching file:", "", true},
        };
        for (const TRow& R : Rows) {
            const QWidget* W = Child<QWidget>(Form.get(), R.Name);
            // Captions may widen a control to the right where the system font runs wide, never narrow it.
            const QRect G = W->geometry();
            QVERIFY2(G.topLeft() == R.Geometry.topLeft() && G.height() == R.Geometry.height(), R.Name);
            QVERIFY2(G.width() == R.Geometry.width() ||
                         (G.width() > R.Geometry.width() &&
                          (qobject_cast<const QLabel*>(W) || qobject_cast<const QCheckBox*>(W))),
                     R.Name);
            QVERIFY2(W->toolTip() == R.Hint, R.Name);
            QVERIFY2(W->isEnabled() == R.Enabled, R.Name);
            QString Text;
            if (auto* B = qobject_cast<const QAbstractButton*>(W))
                Text = B->text();
            else if (auto* L = qobject_cast<const QLabel*>(W))
                Text = L->text();
            else if (auto* C = qobject_cast<const QComboBox*>(W))
                Text = C->currentText();
            QVERIFY2(!R.Text || Text == R.Text, R.Name);
        }
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        QCOMPARE(Child<QLabel>(Form.get(), "MatchLbl")->text(), QString("0 found"));
        // The counter grows leftwards from its right edge.
        QCOMPARE(Child<QLabel>(Form.get(), "MatchLbl")->geometry().right(), 252 + 36 - 1);
        QCOMPARE(Child<QTreeWidget>(Form.get(), "TreeView1")->indentation(), 19);
    }

    void TabOrder() {
        const char* Order[] = {"MaskTypes", "TreeView1",    "RichEdit1",     "FindNextBtn", "ViewerBtn",
                               "BrowseBtn", "AddMaskBtn",   "DelMaskBtn",    "SearchPath",  "SearchStr",
                               "GoBtn",     "NamesOnlyChk", "SubFoldersChk", "LaunchBtn",   "CaseChk",
                               "HelpBtn",   "CloseBtn",     "SelfExChk"};
        for (size_t I = 0; I + 1 < std::size(Order); ++I) {
            QWidget* Next = Child<QWidget>(Form.get(), Order[I])->nextInFocusChain();
            while (Next->parentWidget() != Form.get())
                Next = Next->nextInFocusChain();
            QVERIFY2(Next->objectName() == Order[I + 1], Order[I]);
        }
    }

    void GoNeedsBothTexts() {
        QPushButton* Go = Button("GoBtn");
        QVERIFY(!Go->isEnabled());
        Combo("SearchPath")->setEditText("");
        QTest::keyClicks(Combo("SearchStr"), "needle");
        QVERIFY(!Go->isEnabled());
        QTest::keyClicks(Combo("SearchPath"), "/tmp");
        QVERIFY(Go->isEnabled());
        Combo("SearchStr")->setEditText("");
        QVERIFY(!Go->isEnabled());
        Combo("SearchStr")->setEditText("x");
        Combo("SearchPath")->setEditText("");
        QVERIFY(!Go->isEnabled());
    }

    void DefaultTypes() {
        QCOMPARE(ItemTexts(Masks()),
                 QStringList({"All Files (*.*)", "Pascal Files (*.pas)", "Delphi Forms (*.dfm)",
                              "C Files (*.c)", "Text Files (*.txt)", "HTML Files (*.htm)"}));
        QCOMPARE(Checks(Masks()), QList<Qt::CheckState>(6, Qt::Unchecked));
    }

    void AddingTypes() {
        AddType("ZIP Files", "zip", true);
        QCOMPARE(Masks()->count(), 7);
        QCOMPARE(Masks()->currentItem()->text(), QString("ZIP Files (*.zip)"));
        QCOMPARE(Masks()->currentItem()->checkState(), Qt::Checked);

        // A duplicate apart from letter case is refused and leaves the existing tick alone.
        AddType("c files", "C", true);
        QCOMPARE(Masks()->count(), 7);
        QCOMPARE(Masks()->item(3)->checkState(), Qt::Unchecked);

        // Cancel adds nothing; an unticked new type comes unticked.
        AddType("Doc Files", "doc", true, false);
        QCOMPARE(Masks()->count(), 7);
        AddType("", "md", false);
        QCOMPARE(Masks()->item(7)->text(), QString(" (*.md)"));
        QCOMPARE(Masks()->item(7)->checkState(), Qt::Unchecked);
    }

    void ExtensionRules() {
        bool StayedOpen = false;
        QString Typed;
        OnNextModal([&](QWidget* Dlg) {
            auto* Ext = Child<QLineEdit>(Dlg, "Edit2");
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), "Long");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
            StayedOpen = Dlg->isVisible();
            // A mask typed where the extension goes means its extension; four letters are kept whole.
            QTest::keyClicks(Ext, "*.json");
            Typed = Ext->text();
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
        QVERIFY2(StayedOpen, "OK without an extension must not close the dialog");
        QCOMPARE(Typed, QString("*.json"));
        QCOMPARE(Masks()->item(Masks()->count() - 1)->text(), QString("Long (*.json)"));
    }

    void AllFilesTicksEverything() {
        QListWidgetItem* All = Masks()->item(0);
        Masks()->setCurrentItem(All);
        All->setCheckState(Qt::Checked);
        QCOMPARE(Checks(Masks()), QList<Qt::CheckState>(6, Qt::Checked));
        All->setCheckState(Qt::Unchecked);
        QCOMPARE(Checks(Masks()), QList<Qt::CheckState>({Qt::Unchecked, Qt::Checked, Qt::Checked, Qt::Checked,
                                                         Qt::Checked, Qt::Checked}));
        // Ticking another type has no side effect.
        Masks()->item(1)->setCheckState(Qt::Unchecked);
        Masks()->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(Masks()->item(0)->checkState(), Qt::Unchecked);
    }

    void DeletingTypes() {
        TBoxAnswers Boxes({idOK, idNo, idYes});
        QListWidget* List = Masks();
        QPushButton* Del = Button("DelMaskBtn");
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(0)).center());
        QVERIFY(Del->isEnabled());
        QTest::mouseClick(Del, Qt::LeftButton);
        QCOMPARE(List->count(), 6);

        List->setCurrentRow(3);
        QTest::mouseClick(Del, Qt::LeftButton); // answered No
        QCOMPARE(List->count(), 6);
        QTest::mouseClick(Del, Qt::LeftButton); // answered Yes
        QCOMPARE(ItemTexts(List),
                 QStringList({"All Files (*.*)", "Pascal Files (*.pas)", "Delphi Forms (*.dfm)",
                              "Text Files (*.txt)", "HTML Files (*.htm)"}));
        QCOMPARE(Boxes.Texts, std::vector<std::string>({"This File Mask can not be removed.",
                                                        "Permanently Delete \"C Files (*.c)\"",
                                                        "Permanently Delete \"C Files (*.c)\""}));
        // Nothing is current after a deletion, so "-" does nothing.
        QVERIFY(!List->currentItem());
        QTest::mouseClick(Del, Qt::LeftButton);
        QCOMPARE(List->count(), 5);
        QCOMPARE(Boxes.Texts.size(), size_t(3));
    }

    void NoTypeTicked() {
        TBoxAnswers Boxes;
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        Combo("SearchStr")->setEditText("needle");
        Combo("SearchPath")->setEditText("/tmp");
        Masks()->item(2)->setText("No mask here");
        Masks()->item(2)->setCheckState(Qt::Checked);
        QTest::mouseClick(Button("GoBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"You must enable (check) at least one file type to examine."}));
        QCOMPARE(QApplication::focusWidget(), Masks());
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Button("GoBtn")->text(), QString("&Go"));
        for (const char* Name : {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk",
                                 "BrowseBtn", "MaskTypes", "AddMaskBtn", "GoBtn", "TreeView1"})
            QVERIFY2(Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        // Nothing was added to the histories either.
        QCOMPARE(Combo("SearchPath")->count(), 1);
        QCOMPARE(Combo("SearchPath")->currentText(), QString("/tmp"));
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
