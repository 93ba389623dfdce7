// CommonRDAImpl: the common data-access object on one repository
// connection: rules, fields, custom metrics, global categories and the
// key/value store (tables RULE, MFLD, RUFIME, RUCMME, CMFMAP, CUSTM, CMFLD,
// GCATS, GCDEF, GCFLD, GCRUL, KEYVAL).
#ifndef ACCESS_COMMON_RDAIMPL_H_
#define ACCESS_COMMON_RDAIMPL_H_

#include <initializer_list>

#include "access/base_rdaimpl.h"
#include "reposadmin/common_data_access.h"

class CommonRDAImpl : public RDA_Object<CommonRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null.
  explicit CommonRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  ReposDataAccessCursor* listRuleCustomMetrics(int ruleId) override;
  ReposDataAccessCursor* listRuleFields(int ruleId) override;
  ReposDataAccessCursor* findCustomMetric(int cmId, const KvbString& name,
                                          const KvbString& uuid) override;
  ReposDataAccessCursor* findRule(int ruleId, const KvbString& name,
                                  const KvbString& uuid) override;
  int addRule(const KvbString& name, const KvbString& type,
              const KvbString& expression, const KvbString& group,
              const KvbString& metadata, const KvbString& user,
              const KvbString& uuid, int folderId, const KvbString& comment,
              const KvbString& display) override;
  bool updateRule(int ruleId, const KvbString& name, const KvbString& type,
                  const KvbString& expression, const KvbString& group,
                  const KvbString& metadata, const KvbString& user,
                  double createdDate, double editedDate,
                  const KvbString& createdUser, const KvbString& uuid,
                  int folderId, const KvbString& comment,
                  const KvbString& display) override;
  bool deleteRule(int ruleId) override;
  bool deleteRuleLinks(int ruleId) override;
  ReposDataAccessCursor* listCustomMetricFieldMap(int ruleId,
                                                  int cmId) override;
  ReposDataAccessCursor* listFields(const KvbString& name) override;
  bool addField(const KvbString& name, const KvbString& description) override;
  bool addRuleField(int ruleId, const KvbString& name,
                    const KvbString& description) override;
  bool addRuleCustomMetric(int ruleId, int cmId, int seq) override;
  bool addCustomMetricFieldMap(int ruleId, int cmId, int seq,
                               const KvbString& fieldName,
                               const KvbString& cmFieldName,
                               const KvbString& cmType) override;
  bool deleteCustomMetric(int cmId) override;
  bool deleteGlobalCategory(int gcId) override;
  ReposDataAccessCursor* listCustomMetrics(const KvbString& name) override;
  ReposDataAccessCursor* listCustomMetricFields(int cmId) override;
  int addCustomMetric(const KvbString& name, const KvbString& preExpression,
                      const KvbString& expression,
                      const KvbString& postExpression) override;
  bool addCustomMetricField(int cmId, const KvbString& name,
                            const KvbString& type) override;
  bool updateCustomMetric(int cmId, const KvbString& name,
                          const KvbString& preExpression,
                          const KvbString& expression,
                          const KvbString& postExpression,
                          const KvbString& uuid) override;
  bool clearCustomMetric(int cmId) override;
  ReposDataAccessCursor* findGlobalCategory(int gcId, const KvbString& name,
                                            const KvbString& uuid) override;
  ReposDataAccessCursor* getGlobalCategory(int gcId) override;
  ReposDataAccessCursor* listGlobalCategoryDefinitions(int gcId) override;
  ReposDataAccessCursor* listGlobalCategoryFields(
      int gcId, const KvbString& dataSource, const KvbString& catalog,
      const KvbString& schema, const KvbString& table) override;
  int addGlobalCategory(const KvbString& name,
                        const KvbString& description) override;
  int addGlobalCategoryDefinition(int gcId, const KvbString& locale,
                                  int definitionId,
                                  const KvbString& definitionName, int tokenId,
                                  const KvbString& tokenName,
                                  const KvbString& tokenDescription) override;
  bool addGlobalCategoryField(int gcId, const KvbString& dataSource,
                              const KvbString& catalog, const KvbString& schema,
                              const KvbString& table, const KvbString& field,
                              bool include, const KvbString& fieldType,
                              int fieldLength, int fieldPosition) override;
  bool updateGlobalCategory(int gcId, const KvbString& name,
                            const KvbString& description) override;

  bool setKeyValue(const KvbString& key, const KvbString& value) override;
  bool getKeyValue(const KvbString& key, KvbString* value) override;
  bool deleteKey(const KvbString& key) override;
  ReposDataAccessCursor* getKeys() override;
  ReposDataAccessCursor* getKeyValues() override;

 private:
  // How an object is looked up: its table, the id, UUID and name columns
  // (no UUID column: null).
  struct Lookup {
    const char* table;
    const char* idColumn;
    const char* uuidColumn;
    const char* nameColumn;
    bool nameRequired;  // without id, UUID or name: null instead of a query
  };
  ReposDataAccessCursor* find(const Lookup& how, int id, const KvbString& name,
                              const KvbString& uuid);
  // "SELECT <every column of the table> FROM <table>".
  KvbString selectAll(const char* code);
  // Whether a row of a table matches `condition`: 1 yes, 0 no, -1 when the
  // query fails. *value (when given) receives the first row's `column`.
  int lookup(const char* code, const char* column, const char* condition,
             const std::vector<KvbDatavar>& keys, int* value);
  // Runs "INSERT INTO <table> (<columns>) VALUES (?, ...)".
  bool insert(const char* code, const char* columns,
              const std::vector<KvbDatavar>& values);
  // Inserts a row unless one matches `condition`, which is refused with
  // message `refusal`.
  bool insertUnique(int line, int refusal, const char* code,
                    const char* condition, const std::vector<KvbDatavar>& keys,
                    const char* columns, const std::vector<KvbDatavar>& values);
  // Adds a row whose id (the first of `columns`) comes from the id counter
  // `counter`, `values` giving the other columns, and answers the id. When
  // a row matches `condition` already, the answer is its id, or with a
  // `refusal` message the operation is refused. -1 on failure; nothing of a
  // failed addition stays.
  int addNumbered(int line, int refusal, const char* code, const char* counter,
                  const char* condition, const std::vector<KvbDatavar>& keys,
                  const char* columns, std::vector<KvbDatavar> values);
  // Deletes the rows of each table whose `column` equals `id`, in one
  // transaction: all or nothing.
  bool deleteRows(std::initializer_list<const char*> codes, const char* column,
                  int id);
  // Whether global category `gcId` maps the field with that include flag:
  // 1 yes, 0 no, -1 when the query fails.
  int hasGlobalCategoryField(int gcId, const KvbString& dataSource,
                             const KvbString& catalog, const KvbString& schema,
                             const KvbString& table, const KvbString& field,
                             bool include);
  // Refuses an operation with a "Monitor Admin" message (see fail()).
  bool refuse(int line, int messageId);
};

#endif  // ACCESS_COMMON_RDAIMPL_H_
