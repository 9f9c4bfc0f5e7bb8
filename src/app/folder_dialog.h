#pragma once

#include <QFileDialog>

namespace quorvane::app {

// A folder chooser that also takes the name of a folder that does not exist yet, and offers to
// create it (with any missing parents) before accepting it.
class FolderDialog : public QFileDialog {
  Q_OBJECT

 public:
  FolderDialog(QWidget* parent, const QString& startFolder);

  // The chosen folder, or an empty text when the user cancelled.
  static QString Choose(QWidget* parent, const QString& startFolder);

 public slots:
  void accept() override;
};

}  // namespace quorvane::app
