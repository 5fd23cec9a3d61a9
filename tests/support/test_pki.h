// Certificates for the TLS tests, made at run time with the openssl program in a folder of the
// test's own: a CA, a server certificate that the CA signed for the name "localhost" only (so
// 127.0.0.1 is a wrong host name for it), and a second CA that signed nothing the server shows.
//
// Threads: one test thread. Failure: the constructor throws std::runtime_error with openssl's
// output when a step fails (openssl missing: run scripts/install-deps).
#pragma once

#include <string>

namespace bx::test {

struct TTestPki {
  explicit TTestPki(const std::string& folder);
  std::string CAFile;       // PEM of the CA that signed the server certificate
  std::string OtherCAFile;  // PEM of an unrelated CA
  std::string CertFile;     // server certificate (PEM), subjectAltName DNS:localhost
  std::string KeyFile;      // its private key (PEM, unencrypted)
};

}  // namespace bx::test
