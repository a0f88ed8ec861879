#include "cmdline/update_request.h"

#include "envstore/notice_relay.h"
#include "pathlist/path_list_update.h"
#include "text/ascii_case.h"

std::optional<UpdateRequest> BuildUpdateRequest(const ArgumentVector& args) {
  if (args.tokens.empty())
    return std::nullopt;

  UpdateRequest request;
  for (const std::string& token : args.tokens) {
    if (EqualIgnoringAsciiCase(token, "/s"))
      request.systemScope = true;
    else if (EqualIgnoringAsciiCase(token, "/a"))
      request.addEntry = true;
    else if (EqualIgnoringAsciiCase(token, "/r"))
      request.removeEntry = true;
    else if ((!token.empty() && token[0] == '/') || request.value)
      return std::nullopt;  // an unknown switch, or a third plain token
    else if (!request.name)
      request.name = &token;
    else
      request.value = &token;
  }

  if (!request.name || (request.addEntry && request.removeEntry))
    return std::nullopt;
  if (IsPathName(*request.name)) {
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
