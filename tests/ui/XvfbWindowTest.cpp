// The real program on a real X server (Xvfb), driven by mouse and keyboard: an entry dragged onto another
// program's window, what it keeps between runs, its window's title, size and place, and a screenshot left in
// the build folder (tarnlet-window.png) for a person to look at.

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/IniFiles.h"

#include <QTest>
#include <QtGui>
#include <cstring>
#include <filesystem>

namespace {

// start: the program, until its window is up; at X Y: a click into its window, whose client area lies at
// 192,154 without a window manager; search TEXT FOLDER: both typed, every file type ticked, Go; stop: Close,
// until the program has ended. Then: search, drag the entry onto the drop target (at 0,0), tick Case, close;
// keep the settings file; start again, note the window, take the screenshot, close.
const char* const Script = R"(unset QT_QPA_PLATFORM
start() { "$dir/tarnlet" & pid=$!; for i in $(seq 150); do
  xdotool search --onlyvisible --name 'Locates files within Archives' >/dev/null && break; sleep 0.1; done; sleep 2; }
at() { xdotool mousemove $((192 + $1)) $((154 + $2)) click 1; sleep 0.5; }
search() { at 100 46; xdotool type "$1"; at 320 46; xdotool key ctrl+a; xdotool type "$2"
  at 520 44; xdotool key space; sleep 0.5; at 152 398; sleep 2; }
stop() { at 471 440; for i in $(seq 300); do kill -0 $pid 2>/dev/null || return 0; sleep 0.1; done
  kill $pid 2>/dev/null; true; }
"$self" --drop-target "$dir/dropped" & target=$!
start; search needle "$dir/tree"; at 85 180; sleep 1; xdotool mousedown 1
for p in 290,350 250,300 150,200 80,80 75,75; do xdotool mousemove ${p%,*} ${p#*,}; sleep 0.4; done
xdotool mouseup 1; for i in $(seq 100); do kill -0 $target 2>/dev/null || break; sleep 0.1; done
kill $target 2>/dev/null; at 24 72; stop
grep -q needle "$dir/tarnlet.INI" && cp "$dir/tarnlet.INI" "$dir/first.INI"
start; xwininfo -root -tree | grep 'Locates files within Archives' > "$dir/window"; "$self" --grab "$png"
stop >/dev/null)";

// Another program's window that takes dropped files: it writes the first one's address and content to a
// file and ends.
class TDropTarget : public QRasterWindow {
public:
    explicit TDropTarget(QString Out) : FOut(std::move(Out)) { setGeometry(0, 0, 150, 150); }

protected:
    bool event(QEvent* E) override {
        if (E->type() != QEvent::DragEnter && E->type() != QEvent::DragMove && E->type() != QEvent::Drop)
            return QRasterWindow::event(E);
        auto* Drop = static_cast<QDropEvent*>(E);
        Drop->acceptProposedAction();
        if (E->type() == QEvent::Drop) {
            const QString First = Drop->mimeData()->urls().value(0).toLocalFile();
            QFile Out(FOut), In(First);
            if (Out.open(QIODevice::WriteOnly) && In.open(QIODevice::ReadOnly))
                Out.write(First.toUtf8() + "\n" + In.readAll());
            QTimer::singleShot(200, qApp, &QCoreApplication::quit);
        }
        return true;
    }

private:
    QString FOut;
};

} // namespace

class XvfbWindowTest : public QObject {
    Q_OBJECT

private slots:
    void AsAUserSeesIt() {
        for (const char* Tool : {"xvfb-run", "xdotool", "xwininfo"})
            if (QStandardPaths::findExecutable(Tool).isEmpty())
                QSKIP("xvfb-run, xdotool and xwininfo are needed");
        using testutil::Quote;
        testutil::TScratchDir D;
        const std::string Png = testutil::BinDir() + "/../tarnlet-window.png";
        testutil::MakeZip(D / "tree/a.zip", {{"dir/Unit1.pas", "the needle here\n"}});
        // A copy of the program, so that its settings file lies in the scratch folder.
        std::filesystem::copy_file(testutil::BinDir() + "/tarnlet", D / "tarnlet");
        const std::string Temp = JoinPath(PrivateTempFolder(), "Unit1.pas");
        // Its own X server, numbered by the process id: "xvfb-run -a" gives two programs starting at once
        // the same. The script's pauses may be too short on a loaded machine, so it may run again.
        const std::string Command = "dir=" + Quote(D.Path()) + " png=" + Quote(Png) +
                                    " self=" + Quote(QCoreApplication::applicationFilePath().toStdString()) +
                                    " xvfb-run -n " +
                                    std::to_string(100 + QCoreApplication::applicationPid() % 5000) +
                                    " -s '-screen 0 1024x768x24' sh -c " + Quote(Script) + " 2>/dev/null";
        for (int Run = 0; Run < 3 && !(FileExists(D / "dropped") && FileExists(D / "first.INI")); ++Run) {
            for (const std::string& Old : {D / "tarnlet.INI", D / "dropped", D / "first.INI", Temp})
                DeleteFile(Old);
            QCOMPARE(testutil::Run(Command), 0);
        }
        QCOMPARE(testutil::ReadFile(D / "dropped"), Temp + "\nthe needle here\n");
        const TIniFile Ini(D / "first.INI");
        QCOMPARE(Ini.ReadString("SearchStr", "ss0", "") + "|" + Ini.ReadString("Options", "LastPath", "") +
                     "|" + Ini.ReadString("Options", "CaseChk", "") +
                     Ini.ReadString("MaskTypes", "Text Files (*.txt)", ""),
                 "needle|" + D / "tree/|11");
        // Without a window manager the client area is the window: 639 by 460, centred on 1024 by 768.
        const QString Line = QString::fromStdString(testutil::ReadFile(D / "window"));
        const auto M =
            QRegularExpression(R"("tarnlet Locates files within Archives which contain a specific )"
                               R"(string of text.".* 639x460\+\d+\+\d+\s+\+(\d+)\+(\d+))")
                .match(Line);
        QVERIFY2(M.hasMatch(), qPrintable(Line));
        QVERIFY(qAbs(M.captured(1).toInt() - 192) <= 1 && qAbs(M.captured(2).toInt() - 154) <= 1);
        QCOMPARE(QImage(QString::fromStdString(Png)).width(), 1024);
    }
};

int main(int argc, char** argv) {
    QGuiApplication App(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--drop-target") == 0) {
        TDropTarget Target(QString::fromLocal8Bit(argv[2]));
        Target.show();
        return App.exec();
    }
    if (argc == 3 && std::strcmp(argv[1], "--grab") == 0)
        return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]) ? 0 : 1;
    XvfbWindowTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "XvfbWindowTest.moc"
