// The real program on a real X server (Xvfb): its window's title, size and place, what it keeps between
// runs, and screenshots left in the build folder (tarnlet-window.png, tarnlet-restart.png) for a person
// to look at.

#include "common/TestUtil.h"
#include "platform/IniFiles.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <cstring>

namespace {

// Runs a shell script on a fresh 1024 by 768 X server. The server number comes from the process id:
// "xvfb-run -a" picks the first free one, and two test programs starting at once pick the same.
int RunOnXvfb(const std::string& Script, std::string* Out = nullptr) {
    const std::string Server = std::to_string(100 + QCoreApplication::applicationPid() % 5000);
    return testutil::Run("xvfb-run -n " + Server + " -s '-screen 0 1024x768x24' sh -c " +
                             testutil::Quote(Script) + " 2>/dev/null",
                         Out);
}

} // namespace

class XvfbWindowTest : public QObject {
    Q_OBJECT

private slots:
    void MainWindowOnXvfb() {
        if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
            QStandardPaths::findExecutable("xwininfo").isEmpty())
            QSKIP("xvfb-run and xwininfo are needed");
        using testutil::Quote;
        const std::string Png = testutil::BinDir() + "/../tarnlet-window.png";
        // The program runs until its window is listed and painted; the screenshot is taken by this test
        // program itself on the same server.
        const std::string Script = "unset QT_QPA_PLATFORM; " + Quote(testutil::BinDir() + "/tarnlet") +
                                   " & pid=$!; "
                                   "for i in $(seq 150); do "
                                   "  w=$(xwininfo -root -tree | grep 'Locates files within Archives'); "
                                   "  [ -n \"$w\" ] && break; sleep 0.1; "
                                   "done; "
                                   "sleep 1; echo \"$w\"; " +
                                   Quote(QCoreApplication::applicationFilePath().toStdString()) + " --grab " +
                                   Quote(Png) + "; kill $pid; wait $pid 2>/dev/null; true";
        std::string Out;
        QCOMPARE(RunOnXvfb(Script, &Out), 0);
        const QString Line = QString::fromStdString(Out).trimmed();
        QVERIFY2(Line.contains("\"tarnlet Locates files within Archives which contain a specific string of "
                               "text.\""),
                 qPrintable(Line));
        // Without a window manager the client area is the window: 639 by 460, centred on 1024 by 768.
        const QRegularExpression Geometry(R"(\b(\d+)x(\d+)\+\d+\+\d+\s+\+(\d+)\+(\d+))");
        const auto M = Geometry.match(Line);
        QVERIFY2(M.hasMatch(), qPrintable(Line));
        QCOMPARE(M.captured(1).toInt(), 639);
        QCOMPARE(M.captured(2).toInt(), 460);
        QVERIFY(qAbs(M.captured(3).toInt() - (1024 - 639) / 2) <= 1);
        QVERIFY(qAbs(M.captured(4).toInt() - (768 - 460) / 2) <= 1);
        QVERIFY(QPixmap(QString::fromStdString(Png)).width() == 1024);
    }

    // A search typed and run by mouse and keyboard, the window closed: the settings file holds the text,
    // the folder and the ticks. A second run loads them: closed again, it writes the same file.
    void SettingsSurviveARestart() {
        if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
            QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("xvfb-run and xdotool are needed");
        using testutil::Quote;
        testutil::TScratchDir D;
        QCOMPARE(testutil::Run("mkdir " + Quote(D / "tree") + " && cd " + Quote(D / "tree") +
                               " && echo 'a needle in here' > notes.txt && zip -q a.zip notes.txt"),
                 0);
        const std::string Ini = testutil::BinDir() + "/tarnlet.INI";
        const std::string Saved = D / "saved.INI";
        std::rename(Ini.c_str(), Saved.c_str());
        const std::string Png = testutil::BinDir() + "/../tarnlet-restart.png";
        // Without a window manager the window's client area lies at 192,154 on a 1024 by 768 screen; the
        // clicks are at control positions within it.
        const std::string Script =
            "unset QT_QPA_PLATFORM; "
            "start() { " +
            Quote(testutil::BinDir() + "/tarnlet") +
            " & pid=$!; "
            "  for i in $(seq 150); do "
            "    w=$(xdotool search --name 'Locates files within Archives' | head -1); "
            "    [ -n \"$w\" ] && break; sleep 0.1; "
            "  done; sleep 1; }; "
            "at() { xdotool mousemove $((192 + $1)) $((154 + $2)) click 1; sleep 0.3; }; "
            "stop() { at 471 440; for i in $(seq 100); do kill -0 $pid 2>/dev/null || return 0; sleep 0.1; "
            "done; "
            "  kill $pid; }; "
            "start; "
            "at 100 46; xdotool type needle; "
            "at 320 46; xdotool key ctrl+a; xdotool type " +
            Quote(D / "tree") +
            "; "
            "at 24 72; "
            "at 520 44; xdotool key space; "
            "at 152 398; sleep 1; "
            "stop; cp " +
            Quote(Ini) + " " + Quote(D / "first.INI") +
            "; "
            "start; " +
            Quote(QCoreApplication::applicationFilePath().toStdString()) + " --grab " + Quote(Png) + "; stop";
        const int Status = RunOnXvfb(Script + " >/dev/null");
        const std::string First = testutil::ReadFile(D / "first.INI");
        const std::string Second = testutil::ReadFile(Ini);
        std::remove(Ini.c_str());
        std::rename(Saved.c_str(), Ini.c_str());
        QCOMPARE(Status, 0);

        const TIniFile Settings(D / "first.INI");
        QCOMPARE(Settings.ReadString("SearchStr", "ss0", ""), std::string("needle"));
        QCOMPARE(Settings.ReadString("SearchPath", "ss0", ""), D / "tree/");
        QCOMPARE(Settings.ReadString("Options", "LastPath", ""), D / "tree/");
        QCOMPARE(Settings.ReadString("Options", "CaseChk", ""), std::string("1"));
        QCOMPARE(Settings.ReadString("Options", "SubFoldersChk", ""), std::string("0"));
        QCOMPARE(Settings.ReadString("MaskTypes", "All Files (*.*)", ""), std::string("1"));
        QCOMPARE(Settings.ReadString("MaskTypes", "Text Files (*.txt)", ""), std::string("1"));
        QCOMPARE(Second, First);
        QVERIFY(QPixmap(QString::fromStdString(Png)).width() == 1024);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--grab") == 0) {
        QGuiApplication App(argc, argv);
        return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]) ? 0 : 1;
    }
    QGuiApplication App(argc, argv);
    XvfbWindowTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "XvfbWindowTest.moc"
