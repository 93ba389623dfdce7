// RefDataRDAImpl: the reference-data object on one repository connection.
// Each of its operations is a list of columns, filters and an order handed
// to one of three procedures: an add (one INSERT in a transaction of its
// own), a query by example and a delete by example; the joined views build
// their statement and run it as the query does.
#ifndef REFDATA_REFDATA_RDAIMPL_H_
#define REFDATA_REFDATA_RDAIMPL_H_

#include "access/base_rdaimpl.h"
#include "refdata/refdata_statement.h"
#include "reposadmin/refdata_data_access.h"

class RefDataRDAImpl : public RDA_Object<RefDataRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null, in which case every operation fails.
  explicit RefDataRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  bool addAccount(Text name, Text type, Text authServer, Text email, Text phone,
                  Text address, Text notify, int defaultRoleId,
                  int* newId) override;
  bool addAttribute(Text name, Text description, int typeId, Text type,
                    int contextId, int languageId, int unused, Text typeName,
                    int* newId) override;
  bool addAttributeContext(Text contextType, Text description,
                           int* newId) override;
  bool addAttributeType(Text type, Text description, int* newId) override;
  bool addLanguage(Text name, Text code, int* newId) override;
  bool addPermission(Text permission, Text description, int position,
                     int* newId) override;
  bool addRole(Text name, Text description, Text type, int* newId) override;
  bool addItem(Text key, Text value, Text enabled, Text active, Text scope,
               int accountId, int* newId) override;
  bool addItemAttributeValue(Text value, int languageId, int* newId) override;
  bool addDomain(Text name, Text description, Text type, Text enabled,
                 Text active, Text scope, int defaultLanguageId, Text locked,
                 int ownerId, int lockedById, Date lockDate, Text configType,
                 int* newId) override;
  bool addDomainPermission(int domainId, int accountId,
                           int permissionId) override;
  bool addDomainVersion(int domainId, int version, Text label, Text enabled,
                        Text active, Text scope, int accountId, Text locked,
                        int lockedById, Date lockDate, int* newId) override;
  bool addDomainVersionPermission(int domainVersionId, int accountId,
                                  int permissionId) override;
  bool addNote(int domainId, Text noteType, int rowId, Text rowKind, Text text,
               int languageId, int accountId, int* newId) override;
  bool addDomainAccess(int domainId, int accountId, int roleId) override;
  bool addDomainAssociation(int domainId, Text name, int* newId) override;
  bool addDomainLanguage(int domainId, int languageId, int* newId) override;
  bool addDomainLanguageVersion(int domainVersionId,
                                int domainLanguageId) override;
  bool addDomainAttribute(int domainId, int attributeId, int* newId) override;
  bool addDomainAttributePermission(int domainId, int accountId,
                                    int permissionId) override;
  bool addDomainAttributeVersion(int domainId, int domainAttributeId,
                                 int domainVersionId, Text isDefault) override;
  bool addDomainAttributeValue(int domainAttributeId, Text value,
                               Text isDefault, int languageId,
                               int* newId) override;
  bool addDomainAttributeValueVersion(int domainVersionId,
                                      int valueId) override;
  bool addItemPermission(int itemId, int accountId, int permissionId) override;
  bool addItemVersion(int domainVersionId, int itemId, int level, Text lineage,
                      int parentId, int* newId) override;
  bool addItemAttribute(int itemVersionId, int attributeId,
                        int* newId) override;
  bool addItemAttributePermission(int itemAttributeId, int accountId,
                                  int permissionId) override;
  bool addItemAttributeVersion(int domainVersionId,
                               int itemAttributeId) override;
  bool addItemAttributeValueVersion(int domainVersionId, int valueId,
                                    int itemAttributeId) override;
  bool addPublication(Text name, Text type, int domainId, int version,
                      Text dataSource, Text schema, int* newId) override;
  Cursor getAccounts(int id, Text name, Text type, Text authServer, Text email,
                     Text phone, Text address) override;
  Cursor getAttributes(int id, Text name, Text description) override;
  Cursor getUserAttributes(int id, Text name, Text description) override;
  Cursor getAttributeContexts(int id, Text contextType,
                              Text description) override;
  Cursor getAttributeTypes(int id, Text type, Text description) override;
  Cursor getLanguages(int id, Text name, Text code) override;
  Cursor getPermissions(int id, Text permission, Text description,
                        int position) override;
  Cursor getRoles(int id, Text name, Text description, Text type) override;
  Cursor getItems(int id, Text key, Text value, Text enabled, Text active,
                  Text scope, int accountId) override;
  Cursor getItemPermissions(int itemId, int accountId,
                            int permissionId) override;
  Cursor getItemAttributeValues(int id, Text value, int languageId) override;
  Cursor getDomains(int id, Text name, Text description, Text type,
                    Text enabled, Text active, Text scope,
                    int defaultLanguageId, Text locked, int ownerId,
                    int lockedById, Date lockDate, Text configType,
                    Date created) override;
  Cursor getDomainVersionSummaries(int domainId, Text domainName,
                                   bool latestOnly) override;
  Cursor getDomainVersionInfo(int domainId, int domainVersionId) override;
  Cursor getDomainDetails(int domainId) override;
  Cursor getLatestDomainVersion(int domainId) override;
  Cursor getDomainPermissions(int domainId, int accountId,
                              int permissionId) override;
  Cursor getDomainVersions(int id, int domainId, int version, Text label,
                           Text enabled, Text active, Text scope, int accountId,
                           Text locked, int lockedById, Date lockDate,
                           Date created) override;
  Cursor getDomainVersionHistory(int domainId, bool latestOnly) override;
  Cursor getEnabledDomains() override;
  Cursor getDomainVersionPermissions(int domainVersionId, int accountId,
                                     int permissionId) override;
  Cursor getNotes(int id, int domainId, Text noteType, int rowId, Text rowKind,
                  Text text, int languageId, int accountId,
                  Date created) override;
  Cursor getDomainAccess(int domainId, int accountId, int roleId) override;
  Cursor getDomainAssociations(int domainId, int associationId,
                               Text name) override;
  Cursor getDomainLanguages(int id, int domainId, int languageId) override;
  Cursor getDomainVersionLanguages(int languageId, int domainId,
                                   int domainVersionId) override;
  Cursor getUsedDomainLanguages(int domainId, int domainVersionId) override;
  Cursor getDomainLanguageVersions(int domainVersionId,
                                   int domainLanguageId) override;
  Cursor getDomainAttributes(int id, int domainId, int attributeId) override;
  Cursor getDomainUserAttributes(int domainId, int domainVersionId) override;
  Cursor getUsedDomainAttributes(int domainId, int domainVersionId) override;
  Cursor getDomainUserAttributeLanguages(int domainId,
                                         int domainVersionId) override;
  Cursor getDomainAttributePermissions(int domainId, int accountId,
                                       int permissionId) override;
  Cursor getDomainAttributeVersions(int domainId, int domainAttributeId,
                                    int domainVersionId,
                                    Text isDefault) override;
  Cursor getDomainAttributeValues(int id, int domainAttributeId, Text value,
                                  Text isDefault, int languageId) override;
  Cursor getDomainAttributeValueVersions(int domainVersionId,
                                         int valueId) override;
  Cursor getDomainVersionItems(int itemId, int domainVersionId) override;
  Cursor getDomainContents(int domainId, int domainVersionId) override;
  Cursor getDomainVersionContents(int domainId, int version) override;
  Cursor getItemVersions(int id, int domainVersionId, int itemId, Date created,
                         int level, Text lineage, int parentId) override;
  Cursor getChildItems(int domainVersionId, int parentId) override;
  Cursor getItemAttributes(int id, int itemVersionId, int attributeId) override;
  Cursor getItemVersionAttributes(int itemVersionId,
                                  int domainVersionId) override;
  Cursor getItemAttributePermissions(int itemAttributeId, int accountId,
                                     int permissionId) override;
  Cursor getItemAttributeVersions(int domainVersionId,
                                  int itemAttributeId) override;
  Cursor getItemVersionAttributeValues(int itemVersionId,
                                       int domainVersionId) override;
  Cursor getItemAttributeValueVersions(int domainVersionId, int valueId,
                                       int itemAttributeId) override;
  Cursor getPublications(int id, Text name, Text type, int domainId,
                         int version, Text dataSource, Text schema) override;
  Cursor getPublicationNotes(int domainId) override;
  bool deleteAccounts(int id, Text name, Text type, Text authServer, Text email,
                      Text phone, Text address) override;
  bool deleteAttributes(int id, Text name) override;
  bool deleteAttributeContexts(int id, Text contextType,
                               Text description) override;
  bool deleteAttributeTypes(int id, Text type, Text description) override;
  bool deleteLanguages(int id, Text name, Text code) override;
  bool deletePermissions(int id, Text permission, Text description,
                         int position) override;
  bool deleteRoles(int id, Text name, Text description, Text type) override;
  bool deleteItems(int id, Text key, Text value, Text enabled, Text active,
                   Text scope, int accountId) override;
  bool deleteItemAttributeValues(int id, Text value, int languageId) override;
  bool deleteDomains(int id, Text name, Text description, Text type,
                     Text enabled, Text active, Text scope,
                     int defaultLanguageId, Text locked, int ownerId,
                     int lockedById, Date lockDate, Text configType,
                     Date created) override;
  bool deleteDomainPermissions(int domainId, int accountId,
                               int permissionId) override;
  bool deleteDomainVersions(int id, int domainId, int version, Text label,
                            Text enabled, Text active, Text scope,
                            int accountId, Text locked, int lockedById,
                            Date lockDate, Date created) override;
  bool deleteDomainVersionPermissions(int domainVersionId, int accountId,
                                      int permissionId) override;
  bool deleteNotes(int id, int domainId, Text noteType, int rowId, Text rowKind,
                   Text text, int languageId, int accountId) override;
  bool deleteDomainAccess(int domainId, int accountId, int roleId) override;
  bool deleteDomainAssociations(int domainId, int associationId,
                                Text name) override;
  bool deleteDomainLanguages(int id, int domainId, int languageId) override;
  bool deleteDomainLanguageVersions(int domainVersionId,
                                    int domainLanguageId) override;
  bool deleteDomainAttributes(int id, int domainId, int attributeId) override;
  bool deleteDomainAttributePermissions(int domainId, int accountId,
                                        int permissionId) override;
  bool deleteDomainAttributeVersions(int domainId, int domainAttributeId,
                                     int domainVersionId,
                                     Text isDefault) override;
  bool deleteDomainAttributeValues(int id, int domainAttributeId, Text value,
                                   Text isDefault, int languageId) override;
  bool deleteDomainAttributeValueVersions(int domainVersionId,
                                          int valueId) override;
  bool deleteItemPermissions(int itemId, int accountId,
                             int permissionId) override;
  bool deleteItemVersions(int id, int domainVersionId, int itemId, Date created,
                          int level, Text lineage, int parentId) override;
  bool deleteItemAttributes(int id, int itemVersionId,
                            int attributeId) override;
  bool deleteItemAttributePermissions(int itemAttributeId, int accountId,
                                      int permissionId) override;
  bool deleteItemAttributeVersions(int domainVersionId,
                                   int itemAttributeId) override;
  bool deleteItemAttributeValueVersions(int domainVersionId, int valueId,
                                        int itemAttributeId) override;
  bool deletePublications(int id, Text name, Text type, int domainId,
                          int version, Text dataSource, Text schema) override;
  bool deleteImportStagingItems(int id, int itemId, Text valueColumn,
                                Text displayColumn, Text parentColumn,
                                int parentId, int domainVersionId, int profile,
                                Text importFlag, Text versionFlag,
                                Text parentKeyColumn, Text lineage, int level,
                                int itemVersionId, Date created) override;
  bool deleteImportStagingValues(int id, int itemId, int attributeId,
                                 int valueId, int languageId,
                                 Text attributeValue, int profile,
                                 Text valueImportFlag, Text attributeImportFlag,
                                 Text valueVersionFlag,
                                 Text attributeVersionFlag, int attributeKey,
                                 int valueKey, int itemAttributeId,
                                 int domainVersionId, int itemVersionId,
                                 Date created) override;
  bool deleteImportStagingTree(int domainVersionId, int itemId, Date created,
                               int level, Text lineage, int parentId,
                               int profile) override;
  bool deleteTempImportItems(int itemId, int domainVersionId) override;
  bool deleteImportAttributes(int id, int itemId, int itemVersionId,
                              int domainVersionId) override;
  bool deleteImportColumns(int sourceColumn, int position, int profile,
                           int systemColumn, int isAttribute) override;

 private:
  enum Dated { kUndated, kDated };

  // The add procedure: inserts the given `values` into table `code`, after
  // the next id of the counter `code` in `idColumn` (none for a link table)
  // and before CRTDATE, the current date, when `dated`. The id goes to
  // *newId after the transaction ended well. A link row with no value is
  // refused.
  bool addRow(const char* code, Dated dated, RdFields values, int* newId,
              const char* idColumn = "ID");
  bool addLink(const char* code, RdFields values) {
    return addRow(code, kUndated, values, nullptr, nullptr);
  }
  // The query-by-example procedure: every column of the rows of `code`
  // that match the given filters, followed by `order`.
  Cursor queryByExample(const char* code, RdFields filters,
                        const char* order = "");
  // The delete-by-example procedure.
  bool deleteByExample(const char* code, RdFields filters);
};

#endif  // REFDATA_REFDATA_RDAIMPL_H_
