// The single-table operations of the reference-data object: for each, its
// table, its columns or filters in SQL order, and its order. The
// procedures that run them are in refdata_rdaimpl.cpp.
#include "refdata/refdata_rdaimpl.h"

using Cursor = RefDataRDAImpl::Cursor;

// The columns of a table as its query and delete filter on them (and, for
// a link table, as its add writes them), in the names of the operations'
// parameters: one list where the operations agree.
// clang-format off
#define RDROLS_COLUMNS \
  {{"ID", id}, {"ROLENAME", name}, {"DESCRPTN", description}, \
   {"ROLETYPE", type}}
#define RDOPRS_COLUMNS \
  {{"ID", id}, {"PERMISON", permission}, {"DESCRPTN", description}, \
   {"POSITION", position}}
#define RDDOMS_COLUMNS \
  {{"ID", id}, {"DOMNAME", name}, {"DESCRPTN", description}, \
   {"DOMTYPE", type}, {"ENABLED", enabled}, {"ACTIVE", active}, \
   {"SCOPE", scope}, {"DEFLANID", defaultLanguageId}, {"ISLOCKED", locked}, \
   {"OWNERID", ownerId}, {"LOCKBYID", lockedById}, {"LOCKDATE", lockDate}, \
   {"CONFTYP", configType}, {"CRTDATE", created}}
#define RDDOVR_COLUMNS \
  {{"ID", id}, {"DOMAINID", domainId}, {"VERSION", version}, \
   {"LABEL", label}, {"ENABLED", enabled}, {"ACTIVE", active}, \
   {"SCOPE", scope}, {"ACCTID", accountId}, {"ISLOCKED", locked}, \
   {"LOCKBYID", lockedById}, {"LOCKDATE", lockDate}, {"CRTDATE", created}}
#define RDDOLG_COLUMNS \
  {{"ID", id}, {"DOMAINID", domainId}, {"LANGID", languageId}}
#define RDDOLV_COLUMNS \
  {{"DOMVERID", domainVersionId}, {"DOMLANID", domainLanguageId}}
#define RDDOAT_COLUMNS \
  {{"ID", id}, {"DOMAINID", domainId}, {"ATTRIBID", attributeId}}
#define RDDATP_COLUMNS \
  {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"PERMSID", permissionId}}
#define RDDATV_COLUMNS \
  {{"DOMAINID", domainId}, {"DOMATTID", domainAttributeId}, \
   {"DOMVERID", domainVersionId}, {"ISDEFALT", isDefault}}
#define RDDOAV_COLUMNS \
  {{"ID", id}, {"DOMATRID", domainAttributeId}, {"VALUE", value}, \
   {"ISDFAULT", isDefault}, {"LANGID", languageId}}
#define RDDAVV_COLUMNS \
  {{"DOMVERID", domainVersionId}, {"DOATVLID", valueId}}
#define RDDOIT_COLUMNS \
  {{"ID", id}, {"ITEMKEY", key}, {"ITEMVAL", value}, {"ENABLED", enabled}, \
   {"ACTIVE", active}, {"SCOPE", scope}, {"ACCTID", accountId}}
#define RDITPR_COLUMNS \
  {{"ITEMID", itemId}, {"ACCTID", accountId}, {"PERMSID", permissionId}}
#define RDITVR_COLUMNS \
  {{"ID", id}, {"DOMVERID", domainVersionId}, {"ITEMID", itemId}, \
   {"CRTDATE", created}, {"ITEMLVL", level}, {"LINEAGE", lineage}, \
   {"PARNTID", parentId}}
#define RDDOIA_COLUMNS \
  {{"ID", id}, {"ITVERID", itemVersionId}, {"ATTRIBID", attributeId}}
#define RDITAV_COLUMNS \
  {{"ID", id}, {"VALUE", value}, {"LANGID", languageId}}
#define RDIAVR_COLUMNS \
  {{"DOMVERID", domainVersionId}, {"ITEATTID", itemAttributeId}}
