// The table-creation specification document behind getTableCreationSpec.
#ifndef SCHEMA_TABLECREATECONFIG_H_
#define SCHEMA_TABLECREATECONFIG_H_

#include <vector>

#include "reposadmin/kv_create_spec.h"

namespace KvTableCreateNS {

class KvCreateSpecDocImpl : public KvCreateSpecDoc {
 public:
  bool loadFile(const KvbString& path) override;
  const KvbString& getErrorMessage() const override { return error_; }
  KvCreateSpecCommands* getTableCommands(
      const KvbString& dbType, const KvbString& schema,
      const KvbString& tableCode, const KvbString& tableName) const override;
  KvCreateSpecCommands* getIndexCommands(
      const KvbString& dbType, const KvbString& schema,
      const KvbString& tableCode, const KvbString& tableName,
      const KvbString& indexName) const override;
  void release() override { delete this; }

 private:
  // One <table> entry of one <database>.
  struct Entry {
    KvbString dbType;
    KvbString schema;  // "*" for any
    KvbString table;   // a code, a prefix ending in "*", or "*"
    std::vector<KvbString> tableCommands;
    std::vector<KvbString> indexCommands;
  };
  KvCreateSpecCommands* lookup(bool index, const KvbString& dbType,
                               const KvbString& schema,
                               const KvbString& tableCode,
                               const KvbString& tableName,
                               const KvbString& indexName) const;

  std::vector<Entry> entries_;
  KvbString error_{""};
};

}  // namespace KvTableCreateNS

#endif  // SCHEMA_TABLECREATECONFIG_H_
