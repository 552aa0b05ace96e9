#pragma once
// The "Extract Archive to..." dialog: one archive's tree, a target folder with history, and the
// extraction of the whole archive with progress, cancellation and the overwrite question.

#include <QDialog>
#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAbZipOutline;
class TOverWriteDlg;
class QComboBox;
class QLabel;

namespace Ui {
class TExtractDlg;
}

class TExtractDlg : public QDialog {
    Q_OBJECT
public:
    TExtractDlg(TOverWriteDlg& AOverWriteDlg, QWidget* Owner = nullptr);
    ~TExtractDlg() override;

    TAbZipOutline* ZipOutline() const;
    QComboBox* ExtractPath() const;
    QLabel* ArcFN() const;

    // The result of the last overwrite question in the current extraction (7 No when none was asked).
    int32_t OverwriteAnswer = 7;
    // The user asked the running extraction to stop.
    bool Aborted = false;
    // The folder of the last extraction that ran to its end since the dialog was opened; empty otherwise.
    std::string CompletedPath;
    // Asks for a folder, starting at Start; empty when the user cancels. A folder dialog unless replaced.
    std::function<QString(const QString& Start)> ChooseFolder;
    // Asks for a password with Prompt; false when the user gives none. A masked input box unless replaced.
    std::function<bool(const QString& Prompt, QString& Password)> AskPassword;

    // Escape and the close box press Cancel.
    void reject() override;
    void done(int Result) override; // FormClose

protected:
    void showEvent(QShowEvent* Event) override; // FormShow

private:
    void FormCreate();
    void BrowseBtnClick();
    void ExtractBtnClick();
    void CancelBtnClick();
    void ZipOutlineArchiveProgress(uint8_t Progress, bool& Abort);
    void ZipOutlineArchiveItemProgress(uint8_t Progress, bool& Abort);
    void ZipOutlineConfirmOverwrite(std::string& Name, bool& Confirm);
    void ZipOutlineNeedPassword(std::string& NewPassword);

    // The typed folder, made after asking when it does not exist; false when it cannot be used.
    bool PrepareFolder(const std::string& Folder);
    void SetRunning(bool Running);
    // Lets the window repaint and take Cancel during a long extraction.
    void KeepResponsive();

    std::unique_ptr<Ui::TExtractDlg> Ui;
    TOverWriteDlg& OverWriteDlg;
    bool FRunning = false;
    bool FCloseAfterRun = false; // closing was asked for while the extraction ran
    int FEntriesDone = 0;        // archive progress reports of the running extraction
    QElapsedTimer FSinceEvents;
    std::vector<std::string> FFailures;
    std::string FCurrentEntry;
    int FPasswordQuestions = 0; // for the current entry
    bool FNoPassword = false;   // the user gave none in this extraction
};
