// TLoadableModule: a shared library loaded at run time (the desktop face). Its undefined
// symbols are resolved from the program that loads it, so it shares the program's objects.
//
// Ownership: the object stands for the loaded library but never unloads it: a toolkit inside
// the module registers exit handlers and threads that must stay mapped until the process ends.
// Threads: any; loading happens once, on the main thread, before other threads use the module.
// Failure: Load returns null and says why in *error (the loader's text); Symbol returns null
// for a name the module does not export.
#pragma once

#include <memory>
#include <string>

namespace bx {

class TLoadableModule {
 public:
  static std::unique_ptr<TLoadableModule> Load(const std::string& path, std::string* error);
  ~TLoadableModule() = default;
  TLoadableModule(const TLoadableModule&) = delete;
  TLoadableModule& operator=(const TLoadableModule&) = delete;

  void* Symbol(const std::string& name) const;

 private:
  explicit TLoadableModule(void* handle) : FHandle(handle) {}
  void* FHandle;
};

}  // namespace bx
