// The persistent environment: named values under one registry key per scope.
// Each operation opens the key with the rights its step needs, does its one
// thing and closes it again; keys are only opened, never created. Names and
// text are WTF-8 here and UTF-16 in the registry.
#pragma once

#include <string>

#include "store/registry_data.h"

enum class RegistryRoot { CurrentUser, LocalMachine };

struct EnvLocation {
  RegistryRoot root;
  const char* subkey;
};

// User scope: HKEY_CURRENT_USER\Environment. System scope: the Session
// Manager's Environment key under HKEY_LOCAL_MACHINE.
EnvLocation LocationForScope(bool systemScope);

// The key's full name, as "HKEY_CURRENT_USER\Environment".
std::string KeyNameOf(const EnvLocation& location);

// Found only when the value holds text as TextFromRegistryData takes it;
// Absent when the value or its key is not there.
StoredString ReadRegistryString(const EnvLocation& location, const std::string& name);

// 0 when the value was written.
StoreError WriteRegistryValue(const EnvLocation& location, const std::string& name,
                              const std::string& data, std::uint32_t type);

// What a step asks of the key: reading values, setting them, or both.
enum class KeyRights { Read, SetValues, ReadAndSetValues };

// 0 when the key may be opened with these rights, or is not there (then the
// operations say so themselves); the registry's refusal otherwise. It opens
// the key and closes it again, so that a refusal can be told before anything
// waits for a lock.
StoreError CheckKeyRights(const EnvLocation& location, KeyRights rights);

// 0 when the value is absent afterwards: deleted, or not there to begin with
// (its key missing included).
StoreError DeleteRegistryValue(const EnvLocation& location, const std::string& name);