#define RDITVV_COLUMNS \
  {{"DOMVERID", domainVersionId}, {"ITATVLID", valueId}, \
   {"ITEATTID", itemAttributeId}}
#define RDITAP_COLUMNS \
  {{"ITATTRID", itemAttributeId}, {"ACCTID", accountId}, \
   {"PERMSID", permissionId}}
#define RDDOPR_COLUMNS \
  {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"PERMSID", permissionId}}
#define RDDVPR_COLUMNS \
  {{"DOMVERID", domainVersionId}, {"ACCTID", accountId}, \
   {"PERMSID", permissionId}}
#define RDDACC_COLUMNS \
  {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"ROLEID", roleId}}
#define RDDOAS_COLUMNS \
  {{"DOMAINID", domainId}, {"DOMASSID", associationId}, {"ASSNAME", name}}
// clang-format on

// ---------------------------------------------------------------------------
// Accounts, roles and permissions

bool RefDataRDAImpl::addAccount(Text name, Text type, Text authServer,
                                Text email, Text phone, Text address,
                                Text notify, int defaultRoleId, int* newId) {
  return addRow("RDACTS", kDated,
                {{"ACTNAME", name},
                 {"ACTTYPE", type},
                 {"AUTHSVR", authServer},
                 {"EMAIL", email},
                 {"PHONE", phone},
                 {"ADDRESS", address},
                 {"NOTIFY", notify},
                 {"DEFROLID", defaultRoleId}},
                newId);
}

Cursor RefDataRDAImpl::getAccounts(int id, Text name, Text type,
                                   Text authServer, Text email, Text phone,
                                   Text address) {
  return queryByExample("RDACTS", {{"ACTNAME", name},
                                   {"ACTTYPE", type},
                                   {"AUTHSVR", authServer},
                                   {"EMAIL", email},
                                   {"PHONE", phone},
                                   {"ADDRESS", address},
                                   {"ID", id}});
}

bool RefDataRDAImpl::deleteAccounts(int id, Text name, Text type,
                                    Text authServer, Text email, Text phone,
                                    Text address) {
  return deleteByExample("RDACTS", {{"ID", id},
                                    {"ACTNAME", name},
                                    {"ACTTYPE", type},
                                    {"AUTHSVR", authServer},
                                    {"EMAIL", email},
                                    {"PHONE", phone},
                                    {"ADDRESS", address}});
}

bool RefDataRDAImpl::addRole(Text name, Text description, Text type,
                             int* newId) {
  return addRow(
      "RDROLS", kUndated,
      {{"ROLENAME", name}, {"DESCRPTN", description}, {"ROLETYPE", type}},
      newId);
}

Cursor RefDataRDAImpl::getRoles(int id, Text name, Text description,
                                Text type) {
  return queryByExample("RDROLS", RDROLS_COLUMNS);
}

bool RefDataRDAImpl::deleteRoles(int id, Text name, Text description,
                                 Text type) {
  return deleteByExample("RDROLS", RDROLS_COLUMNS);
}

bool RefDataRDAImpl::addPermission(Text permission, Text description,
                                   int position, int* newId) {
  return addRow("RDOPRS", kUndated,
                {{"PERMISON", permission},
                 {"DESCRPTN", description},
                 RdField::anySign("POSITION", position)},
                newId);
}

Cursor RefDataRDAImpl::getPermissions(int id, Text permission, Text description,
                                      int position) {
  return queryByExample("RDOPRS", RDOPRS_COLUMNS);
}

bool RefDataRDAImpl::deletePermissions(int id, Text permission,
                                       Text description, int position) {
  return deleteByExample("RDOPRS", RDOPRS_COLUMNS);
}

// ---------------------------------------------------------------------------
// Attributes, attribute contexts and types, languages

bool RefDataRDAImpl::addAttribute(Text name, Text description, int typeId,
                                  Text type, int contextId, int languageId, int,
                                  Text typeName, int* newId) {
  // Both texts name the ATTRTYPE column, which an insert may name once.
  return addRow("RDATRS", kDated,
                {{"ATTRTYID", typeId},
                 {"CONTYID", contextId},
                 {"ATTRNAME", name},
                 {"DESCRPTN", description},
                 {"ATTRTYPE", type.length() > 0 ? type : typeName},
                 {"LANGID", languageId}},
                newId);
}

