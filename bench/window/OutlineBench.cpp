// The extract window: opening a 100,000-entry archive in the zip outline (time and memory, the tree
// expanded and drawn once), and extracting a large archive through the dialog next to
// `tarnlet-cli extract` on the same archive.
// Usage: bench_OutlineBench [BIG_ARCHIVE [OUTLINE_ARCHIVE]]  (default bench/out/cli-test.zip, made by
// bench/cli-test.sh, and a 100,000-entry archive made on first run)
// Run with QT_QPA_PLATFORM=offscreen when there is no display.

#include "platform/Files.h"
#include "ui/AbZipOut.h"
#include "ui/ExtractU.h"
#include "ui/OverWU.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string Out = ExtractFilePath(__FILE__) + "../out";

double Seconds(const std::chrono::steady_clock::time_point& Since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

// Resident memory of this process in MB.
double ResidentMb() {
    std::ifstream Status("/proc/self/status");
    std::string Line;
    while (std::getline(Status, Line))
        if (Line.rfind("VmRSS:", 0) == 0)
            return std::atof(Line.c_str() + 6) / 1024;
    return 0;
}

void Shell(const std::string& Command) {
    if (std::system(Command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", Command.c_str());
}

// 100,000 small entries three folder levels deep.
std::string OutlineArchive() {
    const std::string Zip = Out + "/outline100k.zip";
    if (!FileExists(Zip))
        Shell("mkdir -p '" + Out +
              "' && python3 -c \"import zipfile\n"
              "z = zipfile.ZipFile('" +
              Zip +
              "', 'w')\n"
              "for i in range(100000):\n"
              "    z.writestr('d%02d/e%02d/f%06d.txt' % (i // 10000, i // 1000 % 10, i), b'y' * (i % 40))\n"
              "z.close()\"");
    return Zip;
}

void MeasureOutline(const std::string& Zip) {
    TAbZipOutline Outline;
    Outline.resize(323, 300);
    Outline.show();
    QApplication::processEvents();
    const double Before = ResidentMb();
    const auto T = std::chrono::steady_clock::now();
    Outline.SetFileName(Zip);
    QApplication::processEvents();
    const double Open = Seconds(T);
    std::printf("outline: %d entries opened, expanded and drawn in %.3f s, %.1f MB more memory\n",
                Outline.EntryCount(), Open, ResidentMb() - Before);
    const auto Again = std::chrono::steady_clock::now();
    Outline.CollapseAll();
    QApplication::processEvents();
    Outline.ExpandAll();
    QApplication::processEvents();
    std::printf("outline: collapsed, expanded and drawn again in %.3f s\n", Seconds(Again));
}

void MeasureExtraction(const std::string& Zip) {
    if (!FileExists(Zip)) {
        std::printf("extraction: %s is missing (bench/cli-test.sh makes it)\n", Zip.c_str());
        return;
    }
    const std::string Cli = Out + "/extract-cli", Dialog = Out + "/extract-dialog";
    Shell("rm -rf '" + Cli + "' '" + Dialog + "' && mkdir -p '" + Cli + "' '" + Dialog + "' && cat '" + Zip +
          "' >/dev/null");
    auto T = std::chrono::steady_clock::now();
    Shell("'" + ProgramFolder() + "/tarnlet-cli' extract -o '" + Zip + "' '" + Cli + "' >/dev/null");
    const double CliSeconds = Seconds(T);

    TOverWriteDlg OverWrite;
    TExtractDlg Dlg(OverWrite);
    Dlg.ZipOutline()->OpenArchive(Zip);
    Dlg.ExtractPath()->setEditText(QString::fromStdString(Dialog));
    Dlg.show();
    QApplication::processEvents();
    T = std::chrono::steady_clock::now();
    Dlg.findChild<QPushButton*>("ExtractBtn")->click();
    const double DialogSeconds = Seconds(T);
    std::printf("extraction of %s: tarnlet-cli extract %.2f s, dialog %.2f s, ratio dialog / cli %.2f\n",
                Zip.c_str(), CliSeconds, DialogSeconds, DialogSeconds / CliSeconds);
    Shell("diff -r -q '" + Cli + "' '" + Dialog + "' && rm -rf '" + Cli + "' '" + Dialog + "'");
}

} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    MeasureOutline(argc > 2 ? argv[2] : OutlineArchive());
    MeasureExtraction(argc > 1 ? argv[1] : Out + "/cli-test.zip");
    return 0;
}
