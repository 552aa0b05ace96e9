// The real program on a real X server (Xvfb), driven by mouse and keyboard: its window's title, size and
// place, an entry dragged onto another program's window, what it keeps between runs, and a screenshot left
// in the build folder (tarnlet-window.png) for a person to look at.

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/IniFiles.h"

#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>

namespace {

// Shell functions for the script below. start: the program, until its window is up; at X Y: a click
// at a point of its window, whose client area lies at 192,154 without a window manager; search TEXT
// FOLDER: both typed in, every file type ticked, Go; stop: Close, until the program has ended.
std::string ShellFunctions(const std::string& Program) {
    return "unset QT_QPA_PLATFORM; "
           "start() { " +
           testutil::Quote(Program) +
           " & pid=$!; for i in $(seq 150); do "
           "  xdotool search --onlyvisible --name 'Locates files within Archives' >/dev/null && break; sleep "
           "0.1; "
           "done; sleep 2; }; "
           "at() { xdotool mousemove $((192 + $1)) $((154 + $2)) click 1; sleep 0.5; }; "
           "search() { at 100 46; xdotool type \"$1\"; at 320 46; xdotool key ctrl+a; xdotool type \"$2\"; "
           "  at 520 44; xdotool key space; sleep 0.5; at 152 398; sleep 2; }; "
           "stop() { at 471 440; for i in $(seq 300); do kill -0 $pid 2>/dev/null || return 0; sleep 0.1; "
           "done; "
           "  kill $pid 2>/dev/null; true; }; ";
}

// Another program's window that takes dropped files: it writes the first one's address and content to a
// file and ends.
class TDropTarget : public QRasterWindow {
public:
    explicit TDropTarget(QString Out) : FOut(std::move(Out)) {
        setTitle("drop target");
        setGeometry(0, 0, 150, 150);
    }

protected:
    bool event(QEvent* E) override {
        if (E->type() == QEvent::Drop) {
            const QUrl First = static_cast<QDropEvent*>(E)->mimeData()->urls().value(0);
            QFile Out(FOut), In(First.toLocalFile());
            if (Out.open(QIODevice::WriteOnly) && In.open(QIODevice::ReadOnly))
                Out.write(First.toLocalFile().toUtf8() + "\n" + In.readAll());
            QTimer::singleShot(200, qApp, &QCoreApplication::quit);
        }
        if (E->type() != QEvent::DragEnter && E->type() != QEvent::DragMove && E->type() != QEvent::Drop)
            return QRasterWindow::event(E);
        static_cast<QDropEvent*>(E)->acceptProposedAction();
        return true;
    }

private:
    QString FOut;
};

} // namespace

