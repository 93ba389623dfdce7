// The table-creation specification: per database type, schema and table,
// further commands that the engine runs after it creates a table or one of
// its indexes on a database reached through a connection string. The file
// grammar is written down in docs/table-creation-spec.md.
#ifndef REPOSADMIN_KV_CREATE_SPEC_H_
#define REPOSADMIN_KV_CREATE_SPEC_H_

#include "kvbase/kvbase.h"

namespace KvTableCreateNS {

// A cursor over the commands that a lookup found, placeholders expanded.
class KvCreateSpecCommands {
 public:
  // The next command; false after the last one.
  virtual bool next(KvbString& command) = 0;
  virtual void release() = 0;

 protected:
  virtual ~KvCreateSpecCommands() = default;
};

class KvCreateSpecDoc {
 public:
  // Replaces the document's content with the file's. False, with the
  // reason as the error text and an empty document, when the file cannot be
  // read or breaks the grammar.
  virtual bool loadFile(const KvbString& path) = 0;
  virtual const KvbString& getErrorMessage() const = 0;

  // The commands to run after creating the table `tableCode` (a table code,
  // or a code followed by a number) as `tableName` (its physical name) in
  // `schema` ("" for none) on a database whose kind is named `dbType` (the
  // database's own product name, compared without regard to case). Never
  // null; the cursor may be empty.
  virtual KvCreateSpecCommands* getTableCommands(
      const KvbString& dbType, const KvbString& schema,
      const KvbString& tableCode, const KvbString& tableName) const = 0;
  // The same for an index `indexName` created on that table.
  virtual KvCreateSpecCommands* getIndexCommands(
      const KvbString& dbType, const KvbString& schema,
      const KvbString& tableCode, const KvbString& tableName,
      const KvbString& indexName) const = 0;

  virtual void release() = 0;

 protected:
  virtual ~KvCreateSpecDoc() = default;
};

}  // namespace KvTableCreateNS

#endif  // REPOSADMIN_KV_CREATE_SPEC_H_
