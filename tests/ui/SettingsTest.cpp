// What the main window keeps between runs (histories, file types, ticks, the last folders), the folder
// choice of its Browse button and its help window.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/IniFiles.h"
#include "ui/Application.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBrowser>
#include <sys/stat.h>

using testutil::Child;
using testutil::TBoxAnswers;

namespace {

const char* const DefaultTypes = "All Files (*.*),Pascal Files (*.pas),Delphi Forms (*.dfm),C Files "
                                 "(*.c),Text Files (*.txt),HTML Files (*.htm)";
using TPairs = std::vector<std::pair<std::string, std::string>>;

// Everything the window saves, as a user sees it: the search history and text, the folder history and
// folder, the types ("+" when ticked), the four check boxes.
QStringList StateOf(const TForm1* Form) {
    QStringList S;
    for (const char* Name : {"SearchStr", "SearchPath"}) {
        const auto* Box = Child<QComboBox>(Form, Name);
        QStringList Items;
        for (int I = 0; I < Box->count(); ++I)
            Items << Box->itemText(I);
        S << Items.join(',') << Box->currentText();
    }
    QStringList Types;
    const auto* Masks = Child<QListWidget>(Form, "MaskTypes");
    for (int I = 0; I < Masks->count(); ++I)
        Types << (Masks->item(I)->checkState() == Qt::Checked ? "+" : "") + Masks->item(I)->text();
    QString Ticks;
    for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
        Ticks += Child<QCheckBox>(Form, Name)->isChecked() ? '1' : '0';
    return S << Types.join(',') << Ticks;
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> Form;
    const std::string Ini = testutil::SettingsFile();
    const QString Home = QCoreApplication::applicationDirPath() + "/";

    // A window started over the settings file as it stands, or as on a first run.
    void Start(bool Keep = true) {
        Form = testutil::ShowForm(Keep);
        QVERIFY(Form);
    }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }

private slots:
    void cleanup() {
        Form.reset();
        std::remove(Ini.c_str());
        rmdir(Ini.c_str());
    }

    // A hand-written file read (types match the list whatever their case), changed, saved on close and
    // shown by the next window; histories keep 17 entries, what the window does not use goes back unchanged.
    void RoundTrip() {
        testutil::TScratchDir Last;
        testutil::WriteFile(
            Ini, "[searchstr]\na=first\n[SearchPath]\nx=/one/\n[MaskTypes]\npascal files (*.PAS)=1\n"
                 "ZIP Files (*.zip)=1\n[ExtractPath]\nss0=/out/one/\n[Options]\nCaseChk=1\n"
                 "SelfExChk=0\nLastExtractPath=/out/two/\nLastPath=" +
                     Last.Path() + "\n");
        Start();
        const QString Folder = QString::fromStdString(Last.Path());
        QCOMPARE(StateOf(Form.get()),
                 (QStringList{
                     "first", "", "/one/", Folder,
                     "All Files (*.*),+Pascal Files (*.pas),Delphi Forms (*.dfm),C Files (*.c),Text Files "
                     "(*.txt),HTML Files (*.htm),+ZIP Files (*.zip)",
                     "1000"}));
        QCOMPARE(QDir::currentPath(), Folder);

        for (int I = 0; I < 20; ++I)
            Combo("SearchStr")->addItem(QString(" text %1 ").arg(I));
        Combo("SearchPath")->setEditText("/typed/");
        Child<QListWidget>(Form.get(), "MaskTypes")->item(3)->setCheckState(Qt::Checked);
        for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
            Child<QCheckBox>(Form.get(), Name)->toggle();
        QStringList Before = StateOf(Form.get());
        Before[0] = Before[0].section(',', 0, 16);
        Before[3] = Home; // "/typed/" does not exist: the next start shows the program folder
        Form->close();

        const TIniFile Saved(Ini);
        QCOMPARE(Saved.ReadSectionValues("SearchStr").size(), size_t(17));
        QCOMPARE(Saved.ReadString("Options", "LastPath", ""), std::string("/typed/"));
        QCOMPARE(Saved.ReadSectionValues("ExtractPath"), (TPairs{{"ss0", "/out/one/"}}));
        QCOMPARE(Saved.ReadString("Options", "LastExtractPath", ""), std::string("/out/two/"));
        Start();
        QCOMPARE(StateOf(Form.get()), Before);
    }

