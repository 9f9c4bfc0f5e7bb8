#include "app/application.h"

#include <iostream>
#include <stdexcept>

namespace quorvane::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    if (errorHandler_) {
      errorHandler_(error);
    } else {
      std::cerr << "quorvane: " << error.what() << "\n";
    }
  } catch (...) {
    const std::runtime_error unknown("An unknown error occurred.");
    if (errorHandler_) {
      errorHandler_(unknown);
    } else {
      std::cerr << "quorvane: " << unknown.what() << "\n";
    }
  }
  return false;
}

}  // namespace quorvane::app
