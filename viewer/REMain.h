#pragma once
// The Zoom Viewer: a resizable rich-text editor window with a menu, a tool bar and a status bar, filled
// by the main window with the shown entry and opened modally; it opens, saves, prints, edits and changes
// fonts.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QFont;
class QLabel;
class QPrinter;
class QTextCharFormat;
class TRichEdit;

namespace Ui {
class TViewerForm;
}

class TViewerForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TViewerForm(QWidget* Parent = nullptr);
    ~TViewerForm() override;

    // The common dialogs, replaceable so a test can answer them. A file dialog returns the chosen name
    // (empty when cancelled) and the filter chosen in it.
    struct TDialogs {
        std::function<QString(QWidget* Owner, const QString& Folder, QString& Filter)> Open;
        std::function<QString(QWidget* Owner, const QString& Folder, QString& Filter)> Save;
        std::function<bool(QWidget* Owner, QPrinter& Printer)> Print;
        std::function<bool(QWidget* Owner, QFont& Font)> Font;
    };
    TDialogs Dialogs;

    const QString& Filename() const { return FFilename; }
    void SetFilename(const QString& Value);
    TRichEdit* Editor() const;

    // The Zoom Viewer hand-over: the main pane's default attributes; its converted text when it shows
    // plain text, else the rich file LastTempFile; the file's name as the viewer's.
    void TakeOver(const TRichEdit& Pane, const QTextCharFormat& DefaultAttributes,
                  const std::string& LastTempFile);
    // Shows the window and returns once it has closed.
    void ShowModal();

    void FileNew();
    void FileOpen();
    void FileSave();
    void FileSaveAs();
    void FilePrint();
    void SelectFont();
    // Opens FileName in place of the content; false (content and name unchanged) when it cannot.
    bool OpenDocument(const QString& FileName);

signals:
    void Closed();

protected:
    void showEvent(QShowEvent* Event) override;     // FormShow
    void closeEvent(QCloseEvent* Event) override;   // FormCloseQuery
    void resizeEvent(QResizeEvent* Event) override; // FormResize
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void SetIcons();
    // False when the user cancelled: the calling operation stops.
    bool ConfirmDiscard();
    void SaveTo(const QString& Name, bool AsPlainText);
    void ShowCaretPosition();
    void ShowModifiedState(bool Modified);
    void ApplyTextMargins();
    void ActionList2Update();

    std::unique_ptr<Ui::TViewerForm> Ui;
    QLabel* FCaretPanel;
    QLabel* FModifiedPanel;
    QString FFilename;
    bool FSaveAsText = false; // the text filter was chosen when the current file was saved
};
