#include "host/settings_dialog_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "config/ini_file.h"
#include "host/message_type_buttons.h"
#include "support/log_capture.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using Lines = std::vector<std::string>;
using TCloseResult = TSettingsDialogModel::TCloseResult;

// A dialog model on a settings file holding `text`, shown once.
struct TShownDialog {
  explicit TShownDialog(const std::string& text = "") : Path(Home / "s.ini") {
    test::WriteFile(Path, text);
    Model = std::make_unique<TSettingsDialogModel>(Path);
    Model->Show();
  }
  Lines FileSection(const std::string& section) const {
    return TBxIniFile(Path).ReadSectionLines(section);
  }
  std::string FileValue(const std::string& section, const std::string& key) const {
    return TBxIniFile(Path).ReadString(section, key, "<missing>");
  }
  TCloseResult Close() { return Model->Close(nullptr); }

  test::TTempHome Home;
  std::string Path;
  std::unique_ptr<TSettingsDialogModel> Model;
};

std::vector<std::string> CategoryTexts(const TSettingsDialogModel& model) {
  std::vector<std::string> texts;
  for (const auto& item : model.CategoryItems()) texts.push_back(item.Text);
  return texts;
}

TEST(SettingsDialogModelTest, NamedPathAddedTwiceIsListedTwiceAndSavedOnceWithTheLaterFolder) {
  TShownDialog dialog("[NamedPaths]\r\nData=/data\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  EXPECT_FALSE(model.ModifyEnabled() || model.DeleteEnabled());
  model.AddNamedPath("Logs", "/var/log/a");
  model.AddNamedPath("Logs", "/var/log/b");
  EXPECT_EQ(model.NamedPathLines(), (Lines{"Data\t/data", "Logs\t/var/log/a", "Logs\t/var/log/b"}));
  EXPECT_EQ(model.SelectedNamedPath(), -1);

  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("NamedPaths"),
            (Lines{"Data=/data", "Logs=/var/log/b", "RestrictFolders=0"}));
  model.Show();
  EXPECT_EQ(model.NamedPathLines(), (Lines{"Data\t/data", "Logs\t/var/log/b"}));
}

