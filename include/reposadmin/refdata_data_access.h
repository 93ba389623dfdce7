// RefDataRepositoryDataAccess: the reference data of a repository. Domains
// (named lists of values) have numbered versions; items stand in a tree per
// domain version; domains and items carry attributes and values per
// language; accounts hold roles and permissions on all of these; notes and
// publications hang from domains. The tables are those of the table set
// "REFDATA" (etc/reposcreate/refdata.xml), named below by table code.
//
// Every operation is one statement on one table or one joined view, with
// every value bound:
// - An add inserts one row in a transaction of its own (nested in the
//   caller's, if one is open) and answers true once it is ended. A table
//   with an id column (ID; DOMASSID in RDDOAS) gets the next id of the
//   counter named after its table code, stored through `newId` (when not
//   null) only after the transaction has ended well. Adds marked "dated"
//   also write CRTDATE, the current date.
// - A query returns the matching rows as an in-memory cursor that the caller
//   releases; queries by example select every column of their table in the
//   table's order. Columns of joined views that share a name are told apart
//   by position.
// - A delete by example removes the matching rows of its own table only
//   (nothing cascades) and answers true also when none matched. A delete
//   with no filter given empties its table.
//
// "Given": in an add a text is written when it is not empty, an integer
// when it is 0 or more, a date when it is not null; in a query or a delete
// a text or date filters as in an add, an integer whenever it is not -1
// (-2 filters on -2). Filters are equalities joined by AND, in the order
// that each operation lists. Dates travel as numbers (KvbDate days).
//
// Ids. No operation checks that an id names a row of the table it refers
// to, by design: a host loads reference data table by table in an order
// of its own, children before parents too, and a delete by example removes
// rows of its own table only, so that stored ids may name rows that are
// not there. The one id that means none is a negative one: an add leaves
// its column NULL (POSITION aside), and a query or delete takes -1 as no
// filter. 0 is an id like any other, and is written. A link (a row without
// an id of its own: RDDOPR, RDDVPR, RDDACC, RDDOLV, RDDATP, RDDATV, RDDAVV,
// RDITPR, RDITAP, RDIAVR, RDITVV) is stored once: an add of a link whose
// ids, every one given, are those of a stored link answers true and stores
// nothing, the stored link keeping its other values (ISDEFALT).
// Failures answer false or null, logged at level 5, with the reason in
// getErrorMessage(); a failed add leaves nothing behind. Without a
// connection every operation logs "Repository Data Access object is null".
#ifndef REPOSADMIN_REFDATA_DATA_ACCESS_H_
#define REPOSADMIN_REFDATA_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access_object.h"

class ReposDataAccessCursor;

class RefDataRepositoryDataAccess : public ReposDataAccessObject {
 public:
  using Text = const KvbString&;
  using Date = const KvbDate&;
  using Cursor = ReposDataAccessCursor*;

  // --- Adds (columns in the order they are written) ----------------------

