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
  };
  for (const UpdateCase& c : cases) {
    StoredString stored;
    stored.status = c.status;
    stored.text = c.stored;
    const PathListUpdate update =
        UpdatePathList(c.add ? PathEdit::Add : PathEdit::Remove, "C:\\Tools", stored);
    EXPECT_EQ(update.newList, c.newList) << (c.add ? "/a" : "/r") << " on '" << c.stored << "'";
    EXPECT_EQ(update.alreadyDone, c.alreadyDone)
        << (c.add ? "/a" : "/r") << " on '" << c.stored << "'";
  }
}

}  // namespace
