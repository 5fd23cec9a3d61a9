#include "support/test_pki.h"

#include <stdexcept>
#include <vector>

#include "support/child_process.h"
#include "support/temp_home.h"

namespace bx::test {

namespace {

void Openssl(const std::string& folder, std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/openssl");
  const TRunResult r = RunProgram(args, folder);
  if (r.ExitCode != 0) {
    throw std::runtime_error("openssl " + args[1] + " failed (" + std::to_string(r.ExitCode) +
                             "): " + r.Output + r.Error);
  }
}

void MakeCA(const std::string& folder, const std::string& name) {
  Openssl(folder, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-keyout", folder + "/" + name + ".key", "-out",
                   folder + "/" + name + ".pem", "-days", "2", "-subj", "/CN=Brevix Test " + name});
}

}  // namespace

TTestPki::TTestPki(const std::string& folder)
    : CAFile(folder + "/ca.pem"),
      OtherCAFile(folder + "/otherca.pem"),
      CertFile(folder + "/server.pem"),
      KeyFile(folder + "/server.key") {
  MakeCA(folder, "ca");
  MakeCA(folder, "otherca");
  Openssl(folder, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                   "-keyout", KeyFile, "-out", folder + "/server.csr", "-subj", "/CN=localhost"});
  WriteFile(folder + "/server.ext",
            "subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
            "basicConstraints=CA:FALSE\n");
  Openssl(folder, {"x509", "-req", "-in", folder + "/server.csr", "-CA", CAFile, "-CAkey",
                   folder + "/ca.key", "-CAcreateserial", "-out", CertFile, "-days", "2",
                   "-extfile", folder + "/server.ext"});
}

}  // namespace bx::test
