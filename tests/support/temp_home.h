// TTempHome: a fresh BREVIX_HOME below the system's temporary folder for one test, removed
// afterwards. Every file and socket the product makes while it is set lands below it.
#pragma once

#include <string>

namespace bx::test {

class TTempHome {
 public:
  TTempHome();
  ~TTempHome();
  TTempHome(const TTempHome&) = delete;
  TTempHome& operator=(const TTempHome&) = delete;

  const std::string& Path() const { return FPath; }
  // Path() + "/" + relative
  std::string operator/(const std::string& relative) const { return FPath + "/" + relative; }

 private:
  std::string FPath;
  std::string FPrevious;
  bool FHadPrevious = false;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace bx::test
