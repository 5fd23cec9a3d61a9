#include "host/desktop_face.h"

#include "platform/folders.h"
#include "platform/loadable_module.h"

namespace bx {

std::string DesktopFaceModulePath() {
  return ExecutableFolder() + "/../lib/brevix/BxDispatcherFace.so";
}

std::unique_ptr<TDesktopFace> LoadDesktopFace(TMessageLoop& loop, std::string* why) {
  std::string error;
  // Kept for the life of the process: the module is never unloaded.
  static std::unique_ptr<TLoadableModule> module;
  if (!module) module = TLoadableModule::Load(DesktopFaceModulePath(), &error);
  if (!module) {
    if (why) *why = error;
    return nullptr;
  }
  auto create = reinterpret_cast<TCreateDesktopFace>(module->Symbol(kCreateDesktopFaceSymbol));
  if (create == nullptr) {
    if (why) *why = std::string("the module has no ") + kCreateDesktopFaceSymbol;
    return nullptr;
  }
  std::unique_ptr<TDesktopFace> face(create(&loop, &error));
  if (!face && why) *why = error;
  return face;
}

}  // namespace bx
