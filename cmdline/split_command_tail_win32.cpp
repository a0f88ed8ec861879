#include <windows.h>

#include <string>

#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "text/wide_text.h"

ArgumentVector ThisProcessArguments() {
  const std::string commandLine = Wtf8FromWide(GetCommandLineW());
  return SplitCommandTail(CommandTailOf(commandLine));
}
