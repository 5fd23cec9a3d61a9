#include "platform/loadable_module.h"

#include <dlfcn.h>

namespace bx {

std::unique_ptr<TLoadableModule> TLoadableModule::Load(const std::string& path,
                                                       std::string* error) {
  // RTLD_NOW: a module that lacks a symbol fails here, not in the middle of a run.
  // RTLD_NODELETE: see the header; never unmapped.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    if (error) {
      const char* text = dlerror();
      *error = text ? text : "the module could not be loaded";
    }
    return nullptr;
  }
  return std::unique_ptr<TLoadableModule>(new TLoadableModule(handle));
}

void* TLoadableModule::Symbol(const std::string& name) const {
  return dlsym(FHandle, name.c_str());
}

}  // namespace bx
