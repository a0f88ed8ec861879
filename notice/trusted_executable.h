// The check that nobody but the system's own accounts may replace the
// executable a child of the relay runs: a copy that an ordinary user may
// replace would run that user's code as every other user logged on.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "security/object_security.h"

// Whether nobody but SYSTEM, Administrators or TrustedInstaller may replace
// or rename the executable: on the file, no other SID is owner or is granted
// writing its data or attributes, deleting, or a change of DACL or owner; on every folder above it
// (folders, from the nearest to the root; none: nothing to check, which
// counts as replaceable), no other SID is owner or is granted adding a file
// to it, deleting it or what it holds, or a change of its DACL or owner.
bool OnlyTrustedMayReplace(const ObjectSecurity& file, const std::vector<ObjectSecurity>& folders);

// A final path as the platform gives it ("\\?\C:\..."), as a path on a local
// drive ("C:\..."); nothing for any other kind (a share, a device).
std::optional<std::string> LocalDrivePath(std::string_view finalPath);

// The folders above a path on a local drive, from the nearest to the
// drive's root: "C:\A\M.exe" gives "C:\A" and "C:\".
std::vector<std::string> FoldersAbove(std::string_view path);

// The platform's half: this process's own executable, by its final path on
// a local drive, when OnlyTrustedMayReplace says so of it and of the folders
// above it; nothing otherwise.
std::optional<std::string> TrustedExecutable();
