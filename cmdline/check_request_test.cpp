#include "cmdline/check_request.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Expected {
  bool systemScope;
  bool addEntry;
  bool removeEntry;
  std::string name;
  std::optional<std::string> value;
};

struct RequestCase {
  std::vector<std::string> tokens;
  std::optional<Expected> request;  // nothing: the usage text
};

TEST(BuildUpdateRequest, ChecksTheCommandLine) {
  const RequestCase cases[] = {
      {{}, std::nullopt},
      {{"MYVAR", "hello"}, Expected{false, false, false, "MYVAR", "hello"}},
      {{"MYVAR"}, Expected{false, false, false, "MYVAR", std::nullopt}},
      {{"/s", "MYVAR", "hello"}, Expected{true, false, false, "MYVAR", "hello"}},
      {{"/S", "MYVAR", "hello"}, Expected{true, false, false, "MYVAR", "hello"}},
      {{"MYVAR", "hello", "/s"}, Expected{true, false, false, "MYVAR", "hello"}},
      {{"MYVAR", "/s", "hello", "/S"}, Expected{true, false, false, "MYVAR", "hello"}},
      {{"-s", "MYVAR", "hello"}, std::nullopt},
      {{"/?", "MYVAR"}, std::nullopt},
      {{"/x", "MYVAR"}, std::nullopt},
      {{"/sa", "MYVAR"}, std::nullopt},
      {{"/", "MYVAR"}, std::nullopt},
      {{"MYVAR", "/a", "x"}, std::nullopt},
      {{"MYVAR", "/r", "x"}, std::nullopt},
      {{"PATH", "/a", "C:\\Tools"}, Expected{false, true, false, "PATH", "C:\\Tools"}},
      {{"/R", "path", "C:\\Tools", "/s"}, Expected{true, false, true, "path", "C:\\Tools"}},
      {{"/a", "/A", "Path", "x"}, Expected{false, true, false, "Path", "x"}},
      {{"Path"}, std::nullopt},
      {{"/r", "Path"}, std::nullopt},
      {{"/a", "/r", "Path", "x"}, std::nullopt},
      {{"Path", "C:\\Windows"}, Expected{false, false, false, "Path", "C:\\Windows"}},
      {{"MYVAR", ""}, Expected{false, false, false, "MYVAR", ""}},
      {{"", "x"}, Expected{false, false, false, "", "x"}},
      {{"a", "b", "c"}, std::nullopt},
      {{"MYVAR", "/opt"}, std::nullopt},
      {{"/s"}, std::nullopt},
      {{"Paths", "/a", "x"}, std::nullopt},
  };
  for (const RequestCase& c : cases) {
    ArgumentVector args;
    args.tokens = c.tokens;
    const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
    const std::string where = ::testing::PrintToString(c.tokens);
    // The relay's marker changes no command line's meaning: it only turns
    // the one with no tokens from the usage text into the notice alone.
    for (const std::optional<std::string>& marker : {std::optional<std::string>(), {"1"}})
      EXPECT_EQ(OnlyAnnounces(args, marker), marker && c.tokens.empty()) << where;
    ASSERT_EQ(request.has_value(), c.request.has_value()) << where;
    if (!request)
      continue;
    EXPECT_EQ(request->systemScope, c.request->systemScope) << where;
    EXPECT_EQ(request->addEntry, c.request->addEntry) << where;
    EXPECT_EQ(request->removeEntry, c.request->removeEntry) << where;
    EXPECT_EQ(request->name, c.request->name) << where;
    EXPECT_EQ(request->value, c.request->value) << where;
  }
}

}  // namespace

TEST(OnlyAnnounces, TakesOnlyTheRelaysOwnMarker) {
  for (const char* marker : {"", "0", "1 ", " 1", "11", "true", "yes"})
    EXPECT_FALSE(OnlyAnnounces({}, std::string(marker))) << marker;
  EXPECT_TRUE(OnlyAnnounces({}, std::string("1")));
}
