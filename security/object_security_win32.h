// An object's owner, DACL and mandatory label, read from its handle.
#pragma once

#include <windows.h>
// aclapi.h needs what windows.h declares.
#include <aclapi.h>

#include <optional>

#include "security/object_security.h"

// Nothing when they cannot be read (a DACL of a kind the platform does not
// give, or a handle without READ_CONTROL).
std::optional<ObjectSecurity> SecurityOf(HANDLE object, SE_OBJECT_TYPE type);
