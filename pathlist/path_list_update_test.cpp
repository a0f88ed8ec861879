#include "pathlist/path_list_update.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct UpdateCase {
  bool add;
  ReadStatus status;
  std::string stored;
  std::optional<std::string> newValue;  // nothing: write nothing
};

TEST(UpdatePathList, NeverLosesTheStoredList) {
  const UpdateCase cases[] = {
      {true, ReadStatus::Found, "C:\\A", "C:\\A;C:\\Tools"},
      {true, ReadStatus::Found, "C:\\A;c:\\tools", "C:\\A;c:\\tools"},
      {true, ReadStatus::Found, "", "C:\\Tools"},
      {true, ReadStatus::Absent, "", "C:\\Tools"},
      {true, ReadStatus::Failed, "", std::nullopt},
      {false, ReadStatus::Found, "C:\\Tools;C:\\A;;C:\\TOOLS", "C:\\A"},
      {false, ReadStatus::Found, "C:\\A;;C:\\B", "C:\\A;;C:\\B"},
      {false, ReadStatus::Found, "C:\\Tools", ""},
      {false, ReadStatus::Absent, "", std::nullopt},
      {false, ReadStatus::Failed, "", std::nullopt},
  };
  const std::string name = "Path";
  const std::string value = "C:\\Tools";
  for (const UpdateCase& c : cases) {
    UpdateRequest request;
    request.addEntry = c.add;
    request.removeEntry = !c.add;
    request.name = &name;
    request.value = &value;
    StoredString stored;
    stored.status = c.status;
    stored.text = c.stored;
    EXPECT_EQ(UpdatePathList(request, stored), c.newValue)
        << (c.add ? "/a" : "/r") << " on '" << c.stored << "'";
  }
}

}  // namespace
