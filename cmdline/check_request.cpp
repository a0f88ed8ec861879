#include "cmdline/check_request.h"

#include "notice/notice_relay.h"
#include "pathlist/path_edit.h"
#include "text/ascii_case.h"

std::optional<UpdateRequest> BuildUpdateRequest(const ArgumentVector& args) {
  if (args.tokens.empty())
    return std::nullopt;

  UpdateRequest request;
  std::optional<std::string> name;
  for (const std::string& token : args.tokens) {
    if (EqualIgnoringAsciiCase(token, "/s"))
      request.systemScope = true;
    else if (EqualIgnoringAsciiCase(token, "/a"))
      request.addEntry = true;
    else if (EqualIgnoringAsciiCase(token, "/r"))
      request.removeEntry = true;
    else if ((!token.empty() && token[0] == '/') || request.value)
      return std::nullopt;  // an unknown switch, or a third plain token
    else if (!name)
      name = token;
    else
      request.value = token;
  }

  if (!name || (request.addEntry && request.removeEntry))
    return std::nullopt;
  request.name = std::move(*name);
  if (IsPathName(request.name)) {
    if (!request.value)
      return std::nullopt;
  } else if (request.addEntry || request.removeEntry) {
    return std::nullopt;
  }
  return request;
}

bool OnlyAnnounces(const ArgumentVector& args, const std::optional<std::string>& relayMarker) {
  return args.tokens.empty() && relayMarker == kRelayMarkerValue;
}