Cursor RefDataRDAImpl::getAttributes(int id, Text name, Text description) {
  return queryByExample(
      "RDATRS", {{"ATTRNAME", name}, {"DESCRPTN", description}, {"ID", id}});
}

bool RefDataRDAImpl::deleteAttributes(int id, Text name) {
  return deleteByExample("RDATRS", {{"ATTRNAME", name}, {"ID", id}});
}

bool RefDataRDAImpl::addAttributeContext(Text contextType, Text description,
                                         int* newId) {
  return addRow("RDATRC", kUndated,
                {{"CONTYPE", contextType}, {"DESCRPTN", description}}, newId);
}

Cursor RefDataRDAImpl::getAttributeContexts(int id, Text contextType,
                                            Text description) {
  return queryByExample(
      "RDATRC",
      {{"CONTYPE", contextType}, {"DESCRPTN", description}, {"ID", id}});
}

bool RefDataRDAImpl::deleteAttributeContexts(int id, Text contextType,
                                             Text description) {
  return deleteByExample(
      "RDATRC",
      {{"ID", id}, {"CONTYPE", contextType}, {"DESCRPTN", description}});
}

bool RefDataRDAImpl::addAttributeType(Text type, Text description, int* newId) {
  return addRow("RDATTY", kUndated,
                {{"ATTTYPE", type}, {"DESCRPTN", description}}, newId);
}

Cursor RefDataRDAImpl::getAttributeTypes(int id, Text type, Text description) {
  return queryByExample(
      "RDATTY", {{"ATTTYPE", type}, {"DESCRPTN", description}, {"ID", id}});
}

bool RefDataRDAImpl::deleteAttributeTypes(int id, Text type, Text description) {
  return deleteByExample(
      "RDATTY", {{"ID", id}, {"ATTTYPE", type}, {"DESCRPTN", description}});
}

bool RefDataRDAImpl::addLanguage(Text name, Text code, int* newId) {
  return addRow("RDLANS", kUndated, {{"LANGNAME", name}, {"CODE", code}},
                newId);
}

Cursor RefDataRDAImpl::getLanguages(int id, Text name, Text code) {
  return queryByExample("RDLANS",
                        {{"LANGNAME", name}, {"CODE", code}, {"ID", id}});
}

bool RefDataRDAImpl::deleteLanguages(int id, Text name, Text code) {
  return deleteByExample("RDLANS",
                         {{"ID", id}, {"LANGNAME", name}, {"CODE", code}});
}

// ---------------------------------------------------------------------------
// Domains and domain versions

bool RefDataRDAImpl::addDomain(Text name, Text description, Text type,
                               Text enabled, Text active, Text scope,
                               int defaultLanguageId, Text locked, int ownerId,
                               int lockedById, Date lockDate, Text configType,
                               int* newId) {
  return addRow("RDDOMS", kDated,
                {{"DOMNAME", name},
                 {"DESCRPTN", description},
                 {"DOMTYPE", type},
                 {"ENABLED", enabled},
                 {"ACTIVE", active},
                 {"SCOPE", scope},
                 {"DEFLANID", defaultLanguageId},
                 {"ISLOCKED", locked},
                 {"OWNERID", ownerId},
                 {"LOCKBYID", lockedById},
                 {"LOCKDATE", lockDate},
                 {"CONFTYP", configType}},
                newId);
}

Cursor RefDataRDAImpl::getDomains(int id, Text name, Text description,
                                  Text type, Text enabled, Text active,
                                  Text scope, int defaultLanguageId,
                                  Text locked, int ownerId, int lockedById,
                                  Date lockDate, Text configType,
                                  Date created) {
  return queryByExample("RDDOMS", RDDOMS_COLUMNS);
}

