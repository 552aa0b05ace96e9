// tarnlet: the main window program.

#include "platform/Files.h"
#include "ui/Application.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    Application().HelpFile = JoinPath(ProgramFolder(), "tarnlet.hlp");
    Application().Title = "Tarnlet v2.1";
    TQtPlatform Platform;
    TForm1 Form1;
    // The message loop runs until the main window closes, whatever else is open then.
    App.setQuitOnLastWindowClosed(false);
    QObject::connect(&Form1, &TForm1::FormClosed, &App, &QApplication::quit);
    Form1.show();
    return App.exec();
}
