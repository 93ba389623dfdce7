// CommonRDAImpl: the common data-access object on one repository
// connection: rules, fields, custom metrics, global categories and the
// key/value store (tables RULE, MFLD, RUFIME, RUCMME, CMFMAP, CUSTM, CMFLD,
// GCATS, GCDEF, GCFLD, GCRUL, KEYVAL).
#ifndef ACCESS_COMMON_RDAIMPL_H_
#define ACCESS_COMMON_RDAIMPL_H_

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
  // The objects that the links and parts of this store name, as
  // objectExists looks them up and names them when they are missing.
  static ObjectRow rule(int id);
  static ObjectRow customMetric(int id);
  static ObjectRow globalCategory(int id);
  // setKeyValue's write, its failure left unlogged.
  bool writeKeyValue(const KvbString& key, const KvbString& value);
  // Every row of a table, or those that `condition` selects with `name`
  // bound when `name` is not empty.
  ReposDataAccessCursor* listNamed(const char* code, const char* condition,
                                   const KvbString& name);
};

#endif  // ACCESS_COMMON_RDAIMPL_H_
