#include "pathlist/path_edit.h"

#include "pathlist/path_list.h"
#include "text/ascii_case.h"

bool IsPathName(std::string_view name) { return EqualIgnoringAsciiCase(name, "Path"); }

PathListUpdate UpdatePathList(PathEdit edit, const std::string& value,
                              const StoredString& storedList) {
  const bool several = value.find(';') != std::string::npos;
  if (storedList.status == ReadStatus::Absent) {
    const std::string added = several ? PathListAppendAll("", value) : value;
    if (edit == PathEdit::Add && (!several || !added.empty()))
      return {added, false};
    return {std::nullopt, true};
  }
  if (storedList.status != ReadStatus::Found)
    return {};
  const std::string& list = storedList.text;
  std::string newList;
  if (several)
    newList =
        edit == PathEdit::Add ? PathListAppendAll(list, value) : PathListRemoveAll(list, value);
  else if (edit == PathEdit::Add)
    newList = PathListContains(list, value) ? list : PathListAppend(list, value);
  else
    newList = PathListContains(list, value) ? PathListRemove(list, value) : list;
  const bool unchanged = newList == list;
  return {std::move(newList), unchanged};
}
