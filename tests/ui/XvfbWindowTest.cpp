// The real program on a real X server (Xvfb): its window's title, size and place, and a screenshot left in
// the build folder (tarnlet-window.png) for a person to look at.

#include "common/TestUtil.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <cstring>

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
        QCOMPARE(testutil::Run(
                     "xvfb-run -a -s '-screen 0 1024x768x24' sh -c " + Quote(Script) + " 2>/dev/null", &Out),
                 0);
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
