#include "support/temp_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bx::test {

namespace {

void PlainEnvironmentWriter(const char* name, const char* value) {
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

TEnvironmentWriter gWriteEnvironment = PlainEnvironmentWriter;

}  // namespace

void SetEnvironmentWriter(TEnvironmentWriter writer) {
  gWriteEnvironment = writer != nullptr ? writer : PlainEnvironmentWriter;
}

TTempHome::TTempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bxhome-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
  if (const char* previous = std::getenv("BREVIX_HOME")) {
    FHadPrevious = true;
    FPrevious = previous;
  }
  gWriteEnvironment("BREVIX_HOME", FPath.c_str());
}

TTempHome::~TTempHome() {
  gWriteEnvironment("BREVIX_HOME", FHadPrevious ? FPrevious.c_str() : nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace bx::test
