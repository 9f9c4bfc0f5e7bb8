#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;

namespace quorvane::app {

// `TAboutBox`: the product, its version and the project's links. Shown as the start-up splash
// (no frame, no OK button) and as the About box of the About button.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr, std::function<void(const QUrl&)> openUrl = nullptr);

  // Turns this box into the borderless start-up splash without its OK button.
  void MakeSplash();

  void URLClick();
  void DonationLabelClick();

  QLabel* Version;
  QPushButton* OKButton;

 private:
  std::function<void(const QUrl&)> openUrl_;
};

// Waits `ms` milliseconds while the program stays responsive. `now` is the millisecond counter,
// which wraps at 2^32; the wait is as long across a wrap as anywhere else.
void LongDelay(std::uint32_t ms, const std::function<std::uint32_t()>& now = {},
               const std::function<void()>& processEvents = {});

}  // namespace quorvane::app