  // RDACTS, dated.
  virtual bool addAccount(Text name, Text type, Text authServer, Text email,
                          Text phone, Text address, Text notify,
                          int defaultRoleId, int* newId) = 0;
  // RDATRS, dated; columns ATTRTYID, CONTYID, ATTRNAME, DESCRPTN, ATTRTYPE,
  // LANGID. `unused` is not read; `typeName` is written as ATTRTYPE only
  // when `type` is empty (a column is never named twice).
  virtual bool addAttribute(Text name, Text description, int typeId, Text type,
                            int contextId, int languageId, int unused,
                            Text typeName, int* newId) = 0;
  // RDATRC.
  virtual bool addAttributeContext(Text contextType, Text description,
                                   int* newId) = 0;
  // RDATTY.
  virtual bool addAttributeType(Text type, Text description, int* newId) = 0;
  // RDLANS.
  virtual bool addLanguage(Text name, Text code, int* newId) = 0;
  // RDOPRS; POSITION is written whenever it is not -1, negative too.
  virtual bool addPermission(Text permission, Text description, int position,
                             int* newId) = 0;
  // RDROLS.
  virtual bool addRole(Text name, Text description, Text type, int* newId) = 0;
  // RDDOIT.
  virtual bool addItem(Text key, Text value, Text enabled, Text active,
                       Text scope, int accountId, int* newId) = 0;
  // RDITAV.
  virtual bool addItemAttributeValue(Text value, int languageId,
                                     int* newId) = 0;
  // RDDOMS, dated; LOCKDATE is written as its number.
  virtual bool addDomain(Text name, Text description, Text type, Text enabled,
                         Text active, Text scope, int defaultLanguageId,
                         Text locked, int ownerId, int lockedById,
                         Date lockDate, Text configType, int* newId) = 0;
  // RDDOPR link row (DOMAINID, ACCTID, PERMSID). A link add with nothing
  // given is refused.
  virtual bool addDomainPermission(int domainId, int accountId,
                                   int permissionId) = 0;
  // RDDOVR, dated. VERSION is the caller's number.
  virtual bool addDomainVersion(int domainId, int version, Text label,
                                Text enabled, Text active, Text scope,
                                int accountId, Text locked, int lockedById,
                                Date lockDate, int* newId) = 0;
  // RDDVPR link row (DOMVERID, ACCTID, PERMSID).
  virtual bool addDomainVersionPermission(int domainVersionId, int accountId,
                                          int permissionId) = 0;
  // RDNOTS, dated.
  virtual bool addNote(int domainId, Text noteType, int rowId, Text rowKind,
                       Text text, int languageId, int accountId,
                       int* newId) = 0;
  // RDDACC link row (DOMAINID, ACCTID, ROLEID).
  virtual bool addDomainAccess(int domainId, int accountId, int roleId) = 0;
  // RDDOAS; its id column is DOMASSID.
  virtual bool addDomainAssociation(int domainId, Text name, int* newId) = 0;
  // RDDOLG.
  virtual bool addDomainLanguage(int domainId, int languageId, int* newId) = 0;
  // RDDOLV link row (DOMVERID, DOMLANID).
  virtual bool addDomainLanguageVersion(int domainVersionId,
                                        int domainLanguageId) = 0;
  // RDDOAT.
  virtual bool addDomainAttribute(int domainId, int attributeId,
                                  int* newId) = 0;
  // RDDATP link row (DOMAINID, ACCTID, PERMSID).
  virtual bool addDomainAttributePermission(int domainId, int accountId,
                                            int permissionId) = 0;
  // RDDATV link row (DOMAINID, DOMATTID, DOMVERID, ISDEFALT).
  virtual bool addDomainAttributeVersion(int domainId, int domainAttributeId,
                                         int domainVersionId,
                                         Text isDefault) = 0;
  // RDDOAV (DOMATRID, VALUE, ISDFAULT, LANGID).
  virtual bool addDomainAttributeValue(int domainAttributeId, Text value,
                                       Text isDefault, int languageId,
                                       int* newId) = 0;
  // RDDAVV link row (DOMVERID, DOATVLID).
  virtual bool addDomainAttributeValueVersion(int domainVersionId,
                                              int valueId) = 0;
  // RDITPR link row (ITEMID, ACCTID, PERMSID).
  virtual bool addItemPermission(int itemId, int accountId,
                                 int permissionId) = 0;
  // RDITVR, dated (DOMVERID, ITEMID, ITEMLVL, LINEAGE, PARNTID); PARNTID
  // is another item version.
  virtual bool addItemVersion(int domainVersionId, int itemId, int level,
                              Text lineage, int parentId, int* newId) = 0;
  // RDDOIA (ITVERID, ATTRIBID).
  virtual bool addItemAttribute(int itemVersionId, int attributeId,
                                int* newId) = 0;
  // RDITAP link row (ITATTRID, ACCTID, PERMSID).
  virtual bool addItemAttributePermission(int itemAttributeId, int accountId,
                                          int permissionId) = 0;
  // RDIAVR link row (DOMVERID, ITEATTID).
  virtual bool addItemAttributeVersion(int domainVersionId,
                                       int itemAttributeId) = 0;
  // RDITVV link row (DOMVERID, ITATVLID, ITEATTID).
  virtual bool addItemAttributeValueVersion(int domainVersionId, int valueId,
                                            int itemAttributeId) = 0;
  // RDPUBS.
  virtual bool addPublication(Text name, Text type, int domainId, int version,
                              Text dataSource, Text schema, int* newId) = 0;

