// TTrayMenu: the state of the tray's popup menu, kept by the hub and drawn by a tray view.
// Items in their fixed order: mnuSettings "&Settings..." (the default item), mnuSepSettings,
// mnuViewLog "&View Dispatcher Log...", mnuEmptyQueue "&Empty Message Queue", mnuDisable
// "&Disable", mnuSepDisable, mnuHelp "&Help", mnuAbout "&About Brevix Dispatcher", mnuSepAbout,
// mnuStopDispatcher "Stop &Dispatcher". Menu images 0 to 6 in item order (separators have
// none); mnuDisable shows image 3 ("&Disable") or 5 ("&Enable").
//
// Ownership: a value; the hub owns one. Threads: the main thread only.
// Failure: Item() with an unknown name aborts (a programming error, never input).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct TTrayMenuItem {
  std::string Name;     // "mnuSettings"
  std::string Caption;  // "" for a separator
  int ImageIndex = -1;  // -1 for none
  bool Visible = true;
  bool Enabled = true;
  bool IsSeparator = false;
  bool IsDefault = false;
};

class TTrayMenu {
 public:
  TTrayMenu();

  TTrayMenuItem& Item(std::string_view name);
  const TTrayMenuItem& Item(std::string_view name) const;
  const std::vector<TTrayMenuItem>& Items() const { return FItems; }

 private:
  std::vector<TTrayMenuItem> FItems;
};

}  // namespace bx
