#pragma once

#include <filesystem>
#include <string>

// A throw-away CA and server certificates for the simulator, made with the openssl command.
namespace quorvane::testing {

struct CertificateFiles {
  std::string certificate;
  std::string key;
};

struct TestCertificates {
  std::string ca;               // the CA that signed `trusted` and `wrongName`
  CertificateFiles trusted;     // for localhost and 127.0.0.1
  CertificateFiles wrongName;   // for sqlsim.test only
  CertificateFiles selfSigned;  // for localhost and 127.0.0.1, signed by itself
};

// Made once per process in a folder of its own; nothing when openssl is missing or fails.
const TestCertificates* Certificates();

}  // namespace quorvane::testing
