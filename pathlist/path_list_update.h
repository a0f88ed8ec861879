// The value that /a or /r stores: the stored Path list with the request's
// value added as one entry, or with every equal entry taken out.
#pragma once

#include <optional>
#include <string>

#include "cmdline/update_request.h"
#include "envstore/envstore.h"

// Nothing means write nothing: the stored list could not be read, or /r met
// a Path that is not stored. /a on a Path that is not stored gives the value
// alone. An unchanged list is given back as it is, to be written again.
std::optional<std::string> UpdatePathList(const UpdateRequest& request,
                                          const StoredString& storedList);
