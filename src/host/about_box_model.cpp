#include "host/about_box_model.h"

namespace bx {

TAboutTool AboutTool(int tool) {
  static constexpr TAboutTool kTools[kAboutToolCount] = {
      {"Brevix Dispatcher",
       "The Brevix Dispatcher is responsible for routing Brevix Logging messages to the "
       "appropriate destination."},
      {"Brevix Controller",
       "The Brevix Controller provides access to the Brevix Dispatcher Settings even when the "
       "Dispatcher is in Stealth mode."},
      {"Brevix Live Viewer",
       "The Brevix Live Viewer is designed for receiving and analyzing Brevix messages generated "
       "during \"live\" logging."},
      {"Brevix File Viewer",
       "The Brevix File Viewer is used for analyzing Brevix messages saved in Brevix Log Files "
       "during \"file\" logging."},
      {"Brevix Logging",
       "The Brevix Logging classes provide the means of capturing information about your "
       "application code and then send it to a Brevix Destination."},
  };
  if (tool < 0 || tool >= kAboutToolCount) tool = 0;
  return kTools[tool];
}

}  // namespace bx
