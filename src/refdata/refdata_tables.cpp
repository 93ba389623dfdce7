// The single-table operations of the reference-data object: for each, its
// table, its columns or filters in SQL order, and its order. The
// procedures that run them are in refdata_rdaimpl.cpp.
#include "refdata/refdata_rdaimpl.h"

using Cursor = RefDataRDAImpl::Cursor;

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
  return queryByExample("RDROLS", {{"ID", id},
                                   {"ROLENAME", name},
                                   {"DESCRPTN", description},
                                   {"ROLETYPE", type}});
}

bool RefDataRDAImpl::deleteRoles(int id, Text name, Text description,
                                 Text type) {
  return deleteByExample("RDROLS", {{"ID", id},
                                    {"ROLENAME", name},
                                    {"DESCRPTN", description},
                                    {"ROLETYPE", type}});
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
  return queryByExample("RDOPRS", {{"ID", id},
                                   {"PERMISON", permission},
                                   {"DESCRPTN", description},
                                   {"POSITION", position}});
}

bool RefDataRDAImpl::deletePermissions(int id, Text permission,
                                       Text description, int position) {
  return deleteByExample("RDOPRS", {{"ID", id},
                                    {"PERMISON", permission},
                                    {"DESCRPTN", description},
                                    {"POSITION", position}});
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
  return queryByExample("RDDOMS", {{"ID", id},
                                   {"DOMNAME", name},
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
                                   {"CONFTYP", configType},
                                   {"CRTDATE", created}});
}

bool RefDataRDAImpl::deleteDomains(int id, Text name, Text description,
                                   Text type, Text enabled, Text active,
                                   Text scope, int defaultLanguageId,
                                   Text locked, int ownerId, int lockedById,
                                   Date lockDate, Text configType,
                                   Date created) {
  return deleteByExample("RDDOMS", {{"ID", id},
                                    {"DOMNAME", name},
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
                                    {"CONFTYP", configType},
                                    {"CRTDATE", created}});
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
  return queryByExample("RDDOVR",
                        {{"ID", id},
                         {"DOMAINID", domainId},
                         {"VERSION", version},
                         {"LABEL", label},
                         {"ENABLED", enabled},
                         {"ACTIVE", active},
                         {"SCOPE", scope},
                         {"ACCTID", accountId},
                         {"ISLOCKED", locked},
                         {"LOCKBYID", lockedById},
                         {"LOCKDATE", lockDate},
                         {"CRTDATE", created}},
                        " ORDER BY ID DESC");
}

bool RefDataRDAImpl::deleteDomainVersions(int id, int domainId, int version,
                                          Text label, Text enabled, Text active,
                                          Text scope, int accountId,
                                          Text locked, int lockedById,
                                          Date lockDate, Date created) {
  return deleteByExample("RDDOVR", {{"ID", id},
                                    {"DOMAINID", domainId},
                                    {"VERSION", version},
                                    {"LABEL", label},
                                    {"ENABLED", enabled},
                                    {"ACTIVE", active},
                                    {"SCOPE", scope},
                                    {"ACCTID", accountId},
                                    {"ISLOCKED", locked},
                                    {"LOCKBYID", lockedById},
                                    {"LOCKDATE", lockDate},
                                    {"CRTDATE", created}});
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
  return queryByExample(
      "RDDOLG", {{"ID", id}, {"DOMAINID", domainId}, {"LANGID", languageId}});
}

bool RefDataRDAImpl::deleteDomainLanguages(int id, int domainId,
                                           int languageId) {
  return deleteByExample(
      "RDDOLG", {{"ID", id}, {"DOMAINID", domainId}, {"LANGID", languageId}});
}

bool RefDataRDAImpl::addDomainLanguageVersion(int domainVersionId,
                                              int domainLanguageId) {
  return addLink("RDDOLV", {{"DOMVERID", domainVersionId},
                            {"DOMLANID", domainLanguageId}});
}

Cursor RefDataRDAImpl::getDomainLanguageVersions(int domainVersionId,
                                                 int domainLanguageId) {
  return queryByExample("RDDOLV", {{"DOMVERID", domainVersionId},
                                   {"DOMLANID", domainLanguageId}});
}

