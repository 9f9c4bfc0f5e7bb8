#include "app/application.h"

#include <iostream>
#include <stdexcept>

namespace quorvane::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  const auto handle = [this](const std::exception& error) {
    if (errorHandler_) {
      errorHandler_(error);
    } else {
      std::cerr << "quorvane: " << error.what() << "\n";
    }
  };
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    handle(error);
  } catch (...) {
    handle(std::runtime_error("An unknown error occurred."));
  }
  return false;
}

}  // namespace quorvane::app
