// The Zoom Viewer: caption, the save question, saving as rich text and as text judged by another reader,
// failed saves.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/Application.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "viewer/REMain.h"

using testutil::TBoxAnswers;

class ViewerTest : public QObject {
    Q_OBJECT

private:
    TQtPlatform Platform;
    testutil::TScratchDir Dir;
    std::unique_ptr<TViewerForm> Viewer;
    QStringList SaveAnswers; // names the save dialog answers with, in turn
    QString SaveFilter;

    TRichEdit* Editor() { return Viewer->Editor(); }
    QString Path(const char* Name) { return QString::fromStdString(Dir / Name); }
    std::string Read(const char* Name) { return testutil::ReadFile(Dir / Name); }
    void Type(const QString& Text) { QTest::keyClicks(Editor(), Text); }

    // Shows the viewer with Text as a plain pane hands it over under the entry name Name.
    void HandOver(const QString& Text, const std::string& Name) {
        TRichEdit Pane;
        Pane.SetPlainText(true);
        Pane.setPlainText(Text);
        Viewer->TakeOver(Pane, Pane.DefAttributes(), Dir / Name);
        Viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(Viewer.get()));
    }

private slots:
    void initTestCase() { Application().Title = "Tarnlet v2.1"; }
    void init() {
        Viewer = std::make_unique<TViewerForm>();
        SaveFilter.clear();
        Viewer->Dialogs.Save = [this](QWidget*, const QString&, QString& Filter) {
            Filter = SaveFilter;
            return SaveAnswers.isEmpty() ? QString() : SaveAnswers.takeFirst();
        };
    }
    void cleanup() {
        TBoxAnswers Boxes({idNo});
        Viewer.reset();
    }

    void CaptionAndSaveQuestion() {
        HandOver("program Demo;\nbegin\nend.", "unit1.pas");
        QCOMPARE(Viewer->windowTitle(), QString("unit1.pas - Tarnlet v2.1"));
        QCOMPARE(Editor()->toPlainText(), QString("program Demo;\nbegin\nend."));
        Type("x");
        TBoxAnswers Boxes({idCancel, idCancel});
        QVERIFY(!Viewer->close() && Viewer->isVisible());
        Viewer->FileNew();
        QCOMPARE(Viewer->windowTitle(), QString("Untitled - Tarnlet v2.1"));
        Type("y");
        QVERIFY(!Viewer->close());
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"Save changes to unit1.pas?", "Save changes to Untitled?"}));
        // Yes on "Untitled" opens Save As; cancelling it keeps the changes and the window.
        Boxes.Answer(idYes);
        QVERIFY(!Viewer->close() && Editor()->Modified());
    }

    // Rich text saved by the viewer reads back the same here and in another reader; a name or filter
    // for text gets plain UTF-8, never markup.
    void SavedFilesReadBack() {
        HandOver("", "x.txt");
        QTextCursor C(Editor()->document());
        QTextCharFormat F;
        F.setFontWeight(QFont::Bold);
        C.insertText("Bold ", F);
        F.setFontItalic(true);
        F.setForeground(Qt::red);
        F.setFontFamilies({"DejaVu Serif"});
        C.insertText("s\u00e4tze \u0436\u0443\u043a", F);
        C.insertBlock();
        C.insertText("second paragraph");
        const QString Text = Editor()->toPlainText();
        SaveAnswers = {Path("doc.rtf")};
        Viewer->FileSaveAs();
        TRichEdit Back;
        Back.LoadFromFile(Path("doc.rtf"));
        QCOMPARE(Back.toPlainText(), Text);
        std::string Plain;
        QCOMPARE(
            testutil::Run("pandoc -f rtf -t plain --wrap=none " + testutil::Quote(Dir / "doc.rtf"), &Plain),
            0);
        QCOMPARE(QString::fromStdString(Plain).trimmed(), QString(Text).replace("\n", "\n\n"));
        QVERIFY(!Editor()->Modified());
        QCOMPARE(Viewer->windowTitle(), QString("doc.rtf - Tarnlet v2.1"));

        SaveAnswers = {Path("doc.TXT")};
        Viewer->FileSaveAs();
        QCOMPARE(QString::fromStdString(Read("doc.TXT")), Text);
        SaveFilter = "Text Files (*.TXT *.txt)";
        SaveAnswers = {Path("notes")};
        Viewer->FileSaveAs();
        Type("!"); // Save keeps writing text to the file chosen as text
        Viewer->FileSave();
        QCOMPARE(QString::fromStdString(Read("notes")), Text + "!");
    }

    void FailedSaveKeepsEverything() {
        testutil::WriteFile(Dir / "kept.rtf", "old content");
        std::filesystem::create_directory(Dir / "taken.rtf");
        HandOver("new words", "x.txt");
        Type("!");
        TBoxAnswers Boxes;
        // The target's folder cannot take the temporary file, and a folder in the file's place cannot be
        // replaced: the error shows, nothing is left beside them.
        for (const char* Target : {"missing-folder/kept.rtf", "taken.rtf"}) {
            SaveAnswers = {Path(Target)};
            Viewer->FileSaveAs();
        }
        QCOMPARE(Boxes.Texts.size(), size_t(2));
        QVERIFY(Editor()->Modified() && std::filesystem::is_directory(Dir / "taken.rtf"));
        QCOMPARE(Viewer->Filename(), QString("x.txt"));
        for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
            QVERIFY2(!E.path().filename().string().starts_with("."), E.path().c_str());
        QCOMPARE(Read("kept.rtf"), std::string("old content"));
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
