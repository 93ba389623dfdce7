// The sweep's cells of the reference-data interface: an add of a text
// that the server cannot take, a link add with nothing given, an add whose
// parent is missing (stored: the interface checks no ids, as its header
// says), and a delete by example of an id that no row has.
#include "sweep/write_sweep.h"

namespace {

const KvbDate kNone;

#define RD(name) "RefDataRepositoryDataAccess::" name
// An add of a NUL byte into a text column of `table`.
#define NUL_ADD(name, table, expr)                            \
  {                                                           \
    RD(name), Input::kNul, "text", SWEEP_CALL(refdata, expr), \
        refused("of table " table)                            \
  }
// A link add with no id given.
#define EMPTY_LINK(name, table, expr)                                   \
  {                                                                     \
    RD(name), Input::kEmptyName, "every id", SWEEP_CALL(refdata, expr), \
        refused("No value given for a row of table " table)             \
  }
// An add that names a parent that no row has.
#define MISSING_PARENT(name, expr) \
  { RD(name), Input::kMissingParent, "id", SWEEP_CALL(refdata, expr), stored() }
// A delete by example of an id that no row has.
#define MISSING_DELETE(name, expr) \
  { RD(name), Input::kMissingId, "id", SWEEP_CALL(refdata, expr), noFailure() }

const int kNo = 99999;

std::vector<Cell> cells() {
  return {
      NUL_ADD("addAccount", "RDACTS",
              o->addAccount(kNul, "t", "", "", "", "", "", -1, nullptr)),
      NUL_ADD("addAttribute", "RDATRS",
              o->addAttribute(kNul, "", -1, "", -1, -1, 0, "", nullptr)),
      NUL_ADD("addAttributeContext", "RDATRC",
              o->addAttributeContext(kNul, "", nullptr)),
      NUL_ADD("addAttributeType", "RDATTY",
              o->addAttributeType(kNul, "", nullptr)),
      NUL_ADD("addLanguage", "RDLANS", o->addLanguage(kNul, "x", nullptr)),
      NUL_ADD("addPermission", "RDOPRS",
              o->addPermission(kNul, "", -1, nullptr)),
      NUL_ADD("addRole", "RDROLS", o->addRole(kNul, "", "", nullptr)),
      NUL_ADD("addItem", "RDDOIT",
              o->addItem(kNul, "v", "Y", "Y", "G", -1, nullptr)),
      NUL_ADD("addItemAttributeValue", "RDITAV",
              o->addItemAttributeValue(kNul, -1, nullptr)),
      NUL_ADD("addDomain", "RDDOMS",
              o->addDomain(kNul, "", "T", "Y", "Y", "G", -1, "N", -1, -1, kNone,
                           "C", nullptr)),
      NUL_ADD("addDomainVersion", "RDDOVR",
              o->addDomainVersion(kNo, 1, kNul, "Y", "Y", "G", -1, "N", -1,
                                  kNone, nullptr)),
      NUL_ADD("addNote", "RDNOTS",
              o->addNote(kNo, "t", 1, "k", kNul, -1, -1, nullptr)),
      NUL_ADD("addDomainAssociation", "RDDOAS",
              o->addDomainAssociation(kNo, kNul, nullptr)),
      NUL_ADD("addDomainAttributeVersion", "RDDATV",
              o->addDomainAttributeVersion(kNo, kNo, kNo, kNul)),
      NUL_ADD("addDomainAttributeValue", "RDDOAV",
              o->addDomainAttributeValue(kNo, kNul, "N", -1, nullptr)),
      NUL_ADD("addItemVersion", "RDITVR",
              o->addItemVersion(kNo, kNo, 1, kNul, -1, nullptr)),
      NUL_ADD("addPublication", "RDPUBS",
              o->addPublication(kNul, "t", kNo, 1, "", "", nullptr)),
      EMPTY_LINK("addDomainPermission", "RDDOPR",
                 o->addDomainPermission(-1, -1, -1)),
      EMPTY_LINK("addDomainVersionPermission", "RDDVPR",
                 o->addDomainVersionPermission(-1, -1, -1)),
      EMPTY_LINK("addDomainAccess", "RDDACC", o->addDomainAccess(-1, -1, -1)),
      EMPTY_LINK("addDomainLanguageVersion", "RDDOLV",
                 o->addDomainLanguageVersion(-1, -1)),
      EMPTY_LINK("addDomainAttributePermission", "RDDATP",
                 o->addDomainAttributePermission(-1, -1, -1)),
      EMPTY_LINK("addDomainAttributeValueVersion", "RDDAVV",
                 o->addDomainAttributeValueVersion(-1, -1)),
      EMPTY_LINK("addItemPermission", "RDITPR",
                 o->addItemPermission(-1, -1, -1)),
      EMPTY_LINK("addItemAttributePermission", "RDITAP",
                 o->addItemAttributePermission(-1, -1, -1)),
      EMPTY_LINK("addItemAttributeVersion", "RDIAVR",
                 o->addItemAttributeVersion(-1, -1)),
      EMPTY_LINK("addItemAttributeValueVersion", "RDITVV",
                 o->addItemAttributeValueVersion(-1, -1, -1)),
      MISSING_PARENT("addDomainLanguage",
                     o->addDomainLanguage(kNo, kNo, nullptr)),
      MISSING_PARENT("addDomainAttribute",
                     o->addDomainAttribute(kNo, kNo, nullptr)),
      MISSING_PARENT("addItemAttribute",
                     o->addItemAttribute(kNo, kNo, nullptr)),
      MISSING_DELETE("deleteAccounts",
                     o->deleteAccounts(kNo, "", "", "", "", "", "")),
      MISSING_DELETE("deleteAttributes", o->deleteAttributes(kNo, "")),
      MISSING_DELETE("deleteAttributeContexts",
                     o->deleteAttributeContexts(kNo, "", "")),
      MISSING_DELETE("deleteAttributeTypes",
                     o->deleteAttributeTypes(kNo, "", "")),
      MISSING_DELETE("deleteLanguages", o->deleteLanguages(kNo, "", "")),
      MISSING_DELETE("deletePermissions",
                     o->deletePermissions(kNo, "", "", -1)),
      MISSING_DELETE("deleteRoles", o->deleteRoles(kNo, "", "", "")),
      MISSING_DELETE("deleteItems",
                     o->deleteItems(kNo, "", "", "", "", "", -1)),
      MISSING_DELETE("deleteItemAttributeValues",
                     o->deleteItemAttributeValues(kNo, "", -1)),
      MISSING_DELETE("deleteDomains",
                     o->deleteDomains(kNo, "", "", "", "", "", "", -1, "", -1,
                                      -1, kNone, "", kNone)),
      MISSING_DELETE("deleteDomainPermissions",
                     o->deleteDomainPermissions(kNo, -1, -1)),
      MISSING_DELETE("deleteDomainVersions",
                     o->deleteDomainVersions(kNo, -1, -1, "", "", "", "", -1,
                                             "", -1, kNone, kNone)),
      MISSING_DELETE("deleteDomainVersionPermissions",
                     o->deleteDomainVersionPermissions(kNo, -1, -1)),
      MISSING_DELETE("deleteNotes",
                     o->deleteNotes(kNo, -1, "", -1, "", "", -1, -1)),
      MISSING_DELETE("deleteDomainAccess", o->deleteDomainAccess(kNo, -1, -1)),
      MISSING_DELETE("deleteDomainAssociations",
                     o->deleteDomainAssociations(kNo, -1, "")),
      MISSING_DELETE("deleteDomainLanguages",
                     o->deleteDomainLanguages(kNo, -1, -1)),
      MISSING_DELETE("deleteDomainLanguageVersions",
                     o->deleteDomainLanguageVersions(kNo, -1)),
      MISSING_DELETE("deleteDomainAttributes",
                     o->deleteDomainAttributes(kNo, -1, -1)),
      MISSING_DELETE("deleteDomainAttributePermissions",
                     o->deleteDomainAttributePermissions(kNo, -1, -1)),
      MISSING_DELETE("deleteDomainAttributeVersions",
                     o->deleteDomainAttributeVersions(kNo, -1, -1, "")),
      MISSING_DELETE("deleteDomainAttributeValues",
                     o->deleteDomainAttributeValues(kNo, -1, "", "", -1)),
      MISSING_DELETE("deleteDomainAttributeValueVersions",
                     o->deleteDomainAttributeValueVersions(kNo, -1)),
      MISSING_DELETE("deleteItemPermissions",
                     o->deleteItemPermissions(kNo, -1, -1)),
      MISSING_DELETE("deleteItemVersions",
                     o->deleteItemVersions(kNo, -1, -1, kNone, -1, "", -1)),
      MISSING_DELETE("deleteItemAttributes",
                     o->deleteItemAttributes(kNo, -1, -1)),
      MISSING_DELETE("deleteItemAttributePermissions",
                     o->deleteItemAttributePermissions(kNo, -1, -1)),
      MISSING_DELETE("deleteItemAttributeVersions",
                     o->deleteItemAttributeVersions(kNo, -1)),
      MISSING_DELETE("deleteItemAttributeValueVersions",
                     o->deleteItemAttributeValueVersions(kNo, -1, -1)),
      MISSING_DELETE("deletePublications",
                     o->deletePublications(kNo, "", "", -1, -1, "", "")),
      MISSING_DELETE(
          "deleteImportStagingItems",
          o->deleteImportStagingItems(kNo, -1, "", "", "", -1, -1, -1, "", "",
                                      "", "", -1, -1, kNone)),
      MISSING_DELETE(
          "deleteImportStagingValues",
          o->deleteImportStagingValues(kNo, -1, -1, -1, -1, "", -1, "", "", "",
                                       "", -1, -1, -1, -1, -1, kNone)),
      MISSING_DELETE(
          "deleteImportStagingTree",
          o->deleteImportStagingTree(kNo, -1, kNone, -1, "", -1, -1)),
      MISSING_DELETE("deleteTempImportItems",
                     o->deleteTempImportItems(kNo, -1)),
      MISSING_DELETE("deleteImportAttributes",
                     o->deleteImportAttributes(kNo, -1, -1, -1)),
      MISSING_DELETE("deleteImportColumns",
                     o->deleteImportColumns(kNo, -1, -1, -1, -1)),
  };
}

}  // namespace

Table refdataTable() {
  return {"refdata", [](Sweep&, std::string*) { return true; }, cells};
}