bool RefDataRDAImpl::deleteDomainLanguageVersions(int domainVersionId,
                                                  int domainLanguageId) {
  return deleteByExample("RDDOLV", {{"DOMVERID", domainVersionId},
                                    {"DOMLANID", domainLanguageId}});
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
  return queryByExample(
      "RDDOAT",
      {{"ID", id}, {"DOMAINID", domainId}, {"ATTRIBID", attributeId}});
}

bool RefDataRDAImpl::deleteDomainAttributes(int id, int domainId,
                                            int attributeId) {
  return deleteByExample(
      "RDDOAT",
      {{"ID", id}, {"DOMAINID", domainId}, {"ATTRIBID", attributeId}});
}

bool RefDataRDAImpl::addDomainAttributePermission(int domainId, int accountId,
                                                  int permissionId) {
  return addLink("RDDATP", {{"DOMAINID", domainId},
                            {"ACCTID", accountId},
                            {"PERMSID", permissionId}});
}

Cursor RefDataRDAImpl::getDomainAttributePermissions(int domainId,
                                                     int accountId,
                                                     int permissionId) {
  return queryByExample("RDDATP", {{"DOMAINID", domainId},
                                   {"ACCTID", accountId},
                                   {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::deleteDomainAttributePermissions(int domainId,
                                                      int accountId,
                                                      int permissionId) {
  return deleteByExample("RDDATP", {{"DOMAINID", domainId},
                                    {"ACCTID", accountId},
                                    {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::addDomainAttributeVersion(int domainId,
                                               int domainAttributeId,
                                               int domainVersionId,
                                               Text isDefault) {
  return addLink("RDDATV", {{"DOMAINID", domainId},
                            {"DOMATTID", domainAttributeId},
                            {"DOMVERID", domainVersionId},
                            {"ISDEFALT", isDefault}});
}

Cursor RefDataRDAImpl::getDomainAttributeVersions(int domainId,
                                                  int domainAttributeId,
                                                  int domainVersionId,
                                                  Text isDefault) {
  return queryByExample("RDDATV", {{"DOMAINID", domainId},
                                   {"DOMATTID", domainAttributeId},
                                   {"DOMVERID", domainVersionId},
                                   {"ISDEFALT", isDefault}});
}

bool RefDataRDAImpl::deleteDomainAttributeVersions(int domainId,
                                                   int domainAttributeId,
                                                   int domainVersionId,
                                                   Text isDefault) {
  return deleteByExample("RDDATV", {{"DOMAINID", domainId},
                                    {"DOMATTID", domainAttributeId},
                                    {"DOMVERID", domainVersionId},
                                    {"ISDEFALT", isDefault}});
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
  return queryByExample("RDDOAV", {{"ID", id},
                                   {"DOMATRID", domainAttributeId},
                                   {"VALUE", value},
                                   {"ISDFAULT", isDefault},
                                   {"LANGID", languageId}});
}

bool RefDataRDAImpl::deleteDomainAttributeValues(int id, int domainAttributeId,
                                                 Text value, Text isDefault,
                                                 int languageId) {
  return deleteByExample("RDDOAV", {{"ID", id},
                                    {"DOMATRID", domainAttributeId},
                                    {"VALUE", value},
                                    {"ISDFAULT", isDefault},
                                    {"LANGID", languageId}});
}

bool RefDataRDAImpl::addDomainAttributeValueVersion(int domainVersionId,
                                                    int valueId) {
  return addLink("RDDAVV",
                 {{"DOMVERID", domainVersionId}, {"DOATVLID", valueId}});
}

Cursor RefDataRDAImpl::getDomainAttributeValueVersions(int domainVersionId,
                                                       int valueId) {
  return queryByExample("RDDAVV",
                        {{"DOMVERID", domainVersionId}, {"DOATVLID", valueId}});
}

bool RefDataRDAImpl::deleteDomainAttributeValueVersions(int domainVersionId,
                                                        int valueId) {
  return deleteByExample(
      "RDDAVV", {{"DOMVERID", domainVersionId}, {"DOATVLID", valueId}});
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
  return queryByExample("RDDOIT", {{"ID", id},
                                   {"ITEMKEY", key},
                                   {"ITEMVAL", value},
                                   {"ENABLED", enabled},
                                   {"ACTIVE", active},
                                   {"SCOPE", scope},
                                   {"ACCTID", accountId}});
}

bool RefDataRDAImpl::deleteItems(int id, Text key, Text value, Text enabled,
                                 Text active, Text scope, int accountId) {
  return deleteByExample("RDDOIT", {{"ID", id},
                                    {"ITEMKEY", key},
                                    {"ITEMVAL", value},
                                    {"ENABLED", enabled},
                                    {"ACTIVE", active},
                                    {"SCOPE", scope},
                                    {"ACCTID", accountId}});
}

bool RefDataRDAImpl::addItemPermission(int itemId, int accountId,
                                       int permissionId) {
  return addLink(
      "RDITPR",
      {{"ITEMID", itemId}, {"ACCTID", accountId}, {"PERMSID", permissionId}});
}

Cursor RefDataRDAImpl::getItemPermissions(int itemId, int accountId,
                                          int permissionId) {
  return queryByExample(
      "RDITPR",
      {{"ITEMID", itemId}, {"ACCTID", accountId}, {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::deleteItemPermissions(int itemId, int accountId,
                                           int permissionId) {
  return deleteByExample(
      "RDITPR",
      {{"ITEMID", itemId}, {"ACCTID", accountId}, {"PERMSID", permissionId}});
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
  return queryByExample("RDITVR", {{"ID", id},
                                   {"DOMVERID", domainVersionId},
                                   {"ITEMID", itemId},
                                   {"CRTDATE", created},
                                   {"ITEMLVL", level},
                                   {"LINEAGE", lineage},
                                   {"PARNTID", parentId}});
}

bool RefDataRDAImpl::deleteItemVersions(int id, int domainVersionId, int itemId,
                                        Date created, int level, Text lineage,
                                        int parentId) {
  return deleteByExample("RDITVR", {{"ID", id},
                                    {"DOMVERID", domainVersionId},
                                    {"ITEMID", itemId},
                                    {"CRTDATE", created},
                                    {"ITEMLVL", level},
                                    {"LINEAGE", lineage},
                                    {"PARNTID", parentId}});
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
  return queryByExample(
      "RDDOIA",
      {{"ID", id}, {"ITVERID", itemVersionId}, {"ATTRIBID", attributeId}});
}

bool RefDataRDAImpl::deleteItemAttributes(int id, int itemVersionId,
                                          int attributeId) {
  return deleteByExample(
      "RDDOIA",
      {{"ID", id}, {"ITVERID", itemVersionId}, {"ATTRIBID", attributeId}});
}

bool RefDataRDAImpl::addItemAttributeValue(Text value, int languageId,
                                           int* newId) {
  return addRow("RDITAV", kUndated, {{"VALUE", value}, {"LANGID", languageId}},
                newId);
}

Cursor RefDataRDAImpl::getItemAttributeValues(int id, Text value,
                                              int languageId) {
  return queryByExample("RDITAV",
                        {{"ID", id}, {"VALUE", value}, {"LANGID", languageId}});
}

bool RefDataRDAImpl::deleteItemAttributeValues(int id, Text value,
                                               int languageId) {
  return deleteByExample(
      "RDITAV", {{"ID", id}, {"VALUE", value}, {"LANGID", languageId}});
}

bool RefDataRDAImpl::addItemAttributeVersion(int domainVersionId,
                                             int itemAttributeId) {
  return addLink(
      "RDIAVR", {{"DOMVERID", domainVersionId}, {"ITEATTID", itemAttributeId}});
}

Cursor RefDataRDAImpl::getItemAttributeVersions(int domainVersionId,
                                                int itemAttributeId) {
  return queryByExample(
      "RDIAVR", {{"DOMVERID", domainVersionId}, {"ITEATTID", itemAttributeId}});
}

bool RefDataRDAImpl::deleteItemAttributeVersions(int domainVersionId,
                                                 int itemAttributeId) {
  return deleteByExample(
      "RDIAVR", {{"DOMVERID", domainVersionId}, {"ITEATTID", itemAttributeId}});
}

bool RefDataRDAImpl::addItemAttributeValueVersion(int domainVersionId,
                                                  int valueId,
                                                  int itemAttributeId) {
  return addLink("RDITVV", {{"DOMVERID", domainVersionId},
                            {"ITATVLID", valueId},
                            {"ITEATTID", itemAttributeId}});
}

Cursor RefDataRDAImpl::getItemAttributeValueVersions(int domainVersionId,
                                                     int valueId,
                                                     int itemAttributeId) {
  return queryByExample("RDITVV", {{"DOMVERID", domainVersionId},
                                   {"ITATVLID", valueId},
                                   {"ITEATTID", itemAttributeId}});
}

bool RefDataRDAImpl::deleteItemAttributeValueVersions(int domainVersionId,
                                                      int valueId,
                                                      int itemAttributeId) {
  return deleteByExample("RDITVV", {{"DOMVERID", domainVersionId},
                                    {"ITATVLID", valueId},
                                    {"ITEATTID", itemAttributeId}});
}

bool RefDataRDAImpl::addItemAttributePermission(int itemAttributeId,
                                                int accountId,
                                                int permissionId) {
  return addLink("RDITAP", {{"ITATTRID", itemAttributeId},
                            {"ACCTID", accountId},
                            {"PERMSID", permissionId}});
}

Cursor RefDataRDAImpl::getItemAttributePermissions(int itemAttributeId,
                                                   int accountId,
                                                   int permissionId) {
  return queryByExample("RDITAP", {{"ITATTRID", itemAttributeId},
                                   {"ACCTID", accountId},
                                   {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::deleteItemAttributePermissions(int itemAttributeId,
                                                    int accountId,
                                                    int permissionId) {
  return deleteByExample("RDITAP", {{"ITATTRID", itemAttributeId},
                                    {"ACCTID", accountId},
                                    {"PERMSID", permissionId}});
}

// ---------------------------------------------------------------------------
// Domain permissions, access and associations

bool RefDataRDAImpl::addDomainPermission(int domainId, int accountId,
                                         int permissionId) {
  return addLink("RDDOPR", {{"DOMAINID", domainId},
                            {"ACCTID", accountId},
                            {"PERMSID", permissionId}});
}

Cursor RefDataRDAImpl::getDomainPermissions(int domainId, int accountId,
                                            int permissionId) {
  return queryByExample("RDDOPR", {{"DOMAINID", domainId},
                                   {"ACCTID", accountId},
                                   {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::deleteDomainPermissions(int domainId, int accountId,
                                             int permissionId) {
  return deleteByExample("RDDOPR", {{"DOMAINID", domainId},
                                    {"ACCTID", accountId},
                                    {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::addDomainVersionPermission(int domainVersionId,
                                                int accountId,
                                                int permissionId) {
  return addLink("RDDVPR", {{"DOMVERID", domainVersionId},
                            {"ACCTID", accountId},
                            {"PERMSID", permissionId}});
}

Cursor RefDataRDAImpl::getDomainVersionPermissions(int domainVersionId,
                                                   int accountId,
                                                   int permissionId) {
  return queryByExample("RDDVPR", {{"DOMVERID", domainVersionId},
                                   {"ACCTID", accountId},
                                   {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::deleteDomainVersionPermissions(int domainVersionId,
                                                    int accountId,
                                                    int permissionId) {
  return deleteByExample("RDDVPR", {{"DOMVERID", domainVersionId},
                                    {"ACCTID", accountId},
                                    {"PERMSID", permissionId}});
}

bool RefDataRDAImpl::addDomainAccess(int domainId, int accountId, int roleId) {
  return addLink(
      "RDDACC",
      {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"ROLEID", roleId}});
}

Cursor RefDataRDAImpl::getDomainAccess(int domainId, int accountId,
                                       int roleId) {
  return queryByExample(
      "RDDACC",
      {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"ROLEID", roleId}});
}

bool RefDataRDAImpl::deleteDomainAccess(int domainId, int accountId,
                                        int roleId) {
  return deleteByExample(
      "RDDACC",
      {{"DOMAINID", domainId}, {"ACCTID", accountId}, {"ROLEID", roleId}});
}

bool RefDataRDAImpl::addDomainAssociation(int domainId, Text name, int* newId) {
  return addRow("RDDOAS", kUndated, {{"DOMAINID", domainId}, {"ASSNAME", name}},
                newId, "DOMASSID");
}

Cursor RefDataRDAImpl::getDomainAssociations(int domainId, int associationId,
                                             Text name) {
  return queryByExample(
      "RDDOAS",
      {{"DOMAINID", domainId}, {"DOMASSID", associationId}, {"ASSNAME", name}});
}

bool RefDataRDAImpl::deleteDomainAssociations(int domainId, int associationId,
                                              Text name) {
  return deleteByExample(
      "RDDOAS",
      {{"DOMAINID", domainId}, {"DOMASSID", associationId}, {"ASSNAME", name}});
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
