#include "config/category_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bx {
namespace {

std::vector<std::string> Texts(const TBxCategoryList& list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(list.Text(i));
  return texts;
}

TEST(CategoryListTest, SortedWithoutDuplicatesOrEmptyTexts) {
  TBxCategoryList list;
  EXPECT_EQ(list.AddCategory("b", false), 0);
  EXPECT_EQ(list.AddCategory("A", true), 0);
  EXPECT_EQ(list.AddCategory("c", false), 2);
  EXPECT_EQ(list.AddCategory("", true), -1);
  EXPECT_EQ(list.AddCategory("B", true), 1);  // present: index, flag unchanged
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_FALSE(list.IsCategoryBlocked("b"));
  EXPECT_TRUE(list.IsCategoryBlocked("a"));
  list.RemoveCategory("absent");
  list.RemoveCategory("C");
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"A", "b"}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(CategoryListTest, FlagsFollowTheTextInAnyCase) {
  TBxCategoryList list;
  list.AddCategory("NET", false);
  EXPECT_EQ(list.AddCategory("Net", true), 0);
  EXPECT_FALSE(list.IsCategoryBlocked("net"));
  list.SetCategoryBlocked("net", true);
  EXPECT_TRUE(list.IsCategoryBlocked("Net"));
  EXPECT_TRUE(list.IsBlockedAt(0));
  list.SetCategoryBlocked("Network", true);  // absent: added
  EXPECT_EQ(list.IndexOf("NETWORK"), 1);
  EXPECT_TRUE(list.IsCategoryBlocked("network"));
  list.SetBlockedAt(1, false);
  EXPECT_FALSE(list.IsCategoryBlocked("Network"));
  EXPECT_FALSE(list.IsCategoryBlocked("unknown"));
  EXPECT_FALSE(list.IsCategoryBlocked(""));
  EXPECT_THROW(list.IsBlockedAt(2), std::out_of_range);
  EXPECT_THROW(list.SetBlockedAt(-1, true), std::out_of_range);
  EXPECT_THROW(list.Text(5), std::out_of_range);
  // Letters beyond ASCII compare without case too.
  list.AddCategory("Ärger", true);
  EXPECT_TRUE(list.IsCategoryBlocked("ärger"));
  EXPECT_EQ(list.AddCategory("ÄRGER", false), list.IndexOf("ärger"));
}

}  // namespace
}  // namespace bx
