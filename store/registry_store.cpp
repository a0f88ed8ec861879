#include "store/registry_store.h"

EnvLocation LocationForScope(bool systemScope) {
  if (systemScope)
    return {RegistryRoot::LocalMachine,
            R"(SYSTEM\CurrentControlSet\Control\Session Manager\Environment)"};
  return {RegistryRoot::CurrentUser, "Environment"};
}

std::string KeyNameOf(const EnvLocation& location) {
  const char* root =
      location.root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  return std::string(root) + "\\" + location.subkey;
}
