// The texts of the settings dialog "Brevix Dispatcher Settings", for any face that draws it.
// "&" marks the mnemonic letter of a control.
//
// Threads: any; constants. Failure: none.
#pragma once

namespace bx {

inline constexpr const char* kSettingsPagePaths = "Paths";
inline constexpr const char* kSettingsPagePorts = "Ports";
inline constexpr const char* kSettingsPageMessages = "Blocked Messages";
inline constexpr const char* kSettingsPageCategories = "Blocked Categories";

inline constexpr const char* kSettingsClose = "Close";
inline constexpr const char* kSettingsHelp = "&Help";

inline constexpr const char* kPathsIntro =
    "Use the following list to define a set of variables that map to specific paths on the "
    "system. Use $(variable_name) in BrevixDestination.LogFile.FilePath properties.";
inline constexpr const char* kPathsAdd = "&Add";
inline constexpr const char* kPathsModify = "&Modify";
inline constexpr const char* kPathsDelete = "&Delete";
inline constexpr const char* kPathsRestrict = "Allow logging to only these &folders";

inline constexpr const char* kPortsIntro =
    "To allow the Dispatcher to monitor messages sent from remote machines or messages sent via "
    "TCP from BrevixObjects, check the check box below. Be sure the port numbers match the port "
    "numbers used to send the Brevix messages.";
inline constexpr const char* kPortsMonitor = "Monitor Ports for Remote Messages";
inline constexpr const char* kPortsMonitorPort = "Monitor Port";
inline constexpr const char* kPortsTCP = "TCP";
inline constexpr const char* kPortsUDP = "UDP";
// Nine blanks after "for", where the bold protocol name sits.
inline constexpr const char* kPortsForMessages = "for         Brevix messages";
inline constexpr const char* kPortsDefault = "Default Ports";

inline constexpr const char* kMessagesIntro =
    "To block messages of a specific type from reaching their intended destination, simply "
    "select the desired types below.  ";
inline constexpr const char* kMessagesCaption = "Brevix Message Types";
inline constexpr const char* kBlockAll = "Block All";
inline constexpr const char* kForwardAll = "Forward All";

inline constexpr const char* kCategoriesIntro =
    "To block messages of a specific category from reaching their intended destination, simply "
    "add the category to the list below.  Uncheck categories in the list to allow messages of "
    "this category to reach their destination.";
inline constexpr const char* kCategoriesAdd = "&Add";
inline constexpr const char* kCategoriesAddHint = "Add a New Category to the List";
inline constexpr const char* kCategoriesRemove = "&Remove";
inline constexpr const char* kCategoriesRemoveHint = "Remove the Selected Category from the List";

}  // namespace bx
