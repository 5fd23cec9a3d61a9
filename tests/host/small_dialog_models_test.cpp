#include <gtest/gtest.h>

#include <string>

#include "host/about_box_model.h"
#include "host/empty_queue_confirmation.h"
#include "host/named_path_editor_model.h"
#include "host/new_category_prompt_model.h"

namespace bx {
namespace {

TEST(NamedPathEditorModelTest, OkNeedsBothFieldsAndThePickerOnlyReplacesThePath) {
  TNamedPathEditorModel editor;
  EXPECT_FALSE(editor.OkEnabled());
  editor.SetName("Logs");
  EXPECT_FALSE(editor.OkEnabled());
  editor.SetPath("/var/log");
  EXPECT_TRUE(editor.OkEnabled());
  editor.SetName("");
  EXPECT_FALSE(editor.OkEnabled());
  editor.SetName("a = b");  // blanks and "=" are not checked
  EXPECT_TRUE(editor.OkEnabled());

  editor.FolderPicked("");  // the picker was cancelled
  EXPECT_EQ(editor.Path(), "/var/log");
  editor.FolderPicked("/srv/logs");
  EXPECT_EQ(editor.Path(), "/srv/logs");
  EXPECT_EQ(editor.Name(), "a = b");

  TNamedPathEditorModel modify("Data", "");
  EXPECT_FALSE(modify.OkEnabled());
}

TEST(NewCategoryPromptModelTest, BlockStartsCheckedAndAnEmptyTextIsAccepted) {
  TNewCategoryPromptModel prompt;
  EXPECT_TRUE(prompt.Block());
  EXPECT_TRUE(prompt.OkEnabled());
  EXPECT_EQ(prompt.Text(), "");
}

TEST(EmptyQueueConfirmationTest, OnlyYesEmptiesTheQueue) {
  EXPECT_EQ(EmptyQueueAnswer(TConfirmInput::EscapeKey), TConfirmAnswer::No);
  EXPECT_EQ(EmptyQueueAnswer(TConfirmInput::EnterKey), TConfirmAnswer::No);
  EXPECT_EQ(EmptyQueueAnswer(TConfirmInput::CloseBox), TConfirmAnswer::No);
  EXPECT_EQ(EmptyQueueAnswer(TConfirmInput::NoButton), TConfirmAnswer::No);
  EXPECT_EQ(EmptyQueueAnswer(TConfirmInput::YesButton), TConfirmAnswer::Yes);
}

TEST(AboutBoxModelTest, ToolTextsAndTheCloseArea) {
  EXPECT_STREQ(AboutTool(0).Name, "Brevix Dispatcher");
  EXPECT_STREQ(AboutTool(0).Description,
               "The Brevix Dispatcher is responsible for routing Brevix Logging messages to the "
               "appropriate destination.");
  EXPECT_STREQ(AboutTool(2).Name, "Brevix Live Viewer");
  EXPECT_STREQ(AboutTool(5).Name, "Brevix Dispatcher");
  EXPECT_STREQ(AboutTool(-1).Name, "Brevix Dispatcher");
  EXPECT_TRUE(kAboutCloseArea.Contains(334, 311));
  EXPECT_TRUE(kAboutCloseArea.Contains(408, 335));
  EXPECT_FALSE(kAboutCloseArea.Contains(409, 320));
  EXPECT_FALSE(kAboutCloseArea.Contains(340, 310));
}

}  // namespace
}  // namespace bx