bool RefDataRDAImpl::deleteDomains(int id, Text name, Text description,
                                   Text type, Text enabled, Text active,
                                   Text scope, int defaultLanguageId,
                                   Text locked, int ownerId, int lockedById,
                                   Date lockDate, Text configType,
                                   Date created) {
  return deleteByExample("RDDOMS", RDDOMS_COLUMNS);
}

bool RefDataRDAImpl::addDomainVersion(int domainId, int version, Text label,
                                      Text enabled, Text active, Text scope,
                                      int accountId, Text locked,
                                      int lockedById, Date lockDate,
                                      int* newId) {
  return addRow("RDDOVR", kDated,
                {{"DOMAINID", domainId},
                 {"VERSION", version},
                 {"LABEL", label},
                 {"ENABLED", enabled},
                 {"ACTIVE", active},
                 {"SCOPE", scope},
                 {"ACCTID", accountId},
                 {"ISLOCKED", locked},
                 {"LOCKBYID", lockedById},
                 {"LOCKDATE", lockDate}},
                newId);
}

Cursor RefDataRDAImpl::getDomainVersions(int id, int domainId, int version,
                                         Text label, Text enabled, Text active,
                                         Text scope, int accountId, Text locked,
                                         int lockedById, Date lockDate,
                                         Date created) {
  return queryByExample("RDDOVR", RDDOVR_COLUMNS, " ORDER BY ID DESC");
}

bool RefDataRDAImpl::deleteDomainVersions(int id, int domainId, int version,
                                          Text label, Text enabled, Text active,
                                          Text scope, int accountId,
                                          Text locked, int lockedById,
                                          Date lockDate, Date created) {
  return deleteByExample("RDDOVR", RDDOVR_COLUMNS);
}

// ---------------------------------------------------------------------------
// Domain languages

bool RefDataRDAImpl::addDomainLanguage(int domainId, int languageId,
                                       int* newId) {
  return addRow("RDDOLG", kUndated,
                {{"DOMAINID", domainId}, {"LANGID", languageId}}, newId);
}