  // --- Queries (filters in the order they are applied) -------------------

  // RDACTS: ACTNAME, ACTTYPE, AUTHSVR, EMAIL, PHONE, ADDRESS, then ID.
  virtual Cursor getAccounts(int id, Text name, Text type, Text authServer,
                             Text email, Text phone, Text address) = 0;
  // RDATRS: ATTRNAME, DESCRPTN, then ID.
  virtual Cursor getAttributes(int id, Text name, Text description) = 0;
  // Attributes of the context 'RD_USER_ATTRIBUTE' that have a language:
  // attribute ID, ATTRNAME, DESCRPTN, language CODE. Filters ATTRNAME,
  // DESCRPTN, ID.
  virtual Cursor getUserAttributes(int id, Text name, Text description) = 0;
  // RDATRC: CONTYPE, DESCRPTN, then ID.
  virtual Cursor getAttributeContexts(int id, Text contextType,
                                      Text description) = 0;
  // RDATTY: ATTTYPE, DESCRPTN, then ID.
  virtual Cursor getAttributeTypes(int id, Text type, Text description) = 0;
  // RDLANS: LANGNAME, CODE, then ID.
  virtual Cursor getLanguages(int id, Text name, Text code) = 0;
  // RDOPRS, filters in argument order (as for every query not noted).
  virtual Cursor getPermissions(int id, Text permission, Text description,
                                int position) = 0;
  // RDROLS.
  virtual Cursor getRoles(int id, Text name, Text description, Text type) = 0;
  // RDDOIT.
  virtual Cursor getItems(int id, Text key, Text value, Text enabled,
                          Text active, Text scope, int accountId) = 0;
  // RDITPR.
  virtual Cursor getItemPermissions(int itemId, int accountId,
                                    int permissionId) = 0;
  // RDITAV.
  virtual Cursor getItemAttributeValues(int id, Text value, int languageId) = 0;
  // RDDOMS.
  virtual Cursor getDomains(int id, Text name, Text description, Text type,
                            Text enabled, Text active, Text scope,
                            int defaultLanguageId, Text locked, int ownerId,
                            int lockedById, Date lockDate, Text configType,
                            Date created) = 0;
  // Versions of domains with their owner: domain ID, DOMNAME, DESCRPTN,
  // version ID, VERSION, LABEL, owner ACTNAME, DOMTYPE, SCOPE, version
  // CRTDATE; by DOMNAME, VERSION. `latestOnly` keeps per domain the version
  // row added last (highest ID).
  virtual Cursor getDomainVersionSummaries(int domainId, Text domainName,
                                           bool latestOnly) = 0;
  // Domain ID, DOMNAME, DOMTYPE, version ID, VERSION.
  virtual Cursor getDomainVersionInfo(int domainId, int domainVersionId) = 0;
  // One row per language of a domain: every RDDOMS column, the lock
  // holder's ACTNAME, the language CODE, the default language's CODE; by
  // domain ID, CODE.
  virtual Cursor getDomainDetails(int domainId) = 0;
  // The version rows with the domain's highest VERSION (every version row
  // of every domain for -1): every RDDOVR column, the account's ACTNAME,
  // the lock holder's ACTNAME.
  virtual Cursor getLatestDomainVersion(int domainId) = 0;
  // RDDOPR.
  virtual Cursor getDomainPermissions(int domainId, int accountId,
                                      int permissionId) = 0;
  // RDDOVR, newest row (highest ID) first.
  virtual Cursor getDomainVersions(int id, int domainId, int version,
                                   Text label, Text enabled, Text active,
                                   Text scope, int accountId, Text locked,
                                   int lockedById, Date lockDate,
                                   Date created) = 0;
  // The columns of getLatestDomainVersion for every version, by VERSION;
  // `latestOnly` (with a domain) keeps the highest VERSION.
  virtual Cursor getDomainVersionHistory(int domainId, bool latestOnly) = 0;
  // Every version of the domains whose ENABLED is 'Y': DOMNAME, DESCRPTN,
  // DOMTYPE, SCOPE, ENABLED, VERSION, version ID; by DOMNAME, VERSION.
  virtual Cursor getEnabledDomains() = 0;
  // RDDVPR.
  virtual Cursor getDomainVersionPermissions(int domainVersionId, int accountId,
                                             int permissionId) = 0;
  // RDNOTS.
  virtual Cursor getNotes(int id, int domainId, Text noteType, int rowId,
                          Text rowKind, Text text, int languageId,
                          int accountId, Date created) = 0;
  // RDDACC.
  virtual Cursor getDomainAccess(int domainId, int accountId, int roleId) = 0;
  // RDDOAS.
  virtual Cursor getDomainAssociations(int domainId, int associationId,
                                       Text name) = 0;
  // RDDOLG.
  virtual Cursor getDomainLanguages(int id, int domainId, int languageId) = 0;
  // The languages that domain versions carry: CODE, LANGNAME, the domain's
  // default CODE, language ID, DOMLANID. A domain whose default language
  // is missing gives no row.
  virtual Cursor getDomainVersionLanguages(int languageId, int domainId,
                                           int domainVersionId) = 0;
  // IDs of the RDDOLG rows whose language some item attribute value uses
  // (in the given domain version).
  virtual Cursor getUsedDomainLanguages(int domainId, int domainVersionId) = 0;
  // RDDOLV.
  virtual Cursor getDomainLanguageVersions(int domainVersionId,
                                           int domainLanguageId) = 0;
  // RDDOAT.
  virtual Cursor getDomainAttributes(int id, int domainId, int attributeId) = 0;
  // User attributes of domains, one row per RDDATV entry: attribute ID,
  // ATTRNAME, DESCRPTN, domain-attribute ID, ATTRIBID, ISDEFALT; by
  // ATTRNAME.
  virtual Cursor getDomainUserAttributes(int domainId, int domainVersionId) = 0;
  // IDs of the domain attributes whose attribute has an item attribute
  // with a value in the given domain version.
  virtual Cursor getUsedDomainAttributes(int domainId, int domainVersionId) = 0;
  // As getDomainUserAttributes, once per language of the domain, with the
  // language's LANGNAME last; no order.
  virtual Cursor getDomainUserAttributeLanguages(int domainId,
                                                 int domainVersionId) = 0;
  // RDDATP.
  virtual Cursor getDomainAttributePermissions(int domainId, int accountId,
                                               int permissionId) = 0;
  // RDDATV.
  virtual Cursor getDomainAttributeVersions(int domainId, int domainAttributeId,
                                            int domainVersionId,
                                            Text isDefault) = 0;
  // RDDOAV.
  virtual Cursor getDomainAttributeValues(int id, int domainAttributeId,
                                          Text value, Text isDefault,
                                          int languageId) = 0;
  // RDDAVV.
  virtual Cursor getDomainAttributeValueVersions(int domainVersionId,
                                                 int valueId) = 0;
  // Item versions with their items: item ID, PARNTID, ITEMKEY, ITEMVAL,
  // LINEAGE, ITEMLVL, item-version ID.
  virtual Cursor getDomainVersionItems(int itemId, int domainVersionId) = 0;
  // The contents of domain versions, one row per item version, attribute
  // and value: item-version ID, ITEMKEY, ITEMVAL, PARNTID, VALUE, ATTRNAME,
  // DESCRPTN, LANGNAME, DOMNAME, VERSION; by VERSION descending, ITEMKEY,
  // attribute ID, language ID. Attributes are listed even when the version
  // does not carry them; values only when it does.
  virtual Cursor getDomainContents(int domainId, int domainVersionId) = 0;
  // The same columns for a version chosen by its number; attributes that
  // the version does not carry are left out. No order.
  virtual Cursor getDomainVersionContents(int domainId, int version) = 0;
  // RDITVR; filters ID, DOMVERID, ITEMID, CRTDATE, ITEMLVL, LINEAGE,
  // PARNTID.
  virtual Cursor getItemVersions(int id, int domainVersionId, int itemId,
                                 Date created, int level, Text lineage,
                                 int parentId) = 0;
  // The item versions below a parent (every one for -1): ID, PARNTID,
  // ITEMKEY, ITEMVAL, LINEAGE, ITEMLVL, CHILDREN_COUNT (their own children
  // in the same domain version).
  virtual Cursor getChildItems(int domainVersionId, int parentId) = 0;
  // RDDOIA.
  virtual Cursor getItemAttributes(int id, int itemVersionId,
                                   int attributeId) = 0;
  // Attributes of item versions present in domain versions: attribute ID,
  // ATTRNAME, DESCRPTN, item-attribute ID; by ATTRNAME.
  virtual Cursor getItemVersionAttributes(int itemVersionId,
                                          int domainVersionId) = 0;
  // RDITAP.
  virtual Cursor getItemAttributePermissions(int itemAttributeId, int accountId,
                                             int permissionId) = 0;
  // RDIAVR.
  virtual Cursor getItemAttributeVersions(int domainVersionId,
                                          int itemAttributeId) = 0;
  // As getItemVersionAttributes, with the values tied in the same domain
  // version: attribute ID, ATTRNAME, DESCRPTN, every RDITAV column,
  // ITEATTID, language CODE, language ID (nulls without a value).
  virtual Cursor getItemVersionAttributeValues(int itemVersionId,
                                               int domainVersionId) = 0;
  // RDITVV.
  virtual Cursor getItemAttributeValueVersions(int domainVersionId, int valueId,
                                               int itemAttributeId) = 0;
  // Publications of existing domains: every RDPUBS column, then DOMNAME.
  virtual Cursor getPublications(int id, Text name, Text type, int domainId,
                                 int version, Text dataSource, Text schema) = 0;
  // Notes whose TABLNAME is 'USER_PUBS' and whose author exists: every
  // RDNOTS column, then the author's ACTNAME; newest first.
  virtual Cursor getPublicationNotes(int domainId) = 0;

