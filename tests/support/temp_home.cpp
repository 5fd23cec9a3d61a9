#include "support/temp_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bx::test {

TTempHome::TTempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bxhome-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
  if (const char* previous = std::getenv("BREVIX_HOME")) {
    FHadPrevious = true;
    FPrevious = previous;
  }
  setenv("BREVIX_HOME", FPath.c_str(), 1);
}

TTempHome::~TTempHome() {
  if (FHadPrevious) {
    setenv("BREVIX_HOME", FPrevious.c_str(), 1);
  } else {
    unsetenv("BREVIX_HOME");
  }
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