TEST(SettingsDialogModelTest, DeleteRemovesTheFirstEntryOfTheSelectedNameAndModifyGoesByPosition) {
  TShownDialog dialog("[NamedPaths]\r\nLogs=/a\r\nData=/d\r\nLOGS=/b\r\nRestrictFolders=1\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  ASSERT_EQ(model.NamedPathLines(), (Lines{"Logs\t/a", "Data\t/d", "LOGS\t/b"}));
  EXPECT_TRUE(model.RestrictFoldersChecked());
  EXPECT_TRUE(model.RestrictFoldersEnabled());

  // The third line is selected, but its name first occurs in the first line.
  model.SelectNamedPath(2);
  EXPECT_TRUE(model.ModifyEnabled() && model.DeleteEnabled());
  model.DeleteSelectedNamedPath();
  EXPECT_EQ(model.NamedPathLines(), (Lines{"Data\t/d", "LOGS\t/b"}));
  EXPECT_EQ(model.SelectedNamedPath(), -1);
  EXPECT_FALSE(model.DeleteEnabled());

  model.SelectNamedPath(1);
  std::string name;
  std::string path;
  ASSERT_TRUE(model.SelectedNamedPathFields(name, path));
  EXPECT_EQ(name, "LOGS");
  EXPECT_EQ(path, "/b");
  model.ModifySelectedNamedPath("Data", "/x=y");  // a name already used, a folder with "="
  EXPECT_EQ(model.NamedPathLines(), (Lines{"Data\t/d", "Data\t/x=y"}));

  // The restrict check box is usable only while there are lines; its state is kept regardless.
  model.SelectNamedPath(0);
  model.DeleteSelectedNamedPath();
  model.SelectNamedPath(0);
  model.DeleteSelectedNamedPath();
  EXPECT_TRUE(model.NamedPathLines().empty());
  EXPECT_FALSE(model.RestrictFoldersEnabled());
  model.SelectNamedPath(0);  // nothing to select
  EXPECT_FALSE(model.DeleteEnabled());
  EXPECT_FALSE(model.SelectedNamedPathFields(name, path));
}

TEST(SettingsDialogModelTest, EmptyCategoryIsListedButNeverReachesTheSettings) {
  TShownDialog dialog("[Categories]\r\nNetwork=1\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  EXPECT_EQ(model.AddCategory("", true), 0);
  EXPECT_EQ(CategoryTexts(model), (Lines{"", "Network"}));
  EXPECT_EQ(model.SelectedCategory(), 0);
  EXPECT_EQ(model.Settings().Categories.Count(), 1);
  model.ForwardAllCategories();  // touches the empty line too, and adds nothing for it
  EXPECT_EQ(model.Settings().Categories.Count(), 1);

  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("Categories"), (Lines{"Network=0"}));
  model.Show();
  EXPECT_EQ(CategoryTexts(model), (Lines{"Network"}));
}

TEST(SettingsDialogModelTest, CategoryInAnotherCaseAddsALineButKeepsTheFirstEntryAndItsFlag) {
  TShownDialog dialog("[Categories]\r\nNet=0\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  EXPECT_EQ(model.AddCategory("NET", true), 1);
  ASSERT_EQ(model.CategoryItems().size(), 2u);
  EXPECT_EQ(model.CategoryItems()[1].Text, "NET");
  EXPECT_TRUE(model.CategoryItems()[1].Checked);
  EXPECT_EQ(model.Settings().Categories.Count(), 1);
  EXPECT_EQ(model.Settings().Categories.Text(0), "Net");
  EXPECT_FALSE(model.Settings().Categories.IsCategoryBlocked("net"));

  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("Categories"), (Lines{"Net=0"}));
}

TEST(SettingsDialogModelTest, CategoriesAreSortedChecksApplyAtOnceAndRemoveReselects) {
  TShownDialog dialog("[Categories]\r\nb=1\r\nA=0\r\nc=0\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  ASSERT_EQ(CategoryTexts(model), (Lines{"A", "b", "c"}));
  EXPECT_TRUE(model.CategoryItems()[1].Checked);
  EXPECT_FALSE(model.RemoveCategoryEnabled());
  EXPECT_TRUE(model.CategoryBulkEnabled());

  model.SetCategoryChecked(0, true);
  EXPECT_TRUE(model.Settings().Categories.IsCategoryBlocked("a"));
  EXPECT_EQ(model.AddCategory("Bb", false), 2);  // sorts between b and c
  EXPECT_EQ(CategoryTexts(model), (Lines{"A", "b", "Bb", "c"}));
  EXPECT_EQ(model.SelectedCategory(), 2);

  model.SelectCategory(1);
  model.RemoveSelectedCategory();  // b: Bb moves up into its place and is selected
  EXPECT_EQ(CategoryTexts(model), (Lines{"A", "Bb", "c"}));
  EXPECT_EQ(model.SelectedCategory(), 1);
  EXPECT_EQ(model.Settings().Categories.IndexOf("b"), -1);
  model.SelectCategory(2);
  model.RemoveSelectedCategory();  // the last line: the one before it is selected
  EXPECT_EQ(CategoryTexts(model), (Lines{"A", "Bb"}));
  EXPECT_EQ(model.SelectedCategory(), 1);

  model.BlockAllCategories();
  EXPECT_TRUE(model.Settings().Categories.IsCategoryBlocked("bb"));
  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("Categories"), (Lines{"A=1", "Bb=1"}));

  model.Show();
  model.SelectCategory(0);
  model.RemoveSelectedCategory();
  model.RemoveSelectedCategory();
  EXPECT_TRUE(model.CategoryItems().empty());
  EXPECT_EQ(model.SelectedCategory(), -1);
  EXPECT_FALSE(model.RemoveCategoryEnabled() || model.CategoryBulkEnabled());
  model.RemoveSelectedCategory();  // nothing selected: nothing happens
  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_FALSE(TBxIniFile(dialog.Path).SectionExists("Categories"));
}

TEST(SettingsDialogModelTest, PortValuesAreKeptAndSavedWhenMonitoringIsUnchecked) {
  TShownDialog dialog("[Ports]\r\nMonitorPorts=1\r\nTCPPort=5000\r\nUDPPort=5001\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  EXPECT_TRUE(model.MonitorPortsChecked() && model.PortRowsEnabled());
  model.SetMonitorPorts(false);
  EXPECT_FALSE(model.PortRowsEnabled());
  EXPECT_EQ(model.TCPPortValue(), 5000);
  EXPECT_EQ(model.UDPPortValue(), 5001);
  model.SetTCPPort(6000);
  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("Ports"), (Lines{"MonitorPorts=0", "TCPPort=6000", "UDPPort=5001"}));

  model.Show();
  EXPECT_FALSE(model.MonitorPortsChecked());
  EXPECT_EQ(model.TCPPortValue(), 6000);
  model.SetTCPPort(70000);
  model.SetUDPPort(-5);
  EXPECT_EQ(model.TCPPortValue(), 65535);
  EXPECT_EQ(model.UDPPortValue(), 0);
  model.DefaultPorts();
  EXPECT_EQ(model.TCPPortValue(), 3434);
  EXPECT_EQ(model.UDPPortValue(), 3435);
  model.SetMonitorPorts(true);
  ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
  EXPECT_EQ(dialog.FileSection("Ports"), (Lines{"MonitorPorts=1", "TCPPort=3434", "UDPPort=3435"}));
}

TEST(SettingsDialogModelTest, BlockAllAndForwardAllTouchExactlyTheThirtySixButtonTypes) {
  // Types 7, 11..15, 39, 40, 42 and 43 have no button.
  const std::string kButtonTypes =
      "1111111"
      "0"
      "111"
      "00000"
      "11111111111111111111111"
      "00"
      "1"
      "00"
      "11";
  ASSERT_EQ(kButtonTypes.size(), 46u);
  {
    TShownDialog dialog;
    dialog.Model->BlockAllMessages();
    ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
    EXPECT_EQ(dialog.FileValue("Dispatcher", "BlockedMessages"), kButtonTypes);
  }
  {
    // Types blocked only in the file stay blocked through both buttons.
    TShownDialog dialog("[Dispatcher]\r\nBlockedMessages=0000000100001\r\n");
    TSettingsDialogModel& model = *dialog.Model;
    EXPECT_FALSE(model.MessageButtonDown(7));  // no button, though blocked
    EXPECT_FALSE(model.MessageButtonDown(11));
    model.BlockAllMessages();
    std::string expected = kButtonTypes;
    expected[7] = '1';
    expected[12] = '1';
    ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
    EXPECT_EQ(dialog.FileValue("Dispatcher", "BlockedMessages"), expected);
    model.Show();
    for (const TMessageTypeButton& button : MessageTypeButtons()) {
      EXPECT_TRUE(model.MessageButtonDown(button.Type)) << button.Hint;
    }
    model.ForwardAllMessages();
    model.SetMessageButtonDown(37, true);   // "Exceptions" clicked down
    model.SetMessageButtonDown(45, true);   // "Custom Messages" down ...
    model.SetMessageButtonDown(45, false);  // ... and up again
    model.SetMessageButtonDown(12, false);  // no button: ignored
    ASSERT_EQ(dialog.Close(), TCloseResult::Saved);
    expected = std::string(46, '0');
    expected[7] = '1';
    expected[12] = '1';
    expected[37] = '1';
    EXPECT_EQ(dialog.FileValue("Dispatcher", "BlockedMessages"), expected);
  }
}

TEST(SettingsDialogModelTest, ButtonTableHasOneButtonPerTypeAndPlace) {
  std::set<int> types;
  std::set<std::pair<int, int>> places;
  for (const TMessageTypeButton& button : MessageTypeButtons()) {
    types.insert(button.Type);
    places.insert({MessageTypeButtonLeft(button), MessageTypeButtonTop(button)});
    EXPECT_EQ(FindMessageTypeButton(button.Type), &button);
  }
  EXPECT_EQ(types.size(), 36u);
  EXPECT_EQ(places.size(), 36u);
  EXPECT_EQ(FindMessageTypeButton(7), nullptr);
  EXPECT_EQ(FindMessageTypeButton(48), nullptr);
  const TMessageTypeButton& customMessages = MessageTypeButtons().back();
  EXPECT_STREQ(customMessages.Hint, "Custom Messages");
  EXPECT_EQ(MessageTypeButtonLeft(customMessages), 215);
  EXPECT_EQ(MessageTypeButtonTop(customMessages) - MessageTypeButtonTop(MessageTypeButtons()[0]),
            4 * 28);
}

TEST(SettingsDialogModelTest, CloseSavesEverySwitchThenCallsBackAndTheCloseBoxSavesNothing) {
  TShownDialog dialog(
      "[Settings]\r\nUIMode=2\r\n[Main]\r\nDestinationDetails=Viewer\r\n"
      "[NamedPaths]\r\nLogs=/l\r\n");
  TSettingsDialogModel& model = *dialog.Model;
  EXPECT_TRUE(model.PagesEnabled());
  model.SetRestrictFolders(true);
  model.SetMonitorPorts(true);
  // Edits dropped with the close box: the next showing starts from the file.
  model.Show();
  EXPECT_FALSE(model.RestrictFoldersChecked() || model.MonitorPortsChecked());
  model.AddNamedPath("Tmp", "/tmp");
  model.Show();
  EXPECT_EQ(model.NamedPathLines(), (Lines{"Logs\t/l"}));

  model.SetRestrictFolders(true);
  std::string seenByCallback;
  ASSERT_EQ(
      model.Close([&] { seenByCallback = dialog.FileValue("NamedPaths", "RestrictFolders"); }),
      TCloseResult::Saved);
  EXPECT_EQ(seenByCallback, "1");  // saved before the callback ran
  EXPECT_EQ(dialog.FileValue("Settings", "UIMode"), "2");
  EXPECT_EQ(dialog.FileValue("Main", "DestinationDetails"), "Viewer");
}

TEST(SettingsDialogModelTest, ReadOnlySettingsAreShownButNeverSaved) {
  test::TTempHome home;
  const std::string path = home / "s.ini";
  const std::string text = "[Ports]\r\nTCPPort=4000\r\n";
  test::WriteFile(path, text);
  auto settings = std::make_unique<TBxDispatcherSettings>(path);
  settings->CanModify = false;  // as for a file the user may not write
  TSettingsDialogModel model(std::move(settings));
  model.Show();
  EXPECT_FALSE(model.PagesEnabled());
  EXPECT_EQ(model.TCPPortValue(), 4000);
  model.SetTCPPort(1);
  model.BlockAllMessages();
  bool called = false;
  EXPECT_EQ(model.Close([&] { called = true; }), TCloseResult::ReadOnly);
  EXPECT_FALSE(called);
  EXPECT_EQ(test::ReadFile(path), text);
}

TEST(SettingsDialogModelTest, FailedSaveIsLoggedAndDoesNotCallBack) {
  test::TLogCapture log;
  TShownDialog dialog;
  ASSERT_TRUE(dialog.Model->CanModify());
  // The file turns into a folder: it can no longer be replaced.
  std::filesystem::remove(dialog.Path);
  std::filesystem::create_directory(dialog.Path);
  bool called = false;
  std::string error;
  EXPECT_EQ(dialog.Model->Close([&] { called = true; }, &error), TCloseResult::SaveFailed);
  EXPECT_FALSE(called);
  EXPECT_FALSE(error.empty());
  const auto errors = log.Texts(TLogLevel::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Settings could not be saved to " + dialog.Path + ": ", 0), 0u)
      << errors[0];
}

}  // namespace
}  // namespace bx
