#include "host/tray_menu.h"

#include <cstdio>
#include <cstdlib>

namespace bx {

TTrayMenu::TTrayMenu() {
  FItems = {
      {"mnuSettings", "&Settings...", 0, true, true, false, true},
      {"mnuSepSettings", "", -1, true, true, true, false},
      {"mnuViewLog", "&View Dispatcher Log...", 1, true, true, false, false},
      {"mnuEmptyQueue", "&Empty Message Queue", 2, true, true, false, false},
      {"mnuDisable", "&Disable", 3, true, true, false, false},
      {"mnuSepDisable", "", -1, true, true, true, false},
      {"mnuHelp", "&Help", 4, true, true, false, false},
      {"mnuAbout", "&About Brevix Dispatcher", 5, true, true, false, false},
      {"mnuSepAbout", "", -1, true, true, true, false},
      {"mnuStopDispatcher", "Stop &Dispatcher", 6, true, true, false, false},
  };
}

const TTrayMenuItem& TTrayMenu::Item(std::string_view name) const {
  for (const TTrayMenuItem& item : FItems) {
    if (item.Name == name) return item;
  }
  std::fprintf(stderr, "TTrayMenu: no item %.*s\n", static_cast<int>(name.size()), name.data());
  std::abort();
}

TTrayMenuItem& TTrayMenu::Item(std::string_view name) {
  return const_cast<TTrayMenuItem&>(static_cast<const TTrayMenu&>(*this).Item(name));
}

}  // namespace bx
