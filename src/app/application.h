#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace quorvane::app {

// The application object: an error that escapes any event handler ends here, at the event
// loop, and goes to the window's recovery instead of ending the program.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);

  void SetErrorHandler(std::function<void(const std::exception&)> handler) {
    errorHandler_ = std::move(handler);
  }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::function<void(const std::exception&)> errorHandler_;
};

}  // namespace quorvane::app
