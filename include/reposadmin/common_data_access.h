// CommonRepositoryDataAccess: the repository's common data: business rules
// with their fields and custom-metric links, custom metrics with their
// fields and field mappings, global categories (collections) with their
// definitions and mapped fields, and the repository's key/value store.
//
// Cursors that the operations answer are in-memory copies: they outlive the
// object, further statements may run while they are read, and the caller
// releases them. Failures answer false, null or -1; the reason is the
// connection's error text, which getErrorMessage() gives. Without a
// connection every operation logs "Repository Data Access object is null"
// at level 5 and fails.
//
// Ids. Every id that a write is given names an object that must exist: a
// rule, a custom metric, a global category, or a folder, where 0 is the
// root. One that does not exist, 0 and negative ids included, is refused
// with "<Kind> <id> does not exist" ("Rule 9 does not exist", "Custom
// metric 9 ...", "Global category 9 ...", "Folder 9 ..."), logged once at
// level 5, and nothing is stored; the object is looked for in the write's
// own transaction, so that it cannot go before the write is stored. A
// write and a delete of the object it names, on two connections at once,
// never both succeed with the row left naming nothing: a delete that comes
// second waits for the write and removes its row too (deleteRule,
// deleteGlobalCategory), a write that comes second waits for the delete
// and is refused as above. No id
// of a write means none; only the listings take -1 for "every" where they
// say so. Ids of the matching engine's objects (the definition and token
// ids of a global-category definition) are stored as given: the
// repository does not hold those objects. A delete of an object that does
// not exist is no failure.
//
// Empty names. The name of a rule, a field (also one that addRuleField
// adds), a custom metric and a global category, and the key of
// setKeyValue, may be empty: an empty name is stored as given, since
// stored repositories and imports hold such names, and such an object is
// found only by its id (a value under the empty key only by that key).
// Where a kind's names are unique, the empty name is one like any other:
// a second rule, field or custom metric of the empty name is refused with
// the kind's refusal of a name in use ("Cannot add the rule """ and its
// reason), and a second addGlobalCategory("") answers the stored
// category's id, as for any name in use. A folder refuses an empty name
// (MetadataRepositoryDataAccess).
//
// Links. A link is stored once. A second add of a link whose row holds
// nothing but its key (a rule's field, a field mapping) is answered by the
// stored one (true), and so is a field that a category maps already; a
// definition that a category has already is answered by its id. A second
// link of one custom metric to one rule is refused, since it would give
// the pair a second position that the stored link does not have.
#ifndef REPOSADMIN_COMMON_DATA_ACCESS_H_
#define REPOSADMIN_COMMON_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repos_data_access_object.h"

class CommonRepositoryDataAccess : public ReposDataAccessObject {
 public:
  // --- Rule links -------------------------------------------------------

  // The custom metrics that rule `ruleId` uses: columns CM_ID, CM_DESC,
  // CM_PREXP, CM_EXP, CM_POSTXP, RM_SEQ, ordered by CM_DESC.
  virtual ReposDataAccessCursor* listRuleCustomMetrics(int ruleId) = 0;
  // The fields that rule `ruleId` reads: columns FI_NAME, FI_DESC, RF_SEQ.
  virtual ReposDataAccessCursor* listRuleFields(int ruleId) = 0;

  // Custom-metric rows (every CUSTM column in table order: CM_ID, CM_DESC,
  // CM_PREXP, CM_EXP, CM_POSTXP, CM_UUID, CM_COMM) looked up by CM_ID when
  // `cmId` is positive, else by CM_UUID when `uuid` is not empty, else by
  // CM_DESC. A lookup that fails is repeated by CM_DESC when a name is
  // given; when that finds nothing, null with the failure's reason. No
  // match gives a cursor without rows.
  virtual ReposDataAccessCursor* findCustomMetric(int cmId,
                                                  const KvbString& name,
                                                  const KvbString& uuid) = 0;

  // --- Rules --------------------------------------------------------------

