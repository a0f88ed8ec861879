#include "envstore/envstore.h"

EnvLocation LocationForScope(bool systemScope) {
  if (systemScope)
    return {RegistryRoot::LocalMachine,
            R"(SYSTEM\CurrentControlSet\Control\Session Manager\Environment)"};
  return {RegistryRoot::CurrentUser, "Environment"};
}

std::string StringFromRegistryData(std::string_view data) {
  return std::string(data.substr(0, data.find('\0')));
}

std::optional<std::size_t> RegistryByteCount(std::uint32_t type, std::string_view data) {
  if (type == kRegSz || type == kRegExpandSz)
    return data.size() + 1;
  if (type == kRegDword && data.size() >= 4)
    return 4;
  return std::nullopt;
}