  // --- Deletes by example -------------------------------------------------

  // RDACTS: ID first, then the texts.
  virtual bool deleteAccounts(int id, Text name, Text type, Text authServer,
                              Text email, Text phone, Text address) = 0;
  // RDATRS: ATTRNAME, then ID.
  virtual bool deleteAttributes(int id, Text name) = 0;
  virtual bool deleteAttributeContexts(int id, Text contextType,
                                       Text description) = 0;
  virtual bool deleteAttributeTypes(int id, Text type, Text description) = 0;
  virtual bool deleteLanguages(int id, Text name, Text code) = 0;
  virtual bool deletePermissions(int id, Text permission, Text description,
                                 int position) = 0;
  virtual bool deleteRoles(int id, Text name, Text description, Text type) = 0;
  virtual bool deleteItems(int id, Text key, Text value, Text enabled,
                           Text active, Text scope, int accountId) = 0;
  virtual bool deleteItemAttributeValues(int id, Text value,
                                         int languageId) = 0;
  virtual bool deleteDomains(int id, Text name, Text description, Text type,
                             Text enabled, Text active, Text scope,
                             int defaultLanguageId, Text locked, int ownerId,
                             int lockedById, Date lockDate, Text configType,
                             Date created) = 0;
  virtual bool deleteDomainPermissions(int domainId, int accountId,
                                       int permissionId) = 0;
  virtual bool deleteDomainVersions(int id, int domainId, int version,
                                    Text label, Text enabled, Text active,
                                    Text scope, int accountId, Text locked,
                                    int lockedById, Date lockDate,
                                    Date created) = 0;
  virtual bool deleteDomainVersionPermissions(int domainVersionId,
                                              int accountId,
                                              int permissionId) = 0;
  virtual bool deleteNotes(int id, int domainId, Text noteType, int rowId,
                           Text rowKind, Text text, int languageId,
                           int accountId) = 0;
  virtual bool deleteDomainAccess(int domainId, int accountId, int roleId) = 0;
  virtual bool deleteDomainAssociations(int domainId, int associationId,
                                        Text name) = 0;
  virtual bool deleteDomainLanguages(int id, int domainId, int languageId) = 0;
  virtual bool deleteDomainLanguageVersions(int domainVersionId,
                                            int domainLanguageId) = 0;
  virtual bool deleteDomainAttributes(int id, int domainId,
                                      int attributeId) = 0;
  virtual bool deleteDomainAttributePermissions(int domainId, int accountId,
                                                int permissionId) = 0;
  virtual bool deleteDomainAttributeVersions(int domainId,
                                             int domainAttributeId,
                                             int domainVersionId,
                                             Text isDefault) = 0;
  virtual bool deleteDomainAttributeValues(int id, int domainAttributeId,
                                           Text value, Text isDefault,
                                           int languageId) = 0;
  virtual bool deleteDomainAttributeValueVersions(int domainVersionId,
                                                  int valueId) = 0;
  virtual bool deleteItemPermissions(int itemId, int accountId,
                                     int permissionId) = 0;
  virtual bool deleteItemVersions(int id, int domainVersionId, int itemId,
                                  Date created, int level, Text lineage,
                                  int parentId) = 0;
  virtual bool deleteItemAttributes(int id, int itemVersionId,
                                    int attributeId) = 0;
  virtual bool deleteItemAttributePermissions(int itemAttributeId,
                                              int accountId,
                                              int permissionId) = 0;
  virtual bool deleteItemAttributeVersions(int domainVersionId,
                                           int itemAttributeId) = 0;
  virtual bool deleteItemAttributeValueVersions(int domainVersionId,
                                                int valueId,
                                                int itemAttributeId) = 0;
  virtual bool deletePublications(int id, Text name, Text type, int domainId,
                                  int version, Text dataSource,
                                  Text schema) = 0;

