// The Zoom Viewer: caption, the save question, Save on a new document, the caret panel, the edit actions,
// dropped files, saving as rich text and as text judged by another reader, failed saves, printing.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/Application.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "viewer/REMain.h"

#include <QAction>
#include <QLabel>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

using testutil::Child;
using testutil::TBoxAnswers;
using testutil::TScratchDir;

class ViewerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TViewerForm> Viewer;
    std::unique_ptr<TScratchDir> Dir;
    QStringList Saves; // names the save dialog was asked for, answered from SaveAnswers
    QStringList SaveAnswers;
    QString SaveFilter;

    TRichEdit* Editor() { return Viewer->Editor(); }
    QString CaretPanel() { return Viewer->statusBar()->findChildren<QLabel*>().value(0)->text(); }
    QAction* Action(const char* Name) { return Child<QAction>(Viewer.get(), Name); }
    QString Path(const char* Name) { return QString::fromStdString(*Dir / Name); }
    void Type(const QString& Text) { QTest::keyClicks(Editor(), Text); }

    // Shows the viewer with Text as a plain pane hands it over under the entry name Name.
    void HandOver(const QString& Text, const std::string& Name) {
        TRichEdit Pane;
        Pane.SetPlainText(true);
        Pane.setPlainText(Text);
        Viewer->TakeOver(Pane, Pane.DefAttributes(), *Dir / Name);
        Viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(Viewer.get()));
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Application().Title = "Tarnlet v2.1";
        Dir = std::make_unique<TScratchDir>();
    }
    void cleanupTestCase() {
        Dir.reset();
        Platform.reset();
    }
    void init() {
        Viewer = std::make_unique<TViewerForm>();
        Saves.clear();
        SaveFilter.clear();
        Viewer->Dialogs.Save = [this](QWidget*, const QString&, QString& Filter) {
            Filter = SaveFilter;
            Saves << "asked";
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
        QVERIFY(!Viewer->close());
        QVERIFY(Viewer->isVisible());
        Viewer->FileNew();
        QCOMPARE(Viewer->windowTitle(), QString("Untitled - Tarnlet v2.1"));
        Type("y");
        QVERIFY(!Viewer->close());
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"Save changes to unit1.pas?", "Save changes to Untitled?"}));
        // Yes on "Untitled" opens Save As; cancelling it keeps the changes and the window.
        Boxes.Answer(idYes);
        QVERIFY(!Viewer->close());
        QCOMPARE(Saves.size(), 1);
        QVERIFY(Editor()->Modified());
    }

    void CaretPanelAndEditActions() {
        HandOver("one\ntwo\nthree", "x.txt");
        QTextCursor C = Editor()->textCursor();
        C.setPosition(Editor()->document()->findBlockByNumber(2).position());
        Editor()->setTextCursor(C);
        QCOMPARE(CaretPanel(), QString("Line:   3   Col:   1"));
        QVERIFY(!Action("EditCutCmd")->isEnabled());
        QVERIFY(!Action("EditCopyCmd")->isEnabled());
        Editor()->SetSelLength(3);
        QVERIFY(Action("EditCutCmd")->isEnabled());
        QVERIFY(Action("EditCopyCmd")->isEnabled());
        Action("EditCutCmd")->trigger();
        QCOMPARE(Editor()->toPlainText(), QString("one\ntwo\nee"));
        QVERIFY(Action("EditUndoCmd")->isEnabled());
        QVERIFY(Action("EditPasteCmd")->isEnabled());
        for (const char* Name : {"FileNewCmd", "FileOpenCmd", "FileSaveCmd", "FilePrintCmd", "EditUndoCmd",
                                 "EditCutCmd", "EditCopyCmd", "EditPasteCmd"})
            QVERIFY2(!Action(Name)->icon().isNull(), Name);
    }

    void DroppedFilesOpenTheFirst() {
        testutil::WriteFile(*Dir / "first.txt", "first file");
        testutil::WriteFile(*Dir / "second.txt", "second file");
        HandOver("shown", "x.txt");
        QMimeData Data;
        Data.setUrls({QUrl::fromLocalFile(Path("first.txt")), QUrl::fromLocalFile(Path("second.txt"))});
        const QPoint At = Editor()->viewport()->rect().center();
        QDragEnterEvent Enter(At, Qt::CopyAction, &Data, Qt::LeftButton, {});
        QApplication::sendEvent(Editor()->viewport(), &Enter);
        QVERIFY(Enter.isAccepted());
        QDropEvent Drop(At, Qt::CopyAction, &Data, Qt::LeftButton, {});
        QApplication::sendEvent(Editor()->viewport(), &Drop);
        QCOMPARE(Editor()->toPlainText(), QString("first file"));
        QCOMPARE(Viewer->Filename(), Path("first.txt"));
    }

    // Rich text saved by the viewer reads back the same here and in another reader; a name or filter
    // for text gets plain UTF-8, never markup.
    void SavedFilesReadBack() {
        HandOver("", "x.txt");
        QTextCursor C(Editor()->document());
        const auto Put = [&C](const QString& Text, auto&& Shape) {
            QTextCharFormat F;
            Shape(F);
            C.insertText(Text, F);
        };
        Put("Bold ", [](QTextCharFormat& F) { F.setFontWeight(QFont::Bold); });
        Put("italic ", [](QTextCharFormat& F) { F.setFontItalic(true); });
        Put("red ", [](QTextCharFormat& F) { F.setForeground(Qt::red); });
        Put("mono ", [](QTextCharFormat& F) { F.setFontFamilies({"DejaVu Sans Mono"}); });
        Put("s\u00e4tze \u0436\u0443\u043a", [](QTextCharFormat& F) { F.setFontFamilies({"DejaVu Serif"}); });
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
            testutil::Run("pandoc -f rtf -t plain --wrap=none " + testutil::Quote(*Dir / "doc.rtf"), &Plain),
            0);
        QCOMPARE(QString::fromStdString(Plain).trimmed(), QString(Text).replace("\n", "\n\n"));
        QVERIFY(!Editor()->Modified());
        QCOMPARE(Viewer->windowTitle(), QString("doc.rtf - Tarnlet v2.1"));

        SaveAnswers = {Path("doc.TXT")};
        Viewer->FileSaveAs();
        QCOMPARE(QString::fromStdString(testutil::ReadFile(*Dir / "doc.TXT")), Text);
        SaveFilter = "Text Files (*.TXT *.txt)";
        SaveAnswers = {Path("notes")};
        Viewer->FileSaveAs();
        QCOMPARE(QString::fromStdString(testutil::ReadFile(*Dir / "notes")), Text);
        // Save keeps writing text to the file chosen as text.
        Type("!");
        Viewer->FileSave();
        QVERIFY(testutil::ReadFile(*Dir / "notes").find("{\\rtf") == std::string::npos);
    }

    void FailedSaveKeepsEverything() {
        testutil::WriteFile(*Dir / "kept.rtf", "old content");
        HandOver("new words", "x.txt");
        TBoxAnswers Boxes({idYes});
        // The target's folder cannot take the temporary file: the error shows, the old file stays.
        SaveAnswers = {Path("missing-folder/kept.rtf")};
        Type("!");
        Viewer->FileSaveAs();
        QCOMPARE(Boxes.Texts.size(), size_t(1));
        QVERIFY(Editor()->Modified());
        QCOMPARE(Viewer->Filename(), QString("x.txt"));
        // A folder in the file's place cannot be replaced: nothing is left beside it.
        std::filesystem::create_directory(*Dir / "taken.rtf");
        SaveAnswers = {Path("taken.rtf")};
        Viewer->FileSaveAs();
        QCOMPARE(Boxes.Texts.size(), size_t(2));
        QVERIFY(std::filesystem::is_directory(*Dir / "taken.rtf"));
        for (const auto& E : std::filesystem::directory_iterator(Dir->Path()))
            QVERIFY2(!E.path().filename().string().starts_with("."), E.path().c_str());
        QCOMPARE(testutil::ReadFile(*Dir / "kept.rtf"), std::string("old content"));
    }

    void PrintsTheDocument() {
        HandOver("printed words \u00e9t\u00e9\nsecond line", "entry.txt");
        const QString Pdf = Path("out.pdf");
        QString Title;
        Viewer->Dialogs.Print = [&](QWidget*, QPrinter& Printer) {
            Printer.setOutputFormat(QPrinter::PdfFormat);
            Printer.setOutputFileName(Pdf);
            return true;
        };
        Viewer->FilePrint();
        std::string Text;
        QCOMPARE(testutil::Run("pdftotext " + testutil::Quote(Pdf.toStdString()) + " -", &Text), 0);
        QVERIFY2(QString::fromStdString(Text).contains("printed words \u00e9t\u00e9"), Text.c_str());
        QVERIFY(QString::fromStdString(Text).contains("second line"));
        std::string Info;
        testutil::Run("pdfinfo " + testutil::Quote(Pdf.toStdString()), &Info);
        QVERIFY2(QString::fromStdString(Info).contains("entry.txt"), Info.c_str());
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
