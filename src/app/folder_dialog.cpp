#include "app/folder_dialog.h"

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>

namespace quorvane::app {

FolderDialog::FolderDialog(QWidget* parent, const QString& startFolder)
    : QFileDialog(parent, tr("Default Report Output Path"), startFolder) {
  setObjectName("FolderDialog");
  setFileMode(QFileDialog::Directory);
  setOption(QFileDialog::ShowDirsOnly);
  // The platform's own dialog cannot be asked to accept a folder that does not exist.
  setOption(QFileDialog::DontUseNativeDialog);
}

void FolderDialog::accept() {
  // The typed name, taken against the folder on view.
  auto* nameField = findChild<QLineEdit*>("fileNameEdit");
  const QString typed = nameField ? nameField->text().trimmed() : QString();
  const QString folder =
      typed.isEmpty() ? directory().absolutePath() : QDir(directory()).absoluteFilePath(typed);
  if (!QFileInfo(folder).exists()) {
    if (QMessageBox::question(
            this, windowTitle(), tr("The specified directory does not exist. Create it?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes) {
      return;
    }
    if (!QDir().mkpath(folder)) {
      QMessageBox::warning(this, windowTitle(),
                           tr("The folder %1 could not be created.").arg(folder));
      return;
    }
  }
  selectFile(folder);
  if (nameField) nameField->setText(folder);
  QFileDialog::accept();
}

QString FolderDialog::Choose(QWidget* parent, const QString& startFolder) {
  FolderDialog dialog(parent, startFolder);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

}  // namespace quorvane::app