  // The staging tables of a reference-data import, which this object only
  // clears. RDIMSG, three shapes:
  virtual bool deleteImportStagingItems(int id, int itemId, Text valueColumn,
                                        Text displayColumn, Text parentColumn,
                                        int parentId, int domainVersionId,
                                        int profile, Text importFlag,
                                        Text versionFlag, Text parentKeyColumn,
                                        Text lineage, int level,
                                        int itemVersionId, Date created) = 0;
  virtual bool deleteImportStagingValues(
      int id, int itemId, int attributeId, int valueId, int languageId,
      Text attributeValue, int profile, Text valueImportFlag,
      Text attributeImportFlag, Text valueVersionFlag,
      Text attributeVersionFlag, int attributeKey, int valueKey,
      int itemAttributeId, int domainVersionId, int itemVersionId,
      Date created) = 0;
  // Filters DOMVERID, ITEMID, CRTDATE, ITEMLVL, LINEAGE, PARNTID, PROFILE.
  virtual bool deleteImportStagingTree(int domainVersionId, int itemId,
                                       Date created, int level, Text lineage,
                                       int parentId, int profile) = 0;
  // RDTMPI.
  virtual bool deleteTempImportItems(int itemId, int domainVersionId) = 0;
  // RDIMAT.
  virtual bool deleteImportAttributes(int id, int itemId, int itemVersionId,
                                      int domainVersionId) = 0;
  // RDIMCL.
  virtual bool deleteImportColumns(int sourceColumn, int position, int profile,
                                   int systemColumn, int isAttribute) = 0;
};

#endif  // REPOSADMIN_REFDATA_DATA_ACCESS_H_