  // Rule rows (every RULE column in table order) looked up by RU_ID when
  // `ruleId` is positive, else by RU_UUID when `uuid` is not empty, else by
  // RU_DESC when `name` is not empty; null when none of them is given,
  // with the text "No id, UUID or name of a rule was given" (not logged). A
  // lookup that fails is repeated by RU_DESC when a name is given; when
  // that finds nothing, null with the failure's reason.
  virtual ReposDataAccessCursor* findRule(int ruleId, const KvbString& name,
                                          const KvbString& uuid) = 0;
  // Adds a rule and answers its new RU_ID (from the id counter "RULE"); -1
  // on failure. A name (RU_DESC) that is stored already is refused with
  // "Cannot add the rule "<name>": " and "Monitor Admin" message 1385; a
  // UUID (RU_UUID) that another rule holds with "Cannot add the rule
  // "<name>" with UUID "<uuid>": " and "Monitor Repository" message 1085
  // (an empty UUID is none, and is not looked for); when both are held,
  // the name's refusal is the answer. Creation and edit
  // dates are the current date, `user` is both creator and editor. A
  // folder that does not exist is refused with "Folder <id> does not
  // exist" (0 is the root). Posts a "Rule" added event.
  virtual int addRule(const KvbString& name, const KvbString& type,
                      const KvbString& expression, const KvbString& group,
                      const KvbString& metadata, const KvbString& user,
                      const KvbString& uuid, int folderId,
                      const KvbString& comment, const KvbString& display) = 0;
  // Writes every column but RU_ID of the rule `ruleId`, each as given: a
  // null text is written as NULL and nothing is kept. The dates are plain
  // doubles, days since 1970 (KvbDate::asDouble()); there is no absent
  // date, and 0 writes 1970-01-01. A folder that does not exist is refused ("Folder
  // %d does not exist"), a rule that does not exist with "Rule <id> does
  // not exist". A name that another rule has is refused with "Cannot give
  // rule <id> the name "<name>": " and message 1385, a UUID that another
  // rule holds with "Cannot give rule <id> the UUID "<uuid>": " and message
  // 1085, as addRule refuses them; the rule's own name and UUID are no
  // conflict.
  virtual bool updateRule(int ruleId, const KvbString& name,
                          const KvbString& type, const KvbString& expression,
                          const KvbString& group, const KvbString& metadata,
                          const KvbString& user, double createdDate,
                          double editedDate, const KvbString& createdUser,
                          const KvbString& uuid, int folderId,
                          const KvbString& comment,
                          const KvbString& display) = 0;
  // Deletes the rule with its field links, custom-metric links and field
  // mappings, and the task rule members, rule events, execution
  // properties, trigger counts and global-category links that name it, all
  // or nothing: a task that used the rule keeps its other rules. A rule
  // that does not exist is no failure. The fields and custom metrics stay,
  // and so do the profile jobs' table rules and their results (JTBLRU,
  // JTBLMA, PBROUT, PBRLOG), which name the rule by BR_ID: they belong to
  // the jobs and their runs, which the profile store keeps whole.
  virtual bool deleteRule(int ruleId) = 0;
  // Deletes the rule's field mappings (CMFMAP), field links (RUFIME) and
  // custom-metric links (RUCMME), all or nothing; the rule stays. A rule
  // that does not exist is no failure.
  virtual bool deleteRuleLinks(int ruleId) = 0;
  // The field mappings of rule `ruleId` and custom metric `cmId`: every
  // CMFMAP column (RU_ID, CM_ID, RM_SEQ, FI_NAME, CM_FLDNM, CM_TYPE),
  // ordered by CM_FLDNM. Null for a negative `cmId`, with the text "No
  // custom metric was given for the field map of rule <ruleId>" (not
  // logged).
  virtual ReposDataAccessCursor* listCustomMetricFieldMap(int ruleId,
                                                          int cmId) = 0;

  // --- Fields and rule links ---------------------------------------------

