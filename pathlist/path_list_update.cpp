#include "pathlist/path_list_update.h"

#include "pathlist/path_list.h"

PathListUpdate UpdatePathList(const UpdateRequest& request, const StoredString& storedList) {
  const std::string& value = *request.value;
  switch (storedList.status) {
    case ReadStatus::Failed:
      return {};
    case ReadStatus::Absent:
      if (request.addEntry)
        return {value, false};
      return {std::nullopt, true};
    case ReadStatus::Found:
      break;
  }
  const std::string& list = storedList.text;
  std::string newList;
  if (request.addEntry)
    newList = PathListContains(list, value) ? list : PathListAppend(list, value);
  else
    newList = PathListContains(list, value) ? PathListRemove(list, value) : list;
  const bool unchanged = newList == list;
  return {std::move(newList), unchanged};
}
