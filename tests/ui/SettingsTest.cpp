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

const QStringList DefaultTypes = {"All Files (*.*)", "Pascal Files (*.pas)", "Delphi Forms (*.dfm)",
                                  "C Files (*.c)",   "Text Files (*.txt)",   "HTML Files (*.htm)"};
const char* const Boxes[] = {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"};

// Everything the window saves, as a user sees it.
struct TState {
    QStringList Searches, Folders, Types;
    QString Folder;
    QList<bool> TypeTicks, Ticks;
    bool operator==(const TState&) const = default;
};

TState StateOf(const TForm1* Form) {
    TState S;
    const auto* SearchStr = Child<QComboBox>(Form, "SearchStr");
    const auto* SearchPath = Child<QComboBox>(Form, "SearchPath");
    for (int I = 0; I < SearchStr->count(); ++I)
        S.Searches << SearchStr->itemText(I);
    for (int I = 0; I < SearchPath->count(); ++I)
        S.Folders << SearchPath->itemText(I);
    S.Folder = SearchPath->currentText();
    const auto* Masks = Child<QListWidget>(Form, "MaskTypes");
    for (int I = 0; I < Masks->count(); ++I) {
        S.Types << Masks->item(I)->text();
        S.TypeTicks << (Masks->item(I)->checkState() == Qt::Checked);
    }
    for (const char* Name : Boxes)
        S.Ticks << Child<QCheckBox>(Form, Name)->isChecked();
    return S;
}

QString ProgramFolderText() {
    return QCoreApplication::applicationDirPath() + "/";
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> Form;
    const std::string Ini = testutil::SettingsFile();

    // A window started over the settings file as it stands.
    void Start() {
        Form = testutil::ShowForm(true);
        QVERIFY(Form);
    }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }

private slots:
    void cleanup() {
        Form.reset();
        std::remove(Ini.c_str());
        rmdir(Ini.c_str());
    }

    void FirstStart() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
        const TState S = StateOf(Form.get());
        QCOMPARE(S.Searches, QStringList());
        QCOMPARE(Combo("SearchStr")->currentText(), QString());
        QCOMPARE(S.Folders, QStringList{ProgramFolderText()});
        QCOMPARE(S.Folder, ProgramFolderText());
        QCOMPARE(S.Types, DefaultTypes);
        QCOMPARE(S.TypeTicks, QList<bool>(6, false));
        // "Include self-extracting EXE archives" cannot be ticked by the user: it keeps its design state.
        QCOMPARE(S.Ticks, (QList<bool>{false, false, false, true}));
        QCOMPARE(QDir::currentPath() + "/", ProgramFolderText());
    }

    void HandWrittenFile() {
        testutil::TScratchDir Last;
        testutil::WriteFile(Ini, R"([searchstr]
a=first
b=second
junk without equals
[SearchPath]
x=/one/
[MaskTypes]
pascal files (*.PAS)=1
ZIP Files (*.zip)=0x1
Text Files (*.txt)=maybe
[ExtractPath]
ss0=/out/one/
ss1=/out/two/
[Options]
LastExtractPath=/out/two/
CaseChk=0x1
SubFoldersChk=0
SelfExChk=0
LastPath=)" + Last.Path() + "\n" + testutil::RandomBytes(500, 3));
        Start();
        const TState S = StateOf(Form.get());
        QCOMPARE(S.Searches, (QStringList{"first", "second"}));
        QCOMPARE(S.Folders, QStringList{"/one/"});
        QCOMPARE(S.Folder, QString::fromStdString(Last.Path()));
        QCOMPARE(QDir::currentPath(), QString::fromStdString(Last.Path()));
        QCOMPARE(S.Types, DefaultTypes + QStringList{"ZIP Files (*.zip)"});
        QCOMPARE(S.TypeTicks, (QList<bool>{false, true, false, false, false, false, true}));
        QCOMPARE(S.Ticks, (QList<bool>{true, false, false, false}));

        // What the window does not use yet goes back unchanged.
        Form->close();
        const TIniFile Back(Ini);
        QCOMPARE(Back.ReadSectionValues("ExtractPath"), (std::vector<std::pair<std::string, std::string>>{
                                                            {"ss0", "/out/one/"}, {"ss1", "/out/two/"}}));
        QCOMPARE(Back.ReadString("Options", "LastExtractPath", ""), std::string("/out/two/"));
    }

    // A whole window state saved on close and shown by the next window; histories keep 17 entries.
    void RoundTrip() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
        for (int I = 0; I < 20; ++I)
            Combo("SearchStr")->addItem(QString(" text %1 ").arg(I));
        Combo("SearchPath")->insertItem(0, "/a b/");
        Combo("SearchPath")->setEditText("/typed/");
        auto* Masks = Child<QListWidget>(Form.get(), "MaskTypes");
        auto* Zip = new QListWidgetItem("ZIP Files (*.zip)", Masks);
        Zip->setCheckState(Qt::Checked);
        Masks->item(3)->setCheckState(Qt::Checked);
        for (const char* Name : Boxes)
            Child<QCheckBox>(Form.get(), Name)->toggle();
        TState Before = StateOf(Form.get());
        Before.Searches = Before.Searches.mid(0, 17);
        // "/typed/" does not exist: the next start shows the program folder instead.
        Before.Folder = ProgramFolderText();
        Form->close();

        const TIniFile Saved(Ini);
        QCOMPARE(Saved.ReadSectionValues("SearchStr").size(), size_t(17));
        QCOMPARE(Saved.ReadString("SearchStr", "ss16", ""), std::string(" text 16 "));
        QCOMPARE(Saved.ReadString("MaskTypes", "ZIP Files (*.zip)", ""), std::string("1"));
        QCOMPARE(Saved.ReadString("Options", "LastPath", ""), std::string("/typed/"));
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

    void Browse() {
        testutil::TScratchDir D;
        Form = testutil::ShowForm();
        QVERIFY(Form);
        auto* Path = Combo("SearchPath");
        auto* Go = Child<QPushButton>(Form.get(), "GoBtn");
        auto Pick = [&](const QString& Typed, bool Accept, std::deque<int> Answers) {
            TBoxAnswers Boxes(std::move(Answers));
            QString Start;
            testutil::OnNextModal([&](QWidget* W) {
                auto* Dlg = qobject_cast<QFileDialog*>(W);
                QVERIFY(Dlg);
                Start = Dlg->directory().absolutePath();
                Child<QLineEdit>(Dlg, "fileNameEdit")->setText(Typed);
                if (Accept) {
                    // A refused folder creation keeps the dialog open.
                    while (Dlg->isVisible() && Boxes.Texts.size() < 2)
                        static_cast<QDialog*>(Dlg)->accept();
                }
                if (Dlg->isVisible())
                    Dlg->reject();
            });
            QTest::mouseClick(Child<QPushButton>(Form.get(), "BrowseBtn"), Qt::LeftButton);
            return std::pair(Start, Boxes.Texts);
        };

        Path->setEditText("");
        Combo("SearchStr")->setEditText("needle");
        QCOMPARE(Pick("", false, {}).first, QString("/"));
        QCOMPARE(Path->currentText(), QString());
        QVERIFY(!Go->isEnabled());

        Path->setEditText(QString::fromStdString(D.Path()));
        // A new folder is made after a Yes; a No keeps the dialog open and makes nothing.
        const auto [Start, Asked] = Pick(QString::fromStdString(D / "new/deeper"), true, {idNo, idYes});
        QCOMPARE(Start, QString::fromStdString(D.Path()));
        const std::string Question = "The folder \"" + (D / "new/deeper") + "\" does not exist. Create it?";
        QCOMPARE(Asked, (std::vector<std::string>{Question, Question}));
        QVERIFY(QDir(QString::fromStdString(D / "new/deeper")).exists());
        QCOMPARE(Path->currentText(), QString::fromStdString(D / "new/deeper/"));
        QVERIFY(Go->isEnabled());
    }

    // The help button and F1 show the help file at its contents, in one window.
    void Help() {
        testutil::TScratchDir D;
        const QString Filler = QString("<p>filler</p>").repeated(200);
        testutil::WriteFile(D / "t.hlp",
                            ("<html><head><title>Test Help</title></head><body>" + Filler +
                             "<h2><a name=\"contents\">Contents</a></h2>" + Filler + "</body></html>")
                                .toStdString());
        Application().HelpFile = D / "t.hlp";
        Form = testutil::ShowForm();
        QVERIFY(Form);
        QTest::mouseClick(Child<QPushButton>(Form.get(), "HelpBtn"), Qt::LeftButton);
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

        // Without the file: a message naming it, and no window.
        Window->close();
        Application().HelpFile = D / "missing.hlp";
        TBoxAnswers Boxes;
        QTest::mouseClick(Child<QPushButton>(Form.get(), "HelpBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Cannot open the help file " + (D / "missing.hlp")});
        QVERIFY(!Window->isVisible());
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
