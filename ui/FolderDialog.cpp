#include "ui/FolderDialog.h"

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

class TFolderDialog : public QFileDialog {
public:
    TFolderDialog(QWidget* Parent, const QString& Start) : QFileDialog(Parent, "Select Folder", Start) {
        // The platform's own dialog would bypass the question below.
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::ShowDirsOnly);
        setFileMode(QFileDialog::Directory);
        setAcceptMode(QFileDialog::AcceptOpen);
    }

    void accept() override {
        const QStringList Chosen = selectedFiles();
        if (Chosen.size() == 1 && !QFileInfo::exists(Chosen.first())) {
            const std::string Folder = QDir::cleanPath(Chosen.first()).toStdString();
            if (ShowMessageBox(Format("The folder \"%s\" does not exist. Create it?", {Folder}), "",
                               mbYesNo) != idYes)
                return;
            if (!QDir().mkpath(QString::fromStdString(Folder))) {
                ShowMessageBox(Format("Unable to create folder %s", {Folder}), "", mbOK);
                return;
            }
        }
        QFileDialog::accept();
    }
};

} // namespace

QString ChooseFolder(QWidget* Parent, const QString& Start) {
    TFolderDialog Dlg(Parent, Start);
    if (Dlg.exec() != QDialog::Accepted || Dlg.selectedFiles().isEmpty())
        return {};
    return Dlg.selectedFiles().first();
}
