// tarnlet: the main window program.

#include "platform/DataFiles.h"
#include "ui/Application.h"
#include "ui/ExtractU.h"
#include "ui/OverWU.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "ui/arcscanu.h"
#include "viewer/REMain.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    // The desktop matches the window to its menu entry and icon by these.
    QGuiApplication::setDesktopFileName("org.tarnlet.Tarnlet");
    QApplication::setWindowIcon(QIcon::fromTheme("org.tarnlet.Tarnlet"));
    Application().HelpFile = DataFilePath("tarnlet.hlp");
    Application().Title = "Tarnlet v2.1";
    TQtPlatform Platform;
    TForm1 Form1;
    TOverWriteDlg OverWriteDlg;
    TExtractDlg ExtractDlg(OverWriteDlg);
    Form1.ExtractDlg = &ExtractDlg;
    TViewerForm ViewerForm;
    QObject::connect(
        &Form1, &TForm1::ViewerRequested,
        [&ViewerForm](const TRichEdit* Pane, const QTextCharFormat& Attributes, const QString& File) {
            ViewerForm.TakeOver(*Pane, Attributes, File.toStdString());
            ViewerForm.ShowModal();
        });
    // The message loop runs until the main window closes, whatever else is open then.
    App.setQuitOnLastWindowClosed(false);
    QObject::connect(&Form1, &TForm1::FormClosed, &App, &QApplication::quit);
    Form1.show();
    return App.exec();
}
