// The drag source without a drag: its format list, the file-drop block, the answers to the drag loop,
// and its data as a drop target on the desktop asks for it.

#include "ui/DropSource.h"

#include <QTest>
#include <cstring>

namespace {

// A source with no formats of its own.
class TBareSource : public TDropSource {
public:
    TBareSource() : TDropSource(nullptr) {}
    uint32_t RenderData(const TFormatEtc&, TStgMedium&) override { return drBadFormat; }
    QMimeData* CreateMimeData() override { return nullptr; }
};

uint32_t U32At(const std::vector<uint8_t>& B, size_t At) {
    uint32_t V;
    std::memcpy(&V, B.data() + At, sizeof V);
    return V;
}

} // namespace

class DropSourceTest : public QObject {
    Q_OBJECT

private slots:
    void FormatList() {
        TBareSource Bare;
        QCOMPARE(Bare.QueryGetData({cfFileDrop, nullptr, aspContent, -1, medMemory}), uint32_t(drFail));
        for (int I = 0; I < 21; ++I)
            Bare.AddFormat(uint16_t(100 + I), nullptr, aspContent, -1, medMemory);
        QCOMPARE(Bare.FormatCount(), 20);
        QCOMPARE(Bare.Formats(19).Format, uint16_t(119));
        QCOMPARE(Bare.QueryGetData({120, nullptr, aspContent, -1, medMemory}), uint32_t(drFail));

        TDropFileSource Files(nullptr);
        QCOMPARE(Files.FormatCount(), 1);
        QCOMPARE(Files.Dragtypes, TDragTypes{dtCopy});
        struct {
            TFormatEtc Format;
            uint32_t Answer;
        } const Queries[] = {
            {{cfFileDrop, nullptr, aspContent, -1, medMemory}, drOk},
            {{cfFileDrop, nullptr, aspContent, -1, medMemory | medStream}, drOk},
            {{cfFileDrop, nullptr, aspContent, -1, medStream}, drFail},
            {{cfFileDrop, nullptr, 2, -1, medMemory}, drFail},
            {{16, nullptr, aspContent, -1, medMemory}, drFail},
        };
        for (const auto& Q : Queries)
            QCOMPARE(Files.QueryGetData(Q.Format), Q.Answer);
    }

    void FileDropBlock() {
        TDropFileSource Source(nullptr);
        TStgMedium M;
        const TFormatEtc Drop{cfFileDrop, nullptr, aspContent, -1, medMemory};
        QCOMPARE(Source.RenderData(Drop, M), uint32_t(drUnexpected));
        Source.Files = {"/T/dir/a.txt", "/T/dir/b.txt"};
        QCOMPARE(Source.RenderData({cfFileDrop, nullptr, aspContent, -1, medStream}, M),
                 uint32_t(drBadFormat));
        QCOMPARE(Source.RenderData({16, nullptr, aspContent, -1, medMemory}, M), uint32_t(drBadFormat));
        QCOMPARE(M.Medium, uint32_t(0));

        Source.Files = {"/T/a.txt/x", "/T/b.txt/y"}; // 10 bytes each
        QCOMPARE(Source.RenderData(Drop, M), uint32_t(drOk));
        QCOMPARE(M.Medium, medMemory);
        QCOMPARE(M.Data.size(), size_t(20 + 11 + 11 + 1));
        QCOMPARE(U32At(M.Data, 0), uint32_t(20));
        for (size_t At : {4, 8, 12, 16})
            QCOMPARE(U32At(M.Data, At), uint32_t(0));
        const std::string Tail(M.Data.begin() + 20, M.Data.end());
        QCOMPARE(Tail, std::string("/T/a.txt/x\0/T/b.txt/y\0\0", 23));
    }

    // The drag loop's questions while the button is held, on release and on escape.
    void DragLoopAnswers() {
        TDropFileSource Source(nullptr);
        int Asked = 0;
        bool Allow = true;
        TDragType AskedType = dtLink;
        Source.OnDrop = [&](TDropSource&, TDragType T, bool& Continue) {
            ++Asked;
            AskedType = T;
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
            {deCopy, false, ksLeftButton, true, drOk, 0},    // still dragging
            {deCopy, false, ksRightButton, true, drOk, 0},
            {deNone, false, 0, true, drCancel, 0},           // released where nothing accepts
            {deCopy, false, 0, true, drDrop, 1},             // released over a target
            {deCopy | deMove, false, 0, false, drCancel, 1}, // the owner refuses
            {deMove, false, 0, false, drDrop, 0},            // a move was not offered: no question
        };
        for (const auto& R : Rows) {
            Asked = 0;
            Allow = R.Allow;
            Source.GiveFeedback(R.Effect);
            QCOMPARE(Source.QueryContinueDrag(R.Escape, R.Keys), R.Answer);
            QCOMPARE(Asked, R.Asked);
            if (R.Asked)
                QCOMPARE(AskedType, dtCopy);
        }

        int Told = -1;
        QCOMPARE(Source.GiveFeedback(deLink), uint32_t(drUseDefaultCursors));
        Source.OnFeedback = [&](TDropSource&, int32_t Effect, bool& Default) {
            Told = Effect;
            Default = false;
        };
        QCOMPARE(Source.GiveFeedback(deCopy), uint32_t(drOk));
        QCOMPARE(Told, int(deCopy));
        QCOMPARE(Source.FeedbackEffect(), uint32_t(deCopy));
    }

    void DragResults() {
        struct {
            uint32_t Code, Effect, Allowed;
            TDragResult Result;
        } const Rows[] = {
            {drDrop, deCopy, deCopy, DragCopied},
            {drDrop, deCopy | deMove, deCopy | deMove, DragCopied},
            {drDrop, deMove, deCopy | deMove, DragMoved},
            {drDrop, deLink, deLink, DragLinked},
            {drDrop, deMove, deCopy, DragCancelled},
            {drDrop, deNone, deCopy, DragCancelled},
            {drCancel, deCopy, deCopy, DragCancelled},
            {drOutOfMemory, deCopy, deCopy, DragOutOfMemory},
            {drFail, deCopy, deCopy, DragFailed},
        };
        for (const auto& R : Rows)
            QCOMPARE(TDropSource::DragResultOf(R.Code, R.Effect, R.Allowed), R.Result);
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
        QCOMPARE(Asked, 0);
        QCOMPARE(Data->data("text/uri-list"), QByteArray("file:///tmp/x%20y.txt\r\n"));
        QCOMPARE(Data->urls(), QList<QUrl>{QUrl::fromLocalFile("/tmp/x y.txt")});
        QCOMPARE(Data->text(), QString("/tmp/x y.txt"));
        QCOMPARE(Asked, 1);

        // Refused: the target gets nothing, however often it asks.
        Allow = false;
        Data.reset(Source.CreateMimeData());
        QVERIFY(Data->data("text/uri-list").isEmpty());
        QVERIFY(Data->data("text/plain").isEmpty());
        QCOMPARE(Asked, 2);

        // A target that accepted nothing never causes the question.
        Source.GiveFeedback(deNone);
        Data.reset(Source.CreateMimeData());
        QVERIFY(Data->data("text/uri-list").isEmpty());
        QCOMPARE(Asked, 2);
    }
};

QTEST_MAIN(DropSourceTest)
#include "DropSourceTest.moc"