    // A settings file that cannot be written is reported and the window still closes.
    void FailedWrite() {
        QCOMPARE(mkdir(Ini.c_str(), 0700), 0);
        Start();
        TBoxAnswers Answers;
        QSignalSpy Closed(Form.get(), &TForm1::FormClosed);
        QVERIFY(Form->close());
        QCOMPARE(Closed.count(), 1);
        QCOMPARE(Answers.Texts, std::vector<std::string>{"Unable to write to " + Ini});
    }

    // A first start, and a folder chosen with Browse.
    void FirstStartAndBrowse() {
        testutil::TScratchDir D;
        Start(false);
        // A first start. "Include self-extracting EXE archives" cannot be ticked by the user: it keeps its
        // design state.
        QCOMPARE(StateOf(Form.get()), (QStringList{"", "", Home, Home, DefaultTypes, "0001"}));
        QCOMPARE(QDir::currentPath() + "/", Home);
        auto* Path = Combo("SearchPath");
        auto Pick = [&](const QString& Typed, std::deque<int> Answers) {
            TBoxAnswers Boxes(std::move(Answers));
            QString Start;
            testutil::OnNextModal([&](QWidget* W) {
                auto* Dlg = qobject_cast<QFileDialog*>(W);
                QVERIFY(Dlg);
                Start = Dlg->directory().absolutePath();
                Child<QLineEdit>(Dlg, "fileNameEdit")->setText(Typed);
                // A refused folder creation keeps the dialog open.
                while (!Typed.isEmpty() && Dlg->isVisible() && Boxes.Texts.size() < 2)
                    static_cast<QDialog*>(Dlg)->accept();
                if (Dlg->isVisible())
                    Dlg->reject();
            });
            QTest::mouseClick(Button("BrowseBtn"), Qt::LeftButton);
            return std::pair(Start, Boxes.Texts);
        };

        Path->setEditText("");
        Combo("SearchStr")->setEditText("needle");
        QCOMPARE(Pick("", {}).first, QString("/"));
        QCOMPARE(Path->currentText(), QString());
        QVERIFY(!Button("GoBtn")->isEnabled());

        // A new folder is made after a Yes; a No keeps the dialog open and makes nothing.
        Path->setEditText(QString::fromStdString(D.Path()));
        const auto [Start, Asked] = Pick(QString::fromStdString(D / "new/deeper"), {idNo, idYes});
        QCOMPARE(Start, QString::fromStdString(D.Path()));
        const std::string Question = "The folder \"" + (D / "new/deeper") + "\" does not exist. Create it?";
        QCOMPARE(Asked, (std::vector<std::string>{Question, Question}));
        QVERIFY(QDir(QString::fromStdString(D / "new/deeper")).exists());
        QCOMPARE(Path->currentText(), QString::fromStdString(D / "new/deeper/"));
        QVERIFY(Button("GoBtn")->isEnabled());
    }

    // The help button and F1 show the help file at its contents, in one window; without the file, a
    // message naming it.
    void Help() {
        testutil::TScratchDir D;
        const QString Filler = QString("<p>filler</p>").repeated(200);
        testutil::WriteFile(D / "t.hlp",
                            ("<html><head><title>Test Help</title></head><body>" + Filler +
                             "<h2><a name=\"contents\">Contents</a></h2>" + Filler + "</body></html>")
                                .toStdString());
        Application().HelpFile = D / "t.hlp";
        Start(false);
        QTest::mouseClick(Button("HelpBtn"), Qt::LeftButton);
        auto* Browser = Child<QTextBrowser>(Form.get(), "Browser");
        QWidget* Window = Browser->window();
        QVERIFY(QTest::qWaitForWindowExposed(Window));
        QCOMPARE(Window->windowTitle(), QString("Test Help"));
        QScrollBar* Bar = Browser->verticalScrollBar();
        const int AtContents = Bar->value();
        QVERIFY(AtContents > 0);

        Bar->setValue(Bar->maximum());
        Window->close();
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QTest::keyClick(Form->windowHandle(), Qt::Key_F1); // through the window system, as a key arrives
        QVERIFY(Window->isVisible());
        QCOMPARE(Bar->value(), AtContents);
        QCOMPARE(Form->findChildren<QTextBrowser*>().size(), 1);

        Window->close();
        Application().HelpFile = D / "missing.hlp";
        TBoxAnswers Boxes;
        QTest::mouseClick(Button("HelpBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Cannot open the help file " + (D / "missing.hlp")});
        QVERIFY(!Window->isVisible());
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
