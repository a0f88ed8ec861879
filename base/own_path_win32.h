// This process's own executable.
#pragma once

#include <optional>
#include <string>

// Its full path, however long; nothing when it cannot be had.
std::optional<std::wstring> OwnExecutablePath();
