// Selecting a match in the window: a 20 MB text entry and a 20 MB binary entry (dotted rendering), each
// deflated in an archive, shown with the first occurrence selected. The whole selection is timed, then
// its parts one by one: extraction, conversion, stream-in and layout, finding, painting. Offscreen;
// processor time of the window's thread.

#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "text/Conversion.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "ui/arcscanu.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr size_t EntrySize = 20u << 20;

// Processor time of this thread, so that other work on the machine does not count.
double Now() {
    timespec T;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) / 1e9;
}

// Counts the paints of a widget.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* E) override {
        if (E->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

void Measure(TForm1& Form, const std::string& Folder, const std::string& Entry) {
    auto* Tree = Form.findChild<QTreeWidget*>("TreeView1");
    auto* Pane = Form.findChild<TRichEdit*>("RichEdit1");
    Form.findChild<QComboBox*>("SearchStr")->setEditText("needle");
    Form.findChild<QComboBox*>("SearchPath")->setEditText(QString::fromStdString(Folder + "/"));
    {
        const QSignalBlocker Quiet(Tree);
        Form.ScannerContextFound(Folder + "/BIG.ZIP", Entry, 0, 0);
        Tree->clearSelection();
    }
    QApplication::processEvents();
    TPaintCounter Counter;
    Pane->viewport()->installEventFilter(&Counter);
    QTreeWidgetItem* Archive = Tree->topLevelItem(Tree->topLevelItemCount() - 1);

    double Start = Now();
    Tree->setCurrentItem(Archive->child(Archive->childCount() - 1));
    const double Shown = Now() - Start;
    Pane->repaint();
    QApplication::processEvents();
    const double Total = Now() - Start;
    Pane->viewport()->removeEventFilter(&Counter);

    // The parts, each on its own.
    const std::string Temp = JoinPath(PrivateTempFolder(), "bench-part");
    Start = Now();
    {
        TAbZipArchive Zip(Folder + "/big.zip", fmOpenRead | fmShareDenyNone);
        Zip.Load();
        Zip.SetBaseDirectory(PrivateTempFolder());
        for (int I = 0; I < Zip.Count(); ++I)
            if (Zip.Items(I)->GetFileName() == Entry)
                UnzipItemToFile(Zip, *Zip.Items(I), "bench-part");
    }
    const double Extraction = Now() - Start;
    Start = Now();
    std::string Text;
    {
        TFileStream In(Temp, fmOpenRead);
        Text = ReadAllConverted(In, Entry, ConversionClass<THexConversion>());
    }
    const double Conversion = Now() - Start;
    TRichEdit Edit;
    Edit.resize(Pane->size());
    Edit.SetPlainText(true);
    Edit.show();
    Start = Now();
    Edit.StreamIn(Text);
    const double StreamIn = Now() - Start;
    Start = Now();
    const int Found = Edit.FindText("needle", 1, Edit.TextLength(), false);
    const double Find = Now() - Start;
    Edit.SetSelStart(Found);
    Edit.SetSelLength(6);
    Edit.ensureCursorVisible();
    Start = Now();
    Edit.repaint();
    const double Paint = Now() - Start;
    DeleteFile(Temp);

    std::printf("%-9s shown in %.3f s (until painted %.3f s), pane painted %d time(s), selection at %d\n",
                Entry.c_str(), Shown, Total, Counter.Paints, Pane->SelStart());
    std::printf("          parts: extraction %.3f s, conversion %.3f s, stream-in and layout %.3f s, "
                "find %.3f s, paint %.3f s\n",
                Extraction, Conversion, StreamIn, Find, Paint);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    TQtPlatform Platform;
    const std::string Folder = JoinPath(ProgramFolder(), "../../bench/out/display");
    testutil::Run("mkdir -p " + testutil::Quote(Folder));
    if (!FileExists(Folder + "/big.zip")) {
        std::string Text = testutil::SampleText(EntrySize, 13);
        Text.replace(EntrySize / 2, 6, "needle");
        std::string Binary = testutil::RandomBytes(EntrySize, 13);
        Binary.replace(EntrySize / 2, 6, "needle");
        testutil::WriteFile(Folder + "/big.txt", Text);
        testutil::WriteFile(Folder + "/big.bin", Binary);
        if (testutil::Run("cd " + testutil::Quote(Folder) + " && zip -q -6 big.zip big.txt big.bin") != 0) {
            std::fputs("zip failed\n", stderr);
            return 1;
        }
    }
    TForm1 Form;
    Form.show();
    QApplication::processEvents();
    Measure(Form, Folder, "big.txt");
    Measure(Form, Folder, "big.bin");
    return 0;
}
