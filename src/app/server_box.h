#pragma once

#include <QComboBox>
#include <functional>
#include <optional>

namespace quorvane::app {

// `SQLServerComboBox`: an editable drop-down of known servers in capitals. Typing completes
// from the list (which counts as picking the entry), Enter with any modifiers asks to connect,
// and the context menu offers removing one or all servers. The list itself lives in the
// window's ServerList; this box only shows it.
class ServerBox : public QComboBox {
  Q_OBJECT

 public:
  // `complete` gives the index of the first entry that begins with a typed text.
  using Completer = std::function<std::optional<int>(const QString& typed)>;

  explicit ServerBox(QWidget* parent = nullptr);

  void SetCompleter(Completer complete) { complete_ = std::move(complete); }
  // Replaces the entries, keeping the text shown.
  void SetEntries(const QStringList& names);

 signals:
  void textEditedByUser(const QString& text);  // typing, deleting, pasting
  void entryPicked(int index);                 // from the list or by completion
  void enterPressed();
  void removeServerRequested();
  void removeAllServersRequested();

 protected:
  // The box itself holds the focus (its line edit is only its proxy), so a real key press
  // arrives here; the filter covers keys sent to the line edit directly.
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnTextEdited(const QString& text);
  void ShowContextMenu(const QPoint& at);

  Completer complete_;
  QString lastTyped_;
};

}  // namespace quorvane::app
