#include "pathlist/path_list_update.h"

#include "pathlist/path_list.h"

std::optional<std::string> UpdatePathList(const UpdateRequest& request,
                                          const StoredString& storedList) {
  const std::string& value = *request.value;
  switch (storedList.status) {
    case ReadStatus::Failed:
      return std::nullopt;
    case ReadStatus::Absent:
      if (request.addEntry)
        return value;
      return std::nullopt;
    case ReadStatus::Found:
      break;
  }
  const std::string& list = storedList.text;
  if (request.addEntry)
    return PathListContains(list, value) ? list : PathListAppend(list, value);
  return PathListContains(list, value) ? PathListRemove(list, value) : list;
}
