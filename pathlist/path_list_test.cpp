#include "pathlist/path_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ListCase {
  std::string list;
  std::string entry;
  bool contains;
  std::string appended;  // what /a stores: unchanged when contained
  std::string removed;   // what /r stores: unchanged when not contained
};

TEST(PathList, AddAndRemove) {
  const ListCase cases[] = {
      {"C:\\Windows", "C:\\Tools", false, "C:\\Windows;C:\\Tools", "C:\\Windows"},
      {"C:\\Windows;", "C:\\Tools", false, "C:\\Windows;C:\\Tools", "C:\\Windows;"},
      {"C:\\Windows;C:\\Tools", "C:\\Tools", true, "C:\\Windows;C:\\Tools", "C:\\Windows"},
      {"C:\\Windows;C:\\TOOLS", "c:\\tools", true, "C:\\Windows;C:\\TOOLS", "C:\\Windows"},
      {"C:\\Tools", "C:\\Tools", true, "C:\\Tools", ""},
      {"C:\\Tools;C:\\Tools", "C:\\Tools", true, "C:\\Tools;C:\\Tools", ""},
      {"C:\\Tools", "Tools", false, "C:\\Tools;Tools", "C:\\Tools"},
      {"C:\\Tools", "C:\\Tools\\", false, "C:\\Tools;C:\\Tools\\", "C:\\Tools"},
      {"C:\\Toolset", "C:\\Tools", false, "C:\\Toolset;C:\\Tools", "C:\\Toolset"},
      {"C:\\A; C:\\Tools", "C:\\Tools", false, "C:\\A; C:\\Tools;C:\\Tools", "C:\\A; C:\\Tools"},
      {"C:\\A;;C:\\B;", "c:\\a", true, "C:\\A;;C:\\B;", "C:\\B"},
      {"C:\\A;C:\\B;C:\\A", "C:\\A", true, "C:\\A;C:\\B;C:\\A", "C:\\B"},
      {";C:\\A;;C:\\B", "C:\\B", true, ";C:\\A;;C:\\B", "C:\\A"},
      {"C:\\A;;C:\\B", "C:\\X", false, "C:\\A;;C:\\B;C:\\X", "C:\\A;;C:\\B"},
      {"C:\\A;c:\\a", "C:\\A", true, "C:\\A;c:\\a", ""},
      {";;C:\\A;;;C:\\B;;C:\\C;;", "C:\\B", true, ";;C:\\A;;;C:\\B;;C:\\C;;", "C:\\A;C:\\C"},
      // An entry is taken whole here, ";" and all; /a and /r read a value
      // that holds ";" as a list before (UpdatePathList).
      {"C:\\X;C:\\A;C:\\B", "C:\\A;C:\\B", false, "C:\\X;C:\\A;C:\\B;C:\\A;C:\\B",
       "C:\\X;C:\\A;C:\\B"},
      // An empty value.
      {"C:\\A", "", false, "C:\\A;", "C:\\A"},
      {"C:\\A;", "", false, "C:\\A;", "C:\\A;"},
      // Lists without entries.
      {"", "C:\\A", false, "C:\\A", ""},
      {"", "", true, "", ""},
      {";;", "C:\\A", false, ";;C:\\A", ";;"},
      {";", "", false, ";", ";"},
      // References stay unexpanded.
      {"%SystemRoot%\\system32;%USERPROFILE%\\bin", "%userprofile%\\BIN", true,
       "%SystemRoot%\\system32;%USERPROFILE%\\bin", "%SystemRoot%\\system32"},
      // Beyond ASCII nothing folds: U+00C9 and U+00E9 stay apart.
      {"C:\\Caf\xC3\x89;D:\\x", "C:\\caf\xC3\xA9", false, "C:\\Caf\xC3\x89;D:\\x;C:\\caf\xC3\xA9",
       "C:\\Caf\xC3\x89;D:\\x"},
      {"C:\\Caf\xC3\xA9;D:\\x", "c:\\CAF\xC3\xA9", true, "C:\\Caf\xC3\xA9;D:\\x", "D:\\x"},
      {"C:\\[]@^`{}", "c:\\[]@^`{}", true, "C:\\[]@^`{}", ""},  // no folding beyond A-Z
      {"C:\\@", "C:\\`", false, "C:\\@;C:\\`", "C:\\@"},
  };
  for (const ListCase& c : cases) {
    const std::string where = "list '" + c.list + "', entry '" + c.entry + "'";
    EXPECT_EQ(PathListContains(c.list, c.entry), c.contains) << where;
    EXPECT_EQ(c.contains ? c.list : PathListAppend(c.list, c.entry), c.appended) << where;
    EXPECT_EQ(c.contains ? PathListRemove(c.list, c.entry) : c.list, c.removed) << where;
    EXPECT_LE(PathListRemove(c.list, c.entry).size(), c.list.size()) << where;
  }
}

TEST(PathList, KeepsEveryByteOfALongList) {
  std::string list;
  for (int i = 0; list.size() < std::size_t{100} * 1024; ++i)
    list += "C:\\Program Files\\Tool " + std::to_string(i) + "\\bin;";
  list.pop_back();
  const std::string entry = "D:\\New";
  const std::string joined = PathListAppend(list, entry);
  EXPECT_EQ(joined, list + ";" + entry);
  EXPECT_TRUE(PathListContains(joined, "d:\\new"));
  EXPECT_EQ(PathListRemove(joined, entry), list);
}

}  // namespace
