// TTempHome: a fresh BREVIX_HOME below the system's temporary folder for one test, removed
// afterwards. Every file and socket the product makes while it is set lands below it.
#pragma once

#include <string>

namespace bx::test {

// How TTempHome changes the environment: setenv/unsetenv unless a program installs another
// writer before it starts threads. Qt test programs install one that takes Qt's own
// environment lock, because QtTest's watchdog thread reads the environment at every test
// function and a plain setenv may move the array under it. A null value unsets.
using TEnvironmentWriter = void (*)(const char* name, const char* value);
void SetEnvironmentWriter(TEnvironmentWriter writer);

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
