// The registry of the repository's object types: for each type name its
// table and the columns that hold its id, UUID, folder, name, description
// and creation and modification date and user.
#ifndef ACCESS_OBJECT_TYPES_H_
#define ACCESS_OBJECT_TYPES_H_

#include "kvbase/kvbase.h"

struct ReposObjectType {
  const char* name;  // "Rule", "Task", ...
  const char* table;
  const char* id;
  const char* uuid;
  const char* folderId;
  const char* objectName;
  const char* description;
  const char* createdDate;
  const char* createdUser;
  const char* modifiedDate;
  const char* modifiedUser;

  // The column for one of the keys "Id", "UUID", "FolderId", "Name",
  // "Desc", "CreatedDate", "CreatedUser", "ModifiedDate", "ModifiedUser";
  // null for any other key.
  const char* column(const KvbString& key) const;
};

// The registered types in a fixed order; `count` receives their number.
const ReposObjectType* reposObjectTypes(int* count);
// The type of that name (compared exactly); null when it is not registered.
const ReposObjectType* findObjectType(const KvbString& name);

#endif  // ACCESS_OBJECT_TYPES_H_
