// The help button and F1: the help file in its window, at its contents.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/Application.h"

#include <QScrollBar>
#include <QTextBrowser>

using testutil::Child;

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void ShowsTheHelpFileAtItsContents() {
        testutil::TScratchDir D;
        std::string Html = "<html><head><title>Test Help</title></head><body><p>Intro</p>";
        for (int I = 0; I < 200; ++I)
            Html += "<p>filler line</p>";
        Html += "<h2><a name=\"contents\">Contents</a></h2><p><a href=\"#end\">End</a></p>";
        for (int I = 0; I < 200; ++I)
            Html += "<p>more</p>";
        Html += "<h2><a name=\"end\">End</a></h2></body></html>";
        testutil::WriteFile(D / "t.hlp", Html);
        Application().HelpFile = D / "t.hlp";

        auto Form = testutil::ShowForm();
        QVERIFY(Form);
        QTest::mouseClick(Child<QPushButton>(Form.get(), "HelpBtn"), Qt::LeftButton);
        auto* Browser = Child<QTextBrowser>(Form.get(), "Browser");
        QWidget* Window = Browser->window();
        QVERIFY(QTest::qWaitForWindowExposed(Window));
        QCOMPARE(Window->windowTitle(), QString("Test Help"));
        QCOMPARE(Browser->source().toLocalFile(), QString::fromStdString(D / "t.hlp"));
        QScrollBar* Bar = Browser->verticalScrollBar();
        const int AtContents = Bar->value();
        QVERIFY(AtContents > 0);

        // F1 comes back to the same window, at the contents again.
        Bar->setValue(Bar->maximum());
        Window->close();
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        // Through the window system, as a key press arrives.
        QTest::keyClick(Form->windowHandle(), Qt::Key_F1);
        QVERIFY(Window->isVisible());
        QCOMPARE(Bar->value(), AtContents);
        QCOMPARE(Form->findChildren<QTextBrowser*>().size(), 1);

        // Without the file: a message naming it, and no window.
        Window->close();
        Application().HelpFile = D / "missing.hlp";
        testutil::TBoxAnswers Boxes;
        QTest::mouseClick(Child<QPushButton>(Form.get(), "HelpBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Cannot open the help file " + (D / "missing.hlp")});
        QVERIFY(!Window->isVisible());
    }
};

QTEST_MAIN(HelpWindowTest)
#include "HelpWindowTest.moc"