Cursor RefDataRDAImpl::getDomainLanguages(int id, int domainId,
                                          int languageId) {
  return queryByExample("RDDOLG", RDDOLG_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainLanguages(int id, int domainId,
                                           int languageId) {
  return deleteByExample("RDDOLG", RDDOLG_COLUMNS);
}

bool RefDataRDAImpl::addDomainLanguageVersion(int domainVersionId,
                                              int domainLanguageId) {
  return addLink("RDDOLV", RDDOLV_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainLanguageVersions(int domainVersionId,
                                                 int domainLanguageId) {
  return queryByExample("RDDOLV", RDDOLV_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainLanguageVersions(int domainVersionId,
                                                  int domainLanguageId) {
  return deleteByExample("RDDOLV", RDDOLV_COLUMNS);
}

// ---------------------------------------------------------------------------
// Domain attributes and their values

bool RefDataRDAImpl::addDomainAttribute(int domainId, int attributeId,
                                        int* newId) {
  return addRow("RDDOAT", kUndated,
                {{"DOMAINID", domainId}, {"ATTRIBID", attributeId}}, newId);
}

Cursor RefDataRDAImpl::getDomainAttributes(int id, int domainId,
                                           int attributeId) {
  return queryByExample("RDDOAT", RDDOAT_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAttributes(int id, int domainId,
                                            int attributeId) {
  return deleteByExample("RDDOAT", RDDOAT_COLUMNS);
}

bool RefDataRDAImpl::addDomainAttributePermission(int domainId, int accountId,
                                                  int permissionId) {
  return addLink("RDDATP", RDDATP_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainAttributePermissions(int domainId,
                                                     int accountId,
                                                     int permissionId) {
  return queryByExample("RDDATP", RDDATP_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAttributePermissions(int domainId,
                                                      int accountId,
                                                      int permissionId) {
  return deleteByExample("RDDATP", RDDATP_COLUMNS);
}

bool RefDataRDAImpl::addDomainAttributeVersion(int domainId,
                                               int domainAttributeId,
                                               int domainVersionId,
                                               Text isDefault) {
  return addLink("RDDATV", RDDATV_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainAttributeVersions(int domainId,
                                                  int domainAttributeId,
                                                  int domainVersionId,
                                                  Text isDefault) {
  return queryByExample("RDDATV", RDDATV_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAttributeVersions(int domainId,
                                                   int domainAttributeId,
                                                   int domainVersionId,
                                                   Text isDefault) {
  return deleteByExample("RDDATV", RDDATV_COLUMNS);
}

bool RefDataRDAImpl::addDomainAttributeValue(int domainAttributeId, Text value,
                                             Text isDefault, int languageId,
                                             int* newId) {
  return addRow("RDDOAV", kUndated,
                {{"DOMATRID", domainAttributeId},
                 {"VALUE", value},
                 {"ISDFAULT", isDefault},
                 {"LANGID", languageId}},
                newId);
}

Cursor RefDataRDAImpl::getDomainAttributeValues(int id, int domainAttributeId,
                                                Text value, Text isDefault,
                                                int languageId) {
  return queryByExample("RDDOAV", RDDOAV_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAttributeValues(int id, int domainAttributeId,
                                                 Text value, Text isDefault,
                                                 int languageId) {
  return deleteByExample("RDDOAV", RDDOAV_COLUMNS);
}

bool RefDataRDAImpl::addDomainAttributeValueVersion(int domainVersionId,
                                                    int valueId) {
  return addLink("RDDAVV", RDDAVV_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainAttributeValueVersions(int domainVersionId,
                                                       int valueId) {
  return queryByExample("RDDAVV", RDDAVV_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAttributeValueVersions(int domainVersionId,
                                                        int valueId) {
  return deleteByExample("RDDAVV", RDDAVV_COLUMNS);
}

// ---------------------------------------------------------------------------
// Items and item versions

bool RefDataRDAImpl::addItem(Text key, Text value, Text enabled, Text active,
                             Text scope, int accountId, int* newId) {
  return addRow("RDDOIT", kUndated,
                {{"ITEMKEY", key},
                 {"ITEMVAL", value},
                 {"ENABLED", enabled},
                 {"ACTIVE", active},
                 {"SCOPE", scope},
                 {"ACCTID", accountId}},
                newId);
}

Cursor RefDataRDAImpl::getItems(int id, Text key, Text value, Text enabled,
                                Text active, Text scope, int accountId) {
  return queryByExample("RDDOIT", RDDOIT_COLUMNS);
}

bool RefDataRDAImpl::deleteItems(int id, Text key, Text value, Text enabled,
                                 Text active, Text scope, int accountId) {
  return deleteByExample("RDDOIT", RDDOIT_COLUMNS);
}

bool RefDataRDAImpl::addItemPermission(int itemId, int accountId,
                                       int permissionId) {
  return addLink("RDITPR", RDITPR_COLUMNS);
}

Cursor RefDataRDAImpl::getItemPermissions(int itemId, int accountId,
                                          int permissionId) {
  return queryByExample("RDITPR", RDITPR_COLUMNS);
}

bool RefDataRDAImpl::deleteItemPermissions(int itemId, int accountId,
                                           int permissionId) {
  return deleteByExample("RDITPR", RDITPR_COLUMNS);
}

bool RefDataRDAImpl::addItemVersion(int domainVersionId, int itemId, int level,
                                    Text lineage, int parentId, int* newId) {
  return addRow("RDITVR", kDated,
                {{"DOMVERID", domainVersionId},
                 {"ITEMID", itemId},
                 {"ITEMLVL", level},
                 {"LINEAGE", lineage},
                 {"PARNTID", parentId}},
                newId);
}

Cursor RefDataRDAImpl::getItemVersions(int id, int domainVersionId, int itemId,
                                       Date created, int level, Text lineage,
                                       int parentId) {
  return queryByExample("RDITVR", RDITVR_COLUMNS);
}

bool RefDataRDAImpl::deleteItemVersions(int id, int domainVersionId, int itemId,
                                        Date created, int level, Text lineage,
                                        int parentId) {
  return deleteByExample("RDITVR", RDITVR_COLUMNS);
}

// ---------------------------------------------------------------------------
// Item attributes and their values

bool RefDataRDAImpl::addItemAttribute(int itemVersionId, int attributeId,
                                      int* newId) {
  return addRow("RDDOIA", kUndated,
                {{"ITVERID", itemVersionId}, {"ATTRIBID", attributeId}}, newId);
}

Cursor RefDataRDAImpl::getItemAttributes(int id, int itemVersionId,
                                         int attributeId) {
  return queryByExample("RDDOIA", RDDOIA_COLUMNS);
}

bool RefDataRDAImpl::deleteItemAttributes(int id, int itemVersionId,
                                          int attributeId) {
  return deleteByExample("RDDOIA", RDDOIA_COLUMNS);
}

bool RefDataRDAImpl::addItemAttributeValue(Text value, int languageId,
                                           int* newId) {
  return addRow("RDITAV", kUndated, {{"VALUE", value}, {"LANGID", languageId}},
                newId);
}

Cursor RefDataRDAImpl::getItemAttributeValues(int id, Text value,
                                              int languageId) {
  return queryByExample("RDITAV", RDITAV_COLUMNS);
}

bool RefDataRDAImpl::deleteItemAttributeValues(int id, Text value,
                                               int languageId) {
  return deleteByExample("RDITAV", RDITAV_COLUMNS);
}

bool RefDataRDAImpl::addItemAttributeVersion(int domainVersionId,
                                             int itemAttributeId) {
  return addLink("RDIAVR", RDIAVR_COLUMNS);
}

Cursor RefDataRDAImpl::getItemAttributeVersions(int domainVersionId,
                                                int itemAttributeId) {
  return queryByExample("RDIAVR", RDIAVR_COLUMNS);
}

bool RefDataRDAImpl::deleteItemAttributeVersions(int domainVersionId,
                                                 int itemAttributeId) {
  return deleteByExample("RDIAVR", RDIAVR_COLUMNS);
}

bool RefDataRDAImpl::addItemAttributeValueVersion(int domainVersionId,
                                                  int valueId,
                                                  int itemAttributeId) {
  return addLink("RDITVV", RDITVV_COLUMNS);
}

Cursor RefDataRDAImpl::getItemAttributeValueVersions(int domainVersionId,
                                                     int valueId,
                                                     int itemAttributeId) {
  return queryByExample("RDITVV", RDITVV_COLUMNS);
}

bool RefDataRDAImpl::deleteItemAttributeValueVersions(int domainVersionId,
                                                      int valueId,
                                                      int itemAttributeId) {
  return deleteByExample("RDITVV", RDITVV_COLUMNS);
}

bool RefDataRDAImpl::addItemAttributePermission(int itemAttributeId,
                                                int accountId,
                                                int permissionId) {
  return addLink("RDITAP", RDITAP_COLUMNS);
}

Cursor RefDataRDAImpl::getItemAttributePermissions(int itemAttributeId,
                                                   int accountId,
                                                   int permissionId) {
  return queryByExample("RDITAP", RDITAP_COLUMNS);
}

bool RefDataRDAImpl::deleteItemAttributePermissions(int itemAttributeId,
                                                    int accountId,
                                                    int permissionId) {
  return deleteByExample("RDITAP", RDITAP_COLUMNS);
}

// ---------------------------------------------------------------------------
// Domain permissions, access and associations

bool RefDataRDAImpl::addDomainPermission(int domainId, int accountId,
                                         int permissionId) {
  return addLink("RDDOPR", RDDOPR_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainPermissions(int domainId, int accountId,
                                            int permissionId) {
  return queryByExample("RDDOPR", RDDOPR_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainPermissions(int domainId, int accountId,
                                             int permissionId) {
  return deleteByExample("RDDOPR", RDDOPR_COLUMNS);
}

bool RefDataRDAImpl::addDomainVersionPermission(int domainVersionId,
                                                int accountId,
                                                int permissionId) {
  return addLink("RDDVPR", RDDVPR_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainVersionPermissions(int domainVersionId,
                                                   int accountId,
                                                   int permissionId) {
  return queryByExample("RDDVPR", RDDVPR_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainVersionPermissions(int domainVersionId,
                                                    int accountId,
                                                    int permissionId) {
  return deleteByExample("RDDVPR", RDDVPR_COLUMNS);
}

bool RefDataRDAImpl::addDomainAccess(int domainId, int accountId, int roleId) {
  return addLink("RDDACC", RDDACC_COLUMNS);
}

Cursor RefDataRDAImpl::getDomainAccess(int domainId, int accountId,
                                       int roleId) {
  return queryByExample("RDDACC", RDDACC_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAccess(int domainId, int accountId,
                                        int roleId) {
  return deleteByExample("RDDACC", RDDACC_COLUMNS);
}

bool RefDataRDAImpl::addDomainAssociation(int domainId, Text name, int* newId) {
  return addRow("RDDOAS", kUndated, {{"DOMAINID", domainId}, {"ASSNAME", name}},
                newId, "DOMASSID");
}

Cursor RefDataRDAImpl::getDomainAssociations(int domainId, int associationId,
                                             Text name) {
  return queryByExample("RDDOAS", RDDOAS_COLUMNS);
}

bool RefDataRDAImpl::deleteDomainAssociations(int domainId, int associationId,
                                              Text name) {
  return deleteByExample("RDDOAS", RDDOAS_COLUMNS);
}

// ---------------------------------------------------------------------------
// Notes and publications

bool RefDataRDAImpl::addNote(int domainId, Text noteType, int rowId,
                             Text rowKind, Text text, int languageId,
                             int accountId, int* newId) {
  return addRow("RDNOTS", kDated,
                {{"DOMAINID", domainId},
                 {"NOTETYPE", noteType},
                 {"TABLKYID", rowId},
                 {"TABLNAME", rowKind},
                 {"TEXT", text},
                 {"LANGID", languageId},
                 {"ACCTID", accountId}},
                newId);
}

Cursor RefDataRDAImpl::getNotes(int id, int domainId, Text noteType, int rowId,
                                Text rowKind, Text text, int languageId,
                                int accountId, Date created) {
  return queryByExample("RDNOTS", {{"ID", id},
                                   {"DOMAINID", domainId},
                                   {"NOTETYPE", noteType},
                                   {"TABLKYID", rowId},
                                   {"TABLNAME", rowKind},
                                   {"TEXT", text},
                                   {"LANGID", languageId},
                                   {"ACCTID", accountId},
                                   {"CRTDATE", created}});
}

bool RefDataRDAImpl::deleteNotes(int id, int domainId, Text noteType, int rowId,
                                 Text rowKind, Text text, int languageId,
                                 int accountId) {
  return deleteByExample("RDNOTS", {{"ID", id},
                                    {"DOMAINID", domainId},
                                    {"NOTETYPE", noteType},
                                    {"TABLKYID", rowId},
                                    {"TABLNAME", rowKind},
                                    {"TEXT", text},
                                    {"LANGID", languageId},
                                    {"ACCTID", accountId}});
}

bool RefDataRDAImpl::addPublication(Text name, Text type, int domainId,
                                    int version, Text dataSource, Text schema,
                                    int* newId) {
  return addRow("RDPUBS", kUndated,
                {{"PUBNAME", name},
                 {"PUBTYPE", type},
                 {"DOMAINID", domainId},
                 {"VERSION", version},
                 {"DSN", dataSource},
                 {"SCHEMANM", schema}},
                newId);
}

bool RefDataRDAImpl::deletePublications(int id, Text name, Text type,
                                        int domainId, int version,
                                        Text dataSource, Text schema) {
  return deleteByExample("RDPUBS", {{"ID", id},
                                    {"PUBNAME", name},
                                    {"PUBTYPE", type},
                                    {"DOMAINID", domainId},
                                    {"VERSION", version},
                                    {"DSN", dataSource},
                                    {"SCHEMANM", schema}});
}

// ---------------------------------------------------------------------------
// Import staging clean-up

bool RefDataRDAImpl::deleteImportStagingItems(
    int id, int itemId, Text valueColumn, Text displayColumn, Text parentColumn,
    int parentId, int domainVersionId, int profile, Text importFlag,
    Text versionFlag, Text parentKeyColumn, Text lineage, int level,
    int itemVersionId, Date created) {
  return deleteByExample("RDIMSG", {{"ID", id},
                                    {"ITEMID", itemId},
                                    {"VALUECOL", valueColumn},
                                    {"DISPYCOL", displayColumn},
                                    {"PARNTCOL", parentColumn},
                                    {"PARNTID", parentId},
                                    {"DOMVERID", domainVersionId},
                                    {"PROFILE", profile},
                                    {"IMPFLAG", importFlag},
                                    {"VERFLAG", versionFlag},
                                    {"PARKYCOL", parentKeyColumn},
                                    {"LINEAGE", lineage},
                                    {"ITEMLVL", level},
                                    {"ITVERID", itemVersionId},
                                    {"CRTDATE", created}});
}

bool RefDataRDAImpl::deleteImportStagingValues(
    int id, int itemId, int attributeId, int valueId, int languageId,
    Text attributeValue, int profile, Text valueImportFlag,
    Text attributeImportFlag, Text valueVersionFlag, Text attributeVersionFlag,
    int attributeKey, int valueKey, int itemAttributeId, int domainVersionId,
    int itemVersionId, Date created) {
  return deleteByExample("RDIMSG", {{"ID", id},
                                    {"ITEMID", itemId},
                                    {"ATTRIBID", attributeId},
                                    {"VALUEID", valueId},
                                    {"LANGID", languageId},
                                    {"ATTVALUE", attributeValue},
                                    {"PROFILE", profile},
                                    {"VIMPFLAG", valueImportFlag},
                                    {"AIMPFLAG", attributeImportFlag},
                                    {"VVERFLAG", valueVersionFlag},
                                    {"AVERFLAG", attributeVersionFlag},
                                    {"ATTRKEY", attributeKey},
                                    {"VALUEKEY", valueKey},
                                    {"ITEATTID", itemAttributeId},
                                    {"DOMVERID", domainVersionId},
                                    {"ITVERID", itemVersionId},
                                    {"CRTDATE", created}});
}

bool RefDataRDAImpl::deleteImportStagingTree(int domainVersionId, int itemId,
                                             Date created, int level,
                                             Text lineage, int parentId,
                                             int profile) {
  return deleteByExample("RDIMSG", {{"DOMVERID", domainVersionId},
                                    {"ITEMID", itemId},
                                    {"CRTDATE", created},
                                    {"ITEMLVL", level},
                                    {"LINEAGE", lineage},
                                    {"PARNTID", parentId},
                                    {"PROFILE", profile}});
}

bool RefDataRDAImpl::deleteTempImportItems(int itemId, int domainVersionId) {
  return deleteByExample("RDTMPI",
                         {{"ITEMID", itemId}, {"DOMVERID", domainVersionId}});
}

bool RefDataRDAImpl::deleteImportAttributes(int id, int itemId,
                                            int itemVersionId,
                                            int domainVersionId) {
  return deleteByExample("RDIMAT", {{"ID", id},
                                    {"ITEMID", itemId},
                                    {"ITVERID", itemVersionId},
                                    {"DOMVERID", domainVersionId}});
}

bool RefDataRDAImpl::deleteImportColumns(int sourceColumn, int position,
                                         int profile, int systemColumn,
                                         int isAttribute) {
  return deleteByExample("RDIMCL", {{"SOURCCOL", sourceColumn},
                                    {"POSITION", position},
                                    {"PROFILE", profile},
                                    {"SYSTMCOL", systemColumn},
                                    {"ISATTRIB", isAttribute}});
}
