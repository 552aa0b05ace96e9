#include "ui/QtPlatform.h"

#include "platform/Dialogs.h"
#include "platform/Thread.h"
#include "ui/Application.h"

#include <QApplication>
#include <QMessageBox>

namespace {

struct TButtonSet {
    QMessageBox::StandardButtons Buttons;
    QMessageBox::StandardButton Default;
    QMessageBox::Icon Icon;
};

TButtonSet ButtonsFor(unsigned Buttons) {
    switch (Buttons) {
    case mbOKCancel:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Question};
    case mbAbortRetryIgnore:
        return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort,
                QMessageBox::Warning};
    case mbYesNoCancel:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                QMessageBox::Question};
    case mbYesNo:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::Question};
    case mbRetryCancel:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry, QMessageBox::Warning};
    default:
        return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Information};
    }
}

int ResultOf(int Button) {
    switch (Button) {
    case QMessageBox::Abort:
        return idAbort;
    case QMessageBox::Retry:
        return idRetry;
    case QMessageBox::Ignore:
        return idIgnore;
    case QMessageBox::Yes:
        return idYes;
    case QMessageBox::No:
        return idNo;
    case QMessageBox::Ok:
        return idOK;
    default:
        return idCancel;
    }
}

int QtMessageBox(const std::string& Text, const std::string& Caption, unsigned Buttons) {
    int Result = idCancel;
    RunOnMainThread([&] {
        const TButtonSet Set = ButtonsFor(Buttons);
        const std::string& Title = Caption.empty() ? Application().Title : Caption;
        QMessageBox Box(Set.Icon, QString::fromStdString(Title), QString::fromStdString(Text), Set.Buttons,
                        QApplication::activeWindow());
        Box.setDefaultButton(Set.Default);
        Result = ResultOf(Box.exec());
    });
    return Result;
}

} // namespace

TQtPlatform::TQtPlatform() {
    // A blocking queued call into the application's event loop; RunOnMainThread carries exceptions.
    SetMainThreadRunner([](const TThreadMethod& Method) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), Method, Qt::BlockingQueuedConnection);
    });
    SetMessageBoxHandler(QtMessageBox);
    SetBeepHandler([] { RunOnMainThread([] { QApplication::beep(); }); });
}

TQtPlatform::~TQtPlatform() {
    SetBeepHandler({});
    SetMessageBoxHandler({});
    SetMainThreadRunner({});
}
