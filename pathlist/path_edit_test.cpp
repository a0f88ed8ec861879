#include "pathlist/path_edit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct UpdateCase {
  bool add;
  ReadStatus status;
  std::string stored;
  std::optional<std::string> newList;  // nothing: write nothing
  bool alreadyDone;
  std::string value = "C:\\Tools";
};

TEST(UpdatePathList, NeverLosesTheStoredList) {
  const UpdateCase cases[] = {
      {true, ReadStatus::Found, "C:\\A", "C:\\A;C:\\Tools", false},
      {true, ReadStatus::Found, "C:\\A;c:\\tools", "C:\\A;c:\\tools", true},
      {true, ReadStatus::Found, "", "C:\\Tools", false},
      {true, ReadStatus::Absent, "", "C:\\Tools", false},
      {true, ReadStatus::Failed, "", std::nullopt, false},
      {false, ReadStatus::Found, "C:\\Tools;C:\\A;;C:\\TOOLS", "C:\\A", false},
      {false, ReadStatus::Found, "C:\\A;;C:\\B", "C:\\A;;C:\\B", true},
      {false, ReadStatus::Found, "C:\\Tools", "", false},
      {false, ReadStatus::Absent, "", std::nullopt, true},
      {false, ReadStatus::Failed, "", std::nullopt, false},
      {true, ReadStatus::NotText, "", std::nullopt, false},
      {false, ReadStatus::TextAfterNul, "", std::nullopt, false},
      {true, ReadStatus::HalfUnit, "", std::nullopt, false},
      // A value that holds ";" is a list: new entries in its order, none twice.
      {true, ReadStatus::Found, "C:\\A;", "C:\\A;C:\\B;C:\\C", false, "C:\\B;;C:\\C;"},
      {true, ReadStatus::Found, "C:\\A;C:\\B", "C:\\A;C:\\B;C:\\C", false,
       "c:\\b;C:\\C;C:\\A;c:\\c"},
      {true, ReadStatus::Absent, "", "C:\\B;C:\\C", false, ";C:\\B;c:\\b;C:\\C"},
      {true, ReadStatus::Absent, "", std::nullopt, true, ";"},
      {false, ReadStatus::Found, "C:\\A;C:\\B;;C:\\C;c:\\a", "C:\\C", false, "C:\\B;C:\\A"},
      {false, ReadStatus::Found, "C:\\A;;C:\\B", "C:\\A;;C:\\B", true, "C:\\X;C:\\Y"},
  };
  for (const UpdateCase& c : cases) {
    StoredString stored;
    stored.status = c.status;
    stored.text = c.stored;
    const PathListUpdate update =
        UpdatePathList(c.add ? PathEdit::Add : PathEdit::Remove, c.value, stored);
    EXPECT_EQ(update.newList, c.newList)
        << (c.add ? "/a " : "/r ") << c.value << " on '" << c.stored << "'";
    EXPECT_EQ(update.alreadyDone, c.alreadyDone)
        << (c.add ? "/a" : "/r") << " on '" << c.stored << "'";
  }
}

}  // namespace