  // Fields (FI_NAME, FI_DESC): the one of that name, or all when `name` is
  // empty.
  virtual ReposDataAccessCursor* listFields(const KvbString& name) = 0;
  // Adds a field; a name that exists already is refused with "Cannot add
  // the field "<name>": " and "Monitor Admin" message 924.
  virtual bool addField(const KvbString& name,
                        const KvbString& description) = 0;
  // Links field `name` to rule `ruleId`, first adding the field when it
  // does not exist. A new link is numbered one above the largest RF_SEQ
  // stored; an existing link is left as it is (true). A rule that does not
  // exist is refused ("Rule <id> does not exist"). A name that the
  // database refuses (a NUL byte on PostgreSQL) is named by its column,
  // FI_NAME of table MFLD.
  virtual bool addRuleField(int ruleId, const KvbString& name,
                            const KvbString& description) = 0;
  // Links custom metric `cmId` to rule `ruleId` at position `seq`; an
  // existing link of the pair is refused with "Cannot link custom metric
  // <cmId> to rule <ruleId> again: " and "Monitor Admin" message 1356,
  // whatever its position. A rule or custom metric that does not exist is
  // refused ("Rule <id> does not exist", "Custom metric <id> does not
  // exist"; the rule is looked for first).
  virtual bool addRuleCustomMetric(int ruleId, int cmId, int seq) = 0;
  // Maps rule field `fieldName` to custom-metric field `cmFieldName`
  // (`cmType` "I" input, "O" output) for the custom metric at position
  // `seq` of the rule. A rule or custom metric that does not exist is
  // refused as addRuleCustomMetric refuses it; a mapping stored already
  // (every column equal) is left as it is (true).
  virtual bool addCustomMetricFieldMap(int ruleId, int cmId, int seq,
                                       const KvbString& fieldName,
                                       const KvbString& cmFieldName,
                                       const KvbString& cmType) = 0;

  // --- Deletion of custom metrics and collections -------------------------

  // Removes nothing and logs nothing: custom metrics are not deleted
  // through the data access. Answers false, with a text that says so.
  virtual bool deleteCustomMetric(int cmId) = 0;
  // Deletes the global category with its definitions, mapped fields and
  // rule links, all or nothing. A category that does not exist is no
  // failure. The identification definitions of data explorations (MIDDEF)
  // and the profile results (FLDGCM) that name the category stay: they
  // record what an exploration or a run found, and belong to it.
  virtual bool deleteGlobalCategory(int gcId) = 0;

  // --- Custom metrics ------------------------------------------------------

  // Custom metrics (every CUSTM column, CM_ID first): the ones named `name`
  // (CM_DESC), or all when it is empty.
  virtual ReposDataAccessCursor* listCustomMetrics(const KvbString& name) = 0;
  // The fields of custom metric `cmId`: CM_FLDNM, CM_TYPE ordered by
  // CM_FLDNM.
  virtual ReposDataAccessCursor* listCustomMetricFields(int cmId) = 0;
  // Adds a custom metric with a new CM_ID (id counter "CUSTM") and a new
  // random CM_UUID, and answers the id; -1 on failure. A name (CM_DESC)
  // stored already is refused with "Cannot add the custom metric "<name>": "
  // and "Monitor Admin" message 1356.
  virtual int addCustomMetric(const KvbString& name,
                              const KvbString& preExpression,
                              const KvbString& expression,
                              const KvbString& postExpression) = 0;
  // Adds a field to custom metric `cmId`; a field with the same name and
  // type exists already: refused with "Cannot add the field "<name>" to
  // custom metric <cmId>: " and "Monitor Admin" message 1356. A custom
  // metric that does not exist is refused ("Custom metric <id> does not
  // exist").
  virtual bool addCustomMetricField(int cmId, const KvbString& name,
                                    const KvbString& type) = 0;
  // Writes the name, expressions and UUID of custom metric `cmId`, each as
  // given (a null as NULL; nothing is kept), and posts
  // a "CustomMetric" updated event. A custom metric that does not exist
  // fails with "Custom metric <id> does not exist". A name that another
  // custom metric has is refused with "Cannot give custom metric <id> the
  // name "<name>": " and message 1356, as addCustomMetric refuses it; a
  // UUID that another holds as updateRule refuses it.
  virtual bool updateCustomMetric(int cmId, const KvbString& name,
                                  const KvbString& preExpression,
                                  const KvbString& expression,
                                  const KvbString& postExpression,
                                  const KvbString& uuid) = 0;
  // Changes nothing: logs "clearCustomMetric has no implementation yet.
  // Unsure of what to clear here!" at level 2 and answers true, so that an
  // import over the custom metric goes on with its fields. The fields stay,
  // so the import adds only those that the custom metric lacks. Since it
  // stores nothing, it does not look for the custom metric.
  virtual bool clearCustomMetric(int cmId) = 0;

