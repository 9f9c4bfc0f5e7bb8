#include "support/test_certificates.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace quorvane::testing {

namespace {

// The files, and their folder removed when the process ends.
struct Made {
  std::filesystem::path folder;
  TestCertificates files;
  ~Made() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

bool Run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::unique_ptr<Made> Make() {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quorvane-pki-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string dir = folder.string() + "/";
  // EC keys: made in milliseconds, where RSA keys take a noticeable part of a second.
  const std::string newKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ";
  auto signedBy = [&](const std::string& name, const std::string& subjectAltName) {
    std::ofstream(dir + name + ".ext") << "subjectAltName=" << subjectAltName << "\n";
    return Run("openssl req -new" + newKey + dir + name + ".key -out " + dir + name +
               ".csr -subj /CN=" + name) &&
           Run("openssl x509 -req -days 2 -in " + dir + name + ".csr -CA " + dir +
               "ca.pem -CAkey " + dir + "ca.key -CAcreateserial -out " + dir + name +
               ".pem -extfile " + dir + name + ".ext");
  };
  const bool made =
      Run("openssl req -x509 -days 2" + newKey + dir + "ca.key -out " + dir +
          "ca.pem -subj \"/CN=Quorvane Test CA\"") &&
      signedBy("localhost", "DNS:localhost,IP:127.0.0.1") &&
      signedBy("sqlsim.test", "DNS:sqlsim.test") &&
      Run("openssl req -x509 -days 2" + newKey + dir + "self.key -out " + dir +
          "self.pem -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1");
  auto result = std::make_unique<Made>();  // in place: a moved-from Made would remove the folder
  result->folder = folder;
  result->files = {dir + "ca.pem",
                   {dir + "localhost.pem", dir + "localhost.key"},
                   {dir + "sqlsim.test.pem", dir + "sqlsim.test.key"},
                   {dir + "self.pem", dir + "self.key"}};
  return made ? std::move(result) : nullptr;
}

}  // namespace

const TestCertificates* Certificates() {
  static const std::unique_ptr<Made> made = Make();
  return made ? &made->files : nullptr;
}

}  // namespace quorvane::testing
