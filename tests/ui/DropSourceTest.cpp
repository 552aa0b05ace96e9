// The drag source without a drag: its format list, the file-drop block, the answers to the drag loop,
// and its data as a drop target on the desktop asks for it.

#include "ui/DropSource.h"

#include <QTest>
#include <cstring>

namespace {

const TFormatEtc FileDrop{cfFileDrop, nullptr, aspContent, -1, medMemory};

} // namespace

class DropSourceTest : public QObject {
    Q_OBJECT

private slots:
    void Formats() {
        TDropFileSource Source(nullptr);
        for (int I = 0; I < 21; ++I)
            Source.AddFormat(uint16_t(100 + I), nullptr, aspContent, -1, medMemory);
        QCOMPARE(Source.FormatCount(), 20);
        QCOMPARE(Source.Formats(19).Format, uint16_t(118));
        struct {
            TFormatEtc Format;
            uint32_t Answer;
        } const Queries[] = {
            {FileDrop, drOk},
            {{cfFileDrop, nullptr, aspContent, -1, medMemory | medStream}, drOk},
            {{cfFileDrop, nullptr, aspContent, -1, medStream}, drFail},
            {{cfFileDrop, nullptr, 2, -1, medMemory}, drFail},
            {{120, nullptr, aspContent, -1, medMemory}, drFail},
        };
        for (const auto& Q : Queries)
            QCOMPARE(Source.QueryGetData(Q.Format), Q.Answer);
    }

    void FileDropBlock() {
        TDropFileSource Source(nullptr);
        TStgMedium M;
        QCOMPARE(Source.RenderData(FileDrop, M), uint32_t(drUnexpected));
        Source.Files = {"/T/a.txt/x", "/T/b.txt/y"}; // 10 bytes each
        QCOMPARE(Source.RenderData({cfFileDrop, nullptr, aspContent, -1, medStream}, M),
                 uint32_t(drBadFormat));
        QCOMPARE(Source.RenderData(FileDrop, M), uint32_t(drOk));
        QCOMPARE(M.Medium, medMemory);
        // The list's offset (20), a drop point, two flags, then each path with its zero, and one more zero.
        const std::string Expected = std::string("\x14\0\0\0", 4) + std::string(16, '\0') +
                                     std::string("/T/a.txt/x\0/T/b.txt/y\0\0", 23);
        QCOMPARE(std::string(M.Data.begin(), M.Data.end()), Expected);
        QCOMPARE(M.Data.size(), size_t(43));
    }

    // The drag loop's questions while the button is held, on release and on escape.
    void DragLoopAnswers() {
        TDropFileSource Source(nullptr);
        int Asked = 0;
        bool Allow = true;
        Source.OnDrop = [&](TDropSource&, TDragType T, bool& Continue) {
            Asked += T == dtCopy ? 1 : 100;
            Continue = Allow;
        };
        struct {
            uint32_t Effect;
            bool Escape;
            uint32_t Keys;
            bool Allow;
            uint32_t Answer;
            int Asked;
        } const Rows[] = {
            {deCopy, true, ksLeftButton, true, drCancel, 0}, // escape, whatever the buttons
            {deCopy, false, ksRightButton, true, drOk, 0},   // still dragging
            {deNone, false, 0, true, drCancel, 0},           // released where nothing accepts
            {deCopy, false, 0, true, drDrop, 1},             // released over a target
            {deCopy | deMove, false, 0, false, drCancel, 1}, // the owner refuses
            {deMove, false, 0, false, drDrop, 0},            // a move was not offered: no question
        };
        for (const auto& R : Rows) {
            Asked = 0;
            Allow = R.Allow;
            QCOMPARE(Source.GiveFeedback(R.Effect), uint32_t(drUseDefaultCursors));
            QCOMPARE(Source.QueryContinueDrag(R.Escape, R.Keys), R.Answer);
            QCOMPARE(Asked, R.Asked);
        }
    }

    // A drop target asks for the list: the owner is asked once, and may put the real file in its place.
    void DesktopData() {
        TDropFileSource Source(nullptr);
        Source.Files = {"$$$/a/b.zip$$$x y.txt"};
        int Asked = 0;
        bool Allow = true;
        Source.OnDrop = [&](TDropSource& S, TDragType, bool& Continue) {
            ++Asked;
            static_cast<TDropFileSource&>(S).Files[0] = "/tmp/x y.txt";
            Continue = Allow;
        };
        Source.GiveFeedback(deCopy);
        std::unique_ptr<QMimeData> Data(Source.CreateMimeData());
        QCOMPARE(Data->formats(), (QStringList{"text/uri-list", "text/plain"}));
        QVERIFY(Data->data("image/png").isEmpty());
        QCOMPARE(Data->data("text/uri-list"), QByteArray("file:///tmp/x%20y.txt\r\n"));
        QCOMPARE(Data->urls(), QList<QUrl>{QUrl::fromLocalFile("/tmp/x y.txt")});
        QCOMPARE(Data->text(), QString("/tmp/x y.txt"));
        QCOMPARE(Asked, 1);

        // Refused, or over a target that accepted nothing: no data, however often it is asked for.
        for (uint32_t Effect : {deCopy, deNone}) {
            Allow = false;
            Source.GiveFeedback(Effect);
            Data.reset(Source.CreateMimeData());
            QVERIFY(Data->data("text/uri-list").isEmpty());
            QVERIFY(Data->data("text/plain").isEmpty());
        }
        QCOMPARE(Asked, 2);
    }
};

QTEST_MAIN(DropSourceTest)
#include "DropSourceTest.moc"