class XvfbWindowTest : public QObject {
    Q_OBJECT

private slots:
    // A search typed and run, its entry dragged onto another program's window (it arrives there, extracted
    // into the private temporary folder when the button was let go), Case ticked, the window closed: the
    // settings file holds the text, the folder and the ticks. A second run loads them: closed again, it
    // writes the same file.
    void AsAUserSeesIt() {
        for (const char* Tool : {"xvfb-run", "xdotool", "xwininfo"})
            if (QStandardPaths::findExecutable(Tool).isEmpty())
                QSKIP("xvfb-run, xdotool and xwininfo are needed");
        using testutil::Quote;
        testutil::TScratchDir D;
        const std::string Tree = D / "tree", Png = testutil::BinDir() + "/../tarnlet-window.png";
        testutil::MakeZip(Tree + "/a.zip", {{"dir/Unit1.pas", "the needle here\n"}});
        // A copy of the program, so that its settings file lies in the scratch folder.
        const std::string Program = D / "tarnlet", Ini = D / "tarnlet.INI";
        std::filesystem::copy_file(testutil::BinDir() + "/tarnlet", Program);
        const std::string Self = Quote(QCoreApplication::applicationFilePath().toStdString());
        const std::string Temp = JoinPath(PrivateTempFolder(), "Unit1.pas");
        const std::string Server = std::to_string(100 + QCoreApplication::applicationPid() % 5000);
        // Fixed pauses between the steps: on a loaded machine a run may miss one, so it may be run again.
        // The target's window lies at 0,0; the entry's line of the tree at 85,180 of the program's window.
        for (int Run = 0; Run < 3 && !(FileExists(D / "dropped") && FileExists(D / "first.INI")); ++Run) {
            for (const std::string& Old : {Ini, D / "dropped", D / "first.INI", Temp})
                DeleteFile(Old);
            // A fresh 1024 by 768 X server. Its number comes from the process id: "xvfb-run -a" picks the
            // first free one, and two test programs starting at once pick the same.
            QCOMPARE(
                testutil::Run(
                    "xvfb-run -n " + Server + " -s '-screen 0 1024x768x24' sh -c " +
                    Quote(ShellFunctions(Program) + Self + " --drop-target " + Quote(D / "dropped") +
                          " & target=$!; start; search needle " + Quote(Tree) +
                          "; at 85 180; sleep 1; xdotool mousedown 1; "
                          "for p in 290,350 250,300 150,200 80,80 75,75; do "
                          "  xdotool mousemove ${p%,*} ${p#*,}; sleep 0.4; "
                          "done; xdotool mouseup 1; "
                          "for i in $(seq 100); do kill -0 $target 2>/dev/null || break; sleep 0.1; done; "
                          "kill $target 2>/dev/null; at 24 72; stop; grep -q needle " +
                          Quote(Ini) + " && cp " + Quote(Ini) + " " + Quote(D / "first.INI") +
                          "; start; xwininfo -root -tree | grep 'Locates files within Archives' > " +
                          Quote(D / "window") + "; " + Self + " --grab " + Quote(Png) + "; stop >/dev/null") +
                    " 2>/dev/null"),
                0);
        }
        QCOMPARE(testutil::ReadFile(D / "dropped"), Temp + "\nthe needle here\n");
        const TIniFile Settings(D / "first.INI");
        QCOMPARE(Settings.ReadString("SearchStr", "ss0", ""), std::string("needle"));
        QCOMPARE(Settings.ReadString("Options", "LastPath", ""), Tree + "/");
        QCOMPARE(Settings.ReadString("Options", "CaseChk", ""), std::string("1"));
        QCOMPARE(Settings.ReadString("MaskTypes", "Text Files (*.txt)", ""), std::string("1"));
        QCOMPARE(testutil::ReadFile(Ini), testutil::ReadFile(D / "first.INI"));

        const QString Line = QString::fromStdString(testutil::ReadFile(D / "window")).trimmed();
        QVERIFY2(Line.contains("\"tarnlet Locates files within Archives which contain a specific string of "
                               "text.\""),
                 qPrintable(Line));
        // Without a window manager the client area is the window: 639 by 460, centred on 1024 by 768.
        const auto M = QRegularExpression(R"(\b(\d+)x(\d+)\+\d+\+\d+\s+\+(\d+)\+(\d+))").match(Line);
        QVERIFY2(M.hasMatch(), qPrintable(Line));
        QCOMPARE(M.captured(1) + "x" + M.captured(2), QString("639x460"));
        QVERIFY(qAbs(M.captured(3).toInt() - (1024 - 639) / 2) <= 1 &&
                qAbs(M.captured(4).toInt() - (768 - 460) / 2) <= 1);
        QVERIFY(QPixmap(QString::fromStdString(Png)).width() == 1024);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--drop-target") == 0) {
        QGuiApplication App(argc, argv);
        TDropTarget Target(QString::fromLocal8Bit(argv[2]));
        Target.show();
        return App.exec();
    }
    if (argc == 3 && std::strcmp(argv[1], "--grab") == 0) {
        QGuiApplication App(argc, argv);
        return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]) ? 0 : 1;
    }
    QGuiApplication App(argc, argv);
    XvfbWindowTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "XvfbWindowTest.moc"
