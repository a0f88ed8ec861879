#include "cmdline/split_command_tail.h"

bool IsTailWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int CountTailSlots(std::string_view tail) {
  int count = 1;
  bool inside = false;
  std::size_t pos = 0;
  while (pos < tail.size()) {
    if (tail[pos] == '"')
      inside = !inside;
    if (inside || !IsTailWhitespace(tail[pos])) {
      ++pos;
      continue;
    }
    ++count;
    while (pos < tail.size() && IsTailWhitespace(tail[pos]))
      ++pos;
  }
  return count;
}

ArgumentVector SplitCommandTail(std::string_view tail) {
  ArgumentVector args;
  if (tail.empty())
    return args;
  args.tokens.reserve(static_cast<std::size_t>(CountTailSlots(tail)));

  bool inside = false;
  std::size_t start = 0;
  std::size_t pos = 0;
  for (;;) {
    const bool atEnd = pos == tail.size();
    if (!atEnd && tail[pos] == '"')
      inside = !inside;
    if (!atEnd && (inside || !IsTailWhitespace(tail[pos]))) {
      ++pos;
      continue;
    }
    std::string_view token = tail.substr(start, pos - start);
    if (token.size() >= 2 && token.front() == '"' && token.back() == '"')
      token = token.substr(1, token.size() - 2);
    args.tokens.emplace_back(token);

    while (pos < tail.size() && IsTailWhitespace(tail[pos]))
      ++pos;
    if (pos == tail.size())
      return args;
    start = pos;
  }
}
