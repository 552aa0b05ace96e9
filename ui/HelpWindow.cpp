#include "ui/HelpWindow.h"

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpWindow::THelpWindow(QWidget* Owner) : QWidget(Owner, Qt::Window), Browser(new QTextBrowser(this)) {
    Browser->setObjectName("Browser");
    Browser->setOpenExternalLinks(true);
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(Browser);
    resize(640, 520);
}

void THelpWindow::ShowContents(const QString& File) {
    if (!QFileInfo(File).isFile()) {
        ShowMessageBox(Format("Cannot open the help file %s", {File.toStdString()}), "", mbOK);
        return;
    }
    // The file name does not say HTML, so the type is given.
    Browser->setSource(QUrl::fromLocalFile(File), QTextDocument::HtmlResource);
    setWindowTitle(Browser->documentTitle().isEmpty() ? QFileInfo(File).fileName()
                                                      : Browser->documentTitle());
    show();
    raise();
    activateWindow();
    Browser->verticalScrollBar()->setValue(0);
    Browser->scrollToAnchor("contents");
}