  // --- Global categories (collections) ------------------------------------

  // Global-category rows (GC_ID, GCNAME, GCDESC) by GC_ID when `gcId` is
  // positive, else by GCNAME when `name` is not empty; null when neither is
  // given, with the text "No id or name of a global category was given"
  // (not logged). Global categories have no stored UUID: `uuid` is not
  // used.
  virtual ReposDataAccessCursor* findGlobalCategory(int gcId,
                                                    const KvbString& name,
                                                    const KvbString& uuid) = 0;
  // The global category `gcId` (every GCATS column).
  virtual ReposDataAccessCursor* getGlobalCategory(int gcId) = 0;
  // The definitions of global category `gcId` (every GCDEF column).
  virtual ReposDataAccessCursor* listGlobalCategoryDefinitions(int gcId) = 0;
  // Mapped fields (every GCFLD column) of global category `gcId`, or of
  // every category when `gcId` is -1, restricted to the data source,
  // catalog, schema and table given; an empty text restricts nothing.
  virtual ReposDataAccessCursor* listGlobalCategoryFields(
      int gcId, const KvbString& dataSource, const KvbString& catalog,
      const KvbString& schema, const KvbString& table) = 0;
  // The GC_ID of the global category named `name`; when there is none, a
  // new one (id counter "GCATS") is added. -1 on failure.
  virtual int addGlobalCategory(const KvbString& name,
                                const KvbString& description) = 0;
  // The DEF_ID of the definition of `gcId` with the same locale,
  // matching-engine definition id and token id; when there is none, a new
  // one (id counter "GCDEF") is added. -1 on failure; a category that does
  // not exist is refused ("Global category <id> does not exist").
  virtual int addGlobalCategoryDefinition(
      int gcId, const KvbString& locale, int definitionId,
      const KvbString& definitionName, int tokenId, const KvbString& tokenName,
      const KvbString& tokenDescription) = 0;
  // Maps a field to global category `gcId`; nothing is added (true) when
  // the category has the same field with the same include flag already,
  // whatever its type, length and position. A category that does not
  // exist is refused ("Global category <id> does not exist"). A text that
  // the database refuses (a NUL byte on PostgreSQL) is named by its
  // column of table GCFLD.
  virtual bool addGlobalCategoryField(int gcId, const KvbString& dataSource,
                                      const KvbString& catalog,
                                      const KvbString& schema,
                                      const KvbString& table,
                                      const KvbString& field, bool include,
                                      const KvbString& fieldType,
                                      int fieldLength, int fieldPosition) = 0;
  // Writes the name and description of global category `gcId`; one that
  // does not exist fails with "Global category <id> does not exist", a name
  // that another category has with "Cannot give global category <id> the
  // name "<name>": Another global category has this name." (the category's
  // own name is no conflict).
  virtual bool updateGlobalCategory(int gcId, const KvbString& name,
                                    const KvbString& description) = 0;

  // --- Key/value store ------------------------------------------------------

  // Stores `value` under `key`, replacing the value stored there. A key
  // that another connection's open transaction holds is waited for once, up
  // to the busy timeout (SQLITE/BUSY_TIMEOUT); then the call fails with the
  // database's reason.
  virtual bool setKeyValue(const KvbString& key, const KvbString& value) = 0;
  // The value stored under `key` into *value (when given); false when there
  // is none.
  virtual bool getKeyValue(const KvbString& key, KvbString* value) = 0;
  // Deletes the value of `key`; false when none is stored (not logged).
  virtual bool deleteKey(const KvbString& key) = 0;
  // The keys stored (V_KEY), each once.
  virtual ReposDataAccessCursor* getKeys() = 0;
  // Every stored pair (V_KEY, V_VALUE).
  virtual ReposDataAccessCursor* getKeyValues() = 0;
};

#endif  // REPOSADMIN_COMMON_DATA_ACCESS_H_
