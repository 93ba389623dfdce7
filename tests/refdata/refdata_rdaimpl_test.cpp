// The add, query-by-example and delete-by-example procedures of the
// reference-data object, and what they refuse.
#include "refdata/refdata_fixture.h"
#include "support/id_cases.h"

using RefDataProcedureTest = RefDataTest;

TEST_P(RefDataProcedureTest, AddsNumberRowsAndWriteOnlyWhatIsGiven) {
  int id = 0;
  EXPECT_TRUE(rd_->addAccount("ann", "user", "ldap", "a@x", "1", "street",
                              "mail", 0, &id));
  EXPECT_EQ(id, 1);
  // Negative integers and empty texts stay out; the row has its date.
  EXPECT_TRUE(rd_->addAccount("", "", "", "", "", "", "", -1, &id));
  EXPECT_EQ(id, 2);
  EXPECT_EQ(masked(rows(rd_->getAccounts(-1, "", "", "", "", "", "")), 9),
            (Rows{"1|ann|user|ldap|a@x|1|street|mail|0|*", "2|||||||||*"}));
  const double now = KvbDate::currentDate().asDouble();
  ReposDataAccessCursor* account = rd_->getAccounts(2, "", "", "", "", "", "");
  ASSERT_EQ(account->next(), 1);
  EXPECT_NEAR(account->getDouble(9), now, 0.001);
  account->release();

  // POSITION alone is written when negative; -1 leaves it out.
  EXPECT_TRUE(rd_->addPermission("R", "", -3, nullptr));
  EXPECT_TRUE(rd_->addPermission("W", "", -1, nullptr));
  EXPECT_EQ(rows(rd_->getPermissions(-1, "", "", -3)), Rows{"1|R||-3"});
  EXPECT_EQ(rows(rd_->getPermissions(2, "", "", -1)), Rows{"2|W||"});

  // The association's key is DOMASSID; a row may hold nothing but its key.
  EXPECT_TRUE(rd_->addDomainAssociation(-1, "", &id));
  EXPECT_TRUE(rd_->addDomainAssociation(4, "region", &id));
  EXPECT_EQ(id, 2);
  EXPECT_EQ(rows(rd_->getDomainAssociations(-1, -1, "")),
            (Rows{"1||", "2|4|region"}));
  EXPECT_TRUE(rd_->addLanguage("", "", nullptr));
  EXPECT_EQ(rows(rd_->getLanguages(-1, "", "")), Rows{"1||"});
}

TEST_P(RefDataProcedureTest, AttributeTypeTextIsWrittenOnce) {
  EXPECT_TRUE(
      rd_->addAttribute("A", "", 3, "text", 1, 2, 0, "number", nullptr));
  EXPECT_TRUE(rd_->addAttribute("B", "", -1, "", -1, -1, 0, "number", nullptr));
  EXPECT_EQ(masked(rows(rd_->getAttributes(-1, "", "")), 7),
            (Rows{"1|A||3|text|1|2|*", "2|B|||number|||*"}));
}

TEST_P(RefDataProcedureTest, FiltersCombineAndMinusOneMeansAny) {
  ASSERT_TRUE(rd_->addRole("editor", "edits", "E", nullptr));
  ASSERT_TRUE(rd_->addRole("viewer", "views", "E", nullptr));
  EXPECT_EQ(rows(rd_->getRoles(-1, "", "", "E")).size(), 2u);
  EXPECT_EQ(rows(rd_->getRoles(2, "", "", "E")), Rows{"2|viewer|views|E"});
  EXPECT_EQ(rows(rd_->getRoles(2, "editor", "", "")), Rows{});
  EXPECT_EQ(rows(rd_->getRoles(-2, "", "", "")), Rows{});
  EXPECT_EQ(rows(rd_->getAccounts(1, "nobody", "", "", "", "", "")), Rows{});
}

TEST_P(RefDataProcedureTest, DatesFilterByTheirExactValue) {
  ASSERT_TRUE(rd_->addNote(1, "C", 1, "USER_PUBS", "a", 1, 1, nullptr));
  ASSERT_TRUE(rd_->addNote(1, "C", 1, "USER_PUBS", "b", 1, 1, nullptr));
  ReposDataAccessCursor* note =
      rd_->getNotes(2, -1, "", -1, "", "", -1, -1, KvbDate());
  ASSERT_NE(note, nullptr);
  ASSERT_EQ(note->next(), 1);
  const KvbDate created(note->getDouble(8));
  note->release();
  EXPECT_EQ(
      masked(rows(rd_->getNotes(-1, -1, "", -1, "", "", -1, -1, created)), 8),
      Rows{"2|1|C|1|USER_PUBS|b|1|1|*"});

  exec("INSERT INTO " + table("RDIMSG") +
       " (ID, PROFILE, DOMVERID, CRTDATE) VALUES (1, 3, 40, 100.5)");
  exec("INSERT INTO " + table("RDIMSG") +
       " (ID, PROFILE, DOMVERID, CRTDATE) VALUES (2, 3, 41, 200.5)");
  EXPECT_TRUE(
      rd_->deleteImportStagingTree(40, -1, KvbDate(200.5), -1, "", -1, 3));
  EXPECT_EQ(count("RDIMSG"), 2);
  EXPECT_TRUE(rd_->deleteImportStagingItems(
      -1, -1, "", "", "", -1, -1, 3, "", "", "", "", -1, -1, KvbDate(100.5)));
  EXPECT_EQ(count("RDIMSG"), 1);
}

// Each query reads its own table and filters on the column its parameter
// names: every filter below matches one row of the world, or none.
TEST_P(RefDataProcedureTest, QueriesFilterTheirOwnTableByEachColumn) {
  buildWorld();
  const KvbDate none;
  const struct {
    ReposDataAccessCursor* cursor;
    Rows expected;
  } cases[] = {
      {rd_->getAttributeContexts(-1, "RD_SYSTEM", ""), {"2|RD_SYSTEM|"}},
      {rd_->getAttributeContexts(1, "RD_SYSTEM", ""), {}},
      {rd_->getAttributeTypes(-1, "", "plain text"), {"1|text|plain text"}},
      {rd_->getAttributeTypes(2, "text", ""), {}},
      {rd_->getDomains(-1, "", "", "", "", "", "", -1, "", -1, 1, none, "",
                       none),
       {}},
      {rd_->getDomainLanguages(-1, -1, 2), {"2|1|2"}},
      {rd_->getDomainLanguages(-1, 2, -1), {}},
      {rd_->getDomainLanguageVersions(-1, 2), {"2|2"}},
      {rd_->getDomainAttributes(-1, -1, 3), {"2|1|3"}},
      {rd_->getDomainAttributePermissions(-1, 2, -1), {"1|2|2"}},
      {rd_->getDomainAttributePermissions(-1, -1, 1), {}},
      {rd_->getDomainAttributeVersions(-1, -1, -1, "N"), {"1|2|2|N"}},
      {rd_->getDomainAttributeValues(-1, -1, "city", "Y", 1), {"1|1|city|Y|1"}},
      {rd_->getDomainAttributeValues(-1, -1, "", "", 2), {}},
      {rd_->getDomainAttributeValueVersions(2, 1), {"2|1"}},
      {rd_->getDomainAttributeValueVersions(1, -1), {}},
      {rd_->getItemPermissions(1, 1, 1), {"1|1|1"}},
      {rd_->getItemPermissions(-1, 2, -1), {}},
      {rd_->getItemAttributes(-1, -1, 2), {"2|2|2"}},
      {rd_->getItemAttributes(-1, 1, -1), {}},
      {rd_->getItemAttributeValues(-1, "", 2), {"2|PARIS-DE|2"}},
      {rd_->getItemAttributeVersions(2, 1), {"2|1"}},
      {rd_->getItemAttributeVersions(-1, 2), {}},
      {rd_->getItemAttributeValueVersions(-1, 2, -1), {"2|2|1"}},
      {rd_->getItemAttributeValueVersions(-1, -1, 2), {}},
      {rd_->getItemAttributePermissions(-1, 2, -1), {"1|2|1"}},
      {rd_->getItemAttributePermissions(2, -1, -1), {}},
      {rd_->getDomainPermissions(-1, -1, 1), {"1|1|1"}},
      {rd_->getDomainPermissions(-1, 2, -1), {}},
      {rd_->getDomainVersionPermissions(2, 2, 2), {"2|2|2"}},
      {rd_->getDomainVersionPermissions(1, -1, -1), {}},
      {rd_->getDomainAccess(-1, -1, 1), {"1|1|1"}},
      {rd_->getDomainAccess(-1, 2, -1), {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(rows(cases[i].cursor), cases[i].expected) << i;
  // Item versions and domains carry their creation date.
  EXPECT_EQ(
      masked(rows(rd_->getItemVersions(-1, -1, -1, none, -1, "EU/FR", -1)), 6),
      Rows{"2|2|2|2|EU/FR|1|*"});
  EXPECT_EQ(masked(rows(rd_->getItemVersions(-1, 1, -1, none, 1, "", -1)), 6),
            Rows{"4|1|1|1|EU||*"});
  EXPECT_EQ(masked(rows(rd_->getDomains(-1, "", "", "", "", "", "", -1, "", -1,
                                        2, none, "", none)),
                   13),
            Rows{"1|Places|places of the world|PL|Y|Y|G|1|Y|1|2|20000.5|C|*"});
}

// Each delete removes the rows that its filters match from its own table;
// one with no filter empties the table.
TEST_P(RefDataProcedureTest, DeletesByExampleTouchOnlyTheirOwnTable) {
  buildWorld();
  const KvbDate none;
  EXPECT_TRUE(rd_->deleteAccounts(-1, "locker", "", "", "", "", ""));
  EXPECT_EQ(count("RDACTS"), 1);
  EXPECT_TRUE(rd_->deleteAttributes(-1, "Internal"));
  EXPECT_EQ(count("RDATRS"), 2);
  EXPECT_TRUE(rd_->deleteAttributes(2, ""));  // by id alone
  EXPECT_EQ(rows(rd_->getAttributes(-1, "", "")).size(), 1u);
  EXPECT_TRUE(rd_->deleteAttributeContexts(2, "", ""));
  EXPECT_EQ(count("RDATRC"), 1);
  EXPECT_TRUE(rd_->deleteAttributeTypes(-1, "", "other"));
  EXPECT_EQ(count("RDATTY"), 1);
  EXPECT_TRUE(rd_->deleteLanguages(-1, "", "de"));
  EXPECT_EQ(count("RDLANS"), 1);
  EXPECT_TRUE(rd_->deletePermissions(-1, "", "", 2));
  EXPECT_EQ(count("RDOPRS"), 1);
  EXPECT_TRUE(rd_->deleteRoles(-1, "", "", ""));
  EXPECT_EQ(count("RDROLS"), 0);
  EXPECT_TRUE(rd_->deleteItems(-1, "", "", "", "N", "", -1));
  EXPECT_EQ(count("RDDOIT"), 2);
  EXPECT_TRUE(rd_->deleteItemAttributeValues(-1, "PARIS-DE", -1));
  EXPECT_EQ(count("RDITAV"), 1);
  EXPECT_TRUE(rd_->deleteDomainPermissions(1, 2, -1));
  EXPECT_EQ(count("RDDOPR"), 1);
  EXPECT_TRUE(rd_->deleteDomainVersions(-1, 1, 1, "", "", "", "", -1, "", -1,
                                        none, none));
  EXPECT_EQ(count("RDDOVR"), 1);
  EXPECT_TRUE(rd_->deleteDomainVersionPermissions(2, -1, -1));
  EXPECT_EQ(count("RDDVPR"), 0);
  EXPECT_TRUE(rd_->deleteNotes(-1, -1, "", 3, "", "", -1, -1));
  EXPECT_EQ(count("RDNOTS"), 2);
  EXPECT_TRUE(rd_->deleteDomainAccess(-1, 1, 1));
  EXPECT_EQ(count("RDDACC"), 0);
  EXPECT_TRUE(rd_->deleteDomainAssociations(1, -1, "other"));
  EXPECT_EQ(count("RDDOAS"), 1);
  EXPECT_TRUE(rd_->deleteDomainLanguages(2, -1, -1));
  EXPECT_EQ(count("RDDOLG"), 1);
  EXPECT_TRUE(rd_->deleteDomainLanguageVersions(2, -1));
  EXPECT_EQ(count("RDDOLV"), 1);
  EXPECT_TRUE(rd_->deleteDomainAttributes(-1, -1, 3));
  EXPECT_EQ(count("RDDOAT"), 1);
  EXPECT_TRUE(rd_->deleteDomainAttributePermissions(-1, -1, 1));
  EXPECT_EQ(count("RDDATP"), 1);
  EXPECT_TRUE(rd_->deleteDomainAttributeVersions(-1, -1, -1, "N"));
  EXPECT_EQ(count("RDDATV"), 1);
  EXPECT_TRUE(rd_->deleteDomainAttributeValues(-1, -1, "", "Y", -1));
  EXPECT_EQ(count("RDDOAV"), 0);
  EXPECT_TRUE(rd_->deleteDomainAttributeValueVersions(9, -1));
  EXPECT_EQ(count("RDDAVV"), 1);
  EXPECT_TRUE(rd_->deleteItemPermissions(-1, 1, -1));
  EXPECT_EQ(count("RDITPR"), 0);
  EXPECT_TRUE(rd_->deleteItemVersions(-1, 2, -1, none, 3, "", -1));
  EXPECT_EQ(count("RDITVR"), 3);
  EXPECT_TRUE(rd_->deleteItemAttributes(-1, 2, 2));
  EXPECT_EQ(count("RDDOIA"), 1);
  EXPECT_TRUE(rd_->deleteItemAttributePermissions(1, 2, 1));
  EXPECT_EQ(count("RDITAP"), 0);
  EXPECT_TRUE(rd_->deleteItemAttributeVersions(-1, 1));
  EXPECT_EQ(count("RDIAVR"), 0);
  EXPECT_TRUE(rd_->deleteItemAttributeValueVersions(2, 2, -1));
  EXPECT_EQ(count("RDITVV"), 1);
  // The publication of a missing domain is deleted all the same.
  EXPECT_TRUE(rd_->deletePublications(-1, "orphan", "", -1, -1, "", ""));
  EXPECT_EQ(count("RDPUBS"), 1);
  EXPECT_TRUE(rd_->deleteDomains(-1, "", "", "", "", "", "", -1, "", -1, -1,
                                 none, "", none));
  EXPECT_EQ(count("RDDOMS"), 0);
  EXPECT_EQ(count("RDDOVR"), 1);  // nothing cascades
  EXPECT_EQ(rows(rd_->getDomainVersionInfo(-1, -1)), Rows{});
}

TEST_P(RefDataProcedureTest, StagingTablesAreClearedByExample) {
  for (const char* values : {"(1, 5, 3, 'a', 'Y')", "(2, 6, 4, 'b', 'N')"})
    exec("INSERT INTO " + table("RDIMSG") +
         " (ID, ITEMID, PROFILE, ATTVALUE, VIMPFLAG) VALUES " + values);
  exec("INSERT INTO " + table("RDTMPI") + " (ITEMID, DOMVERID) VALUES (5, 1)");
  exec("INSERT INTO " + table("RDIMAT") + " (ID, ITEMID) VALUES (1, 5)");
  exec("INSERT INTO " + table("RDIMCL") +
       " (SOURCCOL, POSITION, PROFILE) VALUES (1, 2, 3)");
  const KvbDate none;
  EXPECT_TRUE(rd_->deleteImportStagingValues(
      -1, -1, -1, -1, -1, "b", 4, "N", "", "", "", -1, -1, -1, -1, -1, none));
  EXPECT_EQ(count("RDIMSG"), 1);
  EXPECT_TRUE(rd_->deleteTempImportItems(-1, 2));
  EXPECT_EQ(count("RDTMPI"), 1);
  EXPECT_TRUE(rd_->deleteTempImportItems(-1, -1));
  EXPECT_EQ(count("RDTMPI"), 0);
  EXPECT_TRUE(rd_->deleteImportAttributes(1, 5, -1, -1));
  EXPECT_EQ(count("RDIMAT"), 0);
  EXPECT_TRUE(rd_->deleteImportColumns(-1, 2, 3, -1, -1));
  EXPECT_EQ(count("RDIMCL"), 0);
  EXPECT_TRUE(rd_->deleteImportStagingItems(-1, -1, "", "", "", -1, -1, -1, "",
                                            "", "", "", -1, -1, none));
  EXPECT_EQ(count("RDIMSG"), 0);
}

TEST_P(RefDataProcedureTest, FailedAddLeavesNeitherRowNorIdBehind) {
  // The row that the next id would take is there already.
  exec("INSERT INTO " + table("RDLANS") + " (ID, CODE) VALUES (1, 'xx')");
  int id = 77;
  EXPECT_FALSE(rd_->addLanguage("English", "en", &id));
  EXPECT_EQ(id, 77);
  EXPECT_FALSE(rd_->getErrorMessage().isEmpty());
  EXPECT_TRUE(rd_->deleteLanguages(1, "", ""));
  EXPECT_TRUE(rd_->addLanguage("English", "en", &id));
  EXPECT_EQ(id, 1);  // the failed add gave its id back

  // A link row without any value is refused before it reaches the
  // database.
  EXPECT_FALSE(rd_->addItemPermission(-1, -1, -1));
  EXPECT_EQ(rd_->getErrorMessage().str(),
            "No value given for a row of table RDITPR");
  EXPECT_EQ(count("RDITPR"), 0);
}

TEST_P(RefDataProcedureTest, AddsJoinTheCallersTransaction) {
  ASSERT_TRUE(rd_->beginTransaction(0, 0));
  EXPECT_TRUE(rd_->addLanguage("English", "en", nullptr));
  EXPECT_TRUE(rd_->addItemAttributeVersion(1, 1));
  EXPECT_TRUE(rd_->endTransaction(false));
  EXPECT_EQ(count("RDLANS"), 0);
  EXPECT_EQ(count("RDIAVR"), 0);
  // A failed statement in a query or delete is reported, not hidden.
  exec("DROP TABLE " + table("RDDOIT"));
  EXPECT_EQ(rd_->getItems(-1, "", "", "", "", "", -1), nullptr);
  EXPECT_FALSE(rd_->deleteItems(1, "", "", "", "", "", -1));
}
// No add checks its ids, as the interface says: every id argument of every
// add stores its row whether it names a row, names none, is 0 or negative
// (a negative one is not written). A link of the same ids is stored once.
TEST_P(RefDataProcedureTest, AddsStoreEveryIdUncheckedAndEachLinkOnce) {
  buildWorld();
  if (HasFatalFailure()) return;
  RefDataRepositoryDataAccess* r = rd_;
  const KvbDate none;
  using Ids = const std::vector<int>&;
  // The ids of stored rows; a link's not yet linked.
  const std::vector<IdWrite> writes = {
      {"addAccount",
       "RDACTS",
       {"role"},
       {1},
       [&](Ids i) {
         return r->addAccount("a", "", "", "", "", "", "", i[0], nullptr);
       }},
      {"addAttribute",
       "RDATRS",
       {"type", "context", "language"},
       {1, 1, 1},
       [&](Ids i) {
         return r->addAttribute("a", "", i[0], "t", i[1], i[2], 0, "", nullptr);
       }},
      {"addItem",
       "RDDOIT",
       {"account"},
       {1},
       [&](Ids i) { return r->addItem("k", "", "", "", "", i[0], nullptr); }},
      {"addItemAttributeValue",
       "RDITAV",
       {"language"},
       {1},
       [&](Ids i) { return r->addItemAttributeValue("v", i[0], nullptr); }},
      {"addDomain",
       "RDDOMS",
       {"language", "owner", "locker"},
       {1, 1, 2},
       [&](Ids i) {
         return r->addDomain("d", "", "", "", "", "", i[0], "", i[1], i[2],
                             none, "", nullptr);
       }},
      {"addDomainVersion",
       "RDDOVR",
       {"domain", "account", "locker"},
       {1, 1, 2},
       [&](Ids i) {
         return r->addDomainVersion(i[0], 3, "", "", "", "", i[1], "", i[2],
                                    none, nullptr);
       }},
      {"addNote",
       "RDNOTS",
       {"domain", "row", "language", "account"},
       {1, 1, 1, 1},
       [&](Ids i) {
         return r->addNote(i[0], "C", i[1], "RDDOIT", "n", i[2], i[3], nullptr);
       }},
      {"addDomainAssociation",
       "RDDOAS",
       {"domain"},
       {1},
       [&](Ids i) { return r->addDomainAssociation(i[0], "a", nullptr); }},
      {"addDomainLanguage",
       "RDDOLG",
       {"domain", "language"},
       {1, 1},
       [&](Ids i) { return r->addDomainLanguage(i[0], i[1], nullptr); }},
      {"addDomainAttribute",
       "RDDOAT",
       {"domain", "attribute"},
       {1, 2},
       [&](Ids i) { return r->addDomainAttribute(i[0], i[1], nullptr); }},
      {"addDomainAttributeValue",
       "RDDOAV",
       {"domain attribute", "language"},
       {1, 2},
       [&](Ids i) {
         return r->addDomainAttributeValue(i[0], "v", "N", i[1], nullptr);
       }},
      {"addItemVersion",
       "RDITVR",
       {"domain version", "item", "parent"},
       {1, 2, 4},
       [&](Ids i) {
         return r->addItemVersion(i[0], i[1], 2, "", i[2], nullptr);
       }},
      {"addItemAttribute",
       "RDDOIA",
       {"item version", "attribute"},
       {1, 1},
       [&](Ids i) { return r->addItemAttribute(i[0], i[1], nullptr); }},
      {"addPublication",
       "RDPUBS",
       {"domain"},
       {1},
       [&](Ids i) {
         return r->addPublication("p", "", i[0], 1, "", "", nullptr);
       }},
      {"addDomainPermission",
       "RDDOPR",
       {"domain", "account", "permission"},
       {1, 2, 2},
       [&](Ids i) { return r->addDomainPermission(i[0], i[1], i[2]); }},
      {"addDomainVersionPermission",
       "RDDVPR",
       {"domain version", "account", "permission"},
       {1, 1, 1},
       [&](Ids i) { return r->addDomainVersionPermission(i[0], i[1], i[2]); }},
      {"addDomainAccess",
       "RDDACC",
       {"domain", "account", "role"},
       {1, 2, 1},
       [&](Ids i) { return r->addDomainAccess(i[0], i[1], i[2]); }},
      {"addDomainLanguageVersion",
       "RDDOLV",
       {"domain version", "domain language"},
       {1, 2},
       [&](Ids i) { return r->addDomainLanguageVersion(i[0], i[1]); }},
      {"addDomainAttributePermission",
       "RDDATP",
       {"domain", "account", "permission"},
       {1, 1, 1},
       [&](Ids i) {
         return r->addDomainAttributePermission(i[0], i[1], i[2]);
       }},
      {"addDomainAttributeVersion",
       "RDDATV",
       {"domain", "domain attribute", "domain version"},
       {1, 1, 1},
       [&](Ids i) {
         return r->addDomainAttributeVersion(i[0], i[1], i[2], "Y");
       }},
      {"addDomainAttributeValueVersion",
       "RDDAVV",
       {"domain version", "domain attribute value"},
       {1, 1},
       [&](Ids i) { return r->addDomainAttributeValueVersion(i[0], i[1]); }},
      {"addItemPermission",
       "RDITPR",
       {"item", "account", "permission"},
       {2, 1, 1},
       [&](Ids i) { return r->addItemPermission(i[0], i[1], i[2]); }},
      {"addItemAttributePermission",
       "RDITAP",
       {"item attribute", "account", "permission"},
       {1, 1, 1},
       [&](Ids i) { return r->addItemAttributePermission(i[0], i[1], i[2]); }},
      {"addItemAttributeVersion",
       "RDIAVR",
       {"domain version", "item attribute"},
       {1, 1},
       [&](Ids i) { return r->addItemAttributeVersion(i[0], i[1]); }},
      {"addItemAttributeValueVersion",
       "RDITVV",
       {"domain version", "item attribute value", "item attribute"},
       {1, 1, 1},
       [&](Ids i) {
         return r->addItemAttributeValueVersion(i[0], i[1], i[2]);
       }},
  };
  expectIdAnswers(
      writes, {99999, -1, 0, -5},
      [](const IdWrite&, size_t, int) { return std::string(); },
      [&](const char* code) { return count(code); },
      [&] { return rd_->getErrorMessage().str(); }, log_);
  EXPECT_EQ(count("RDACTS", "DEFROLID=0") * 10 +
                count("RDACTS", "ACTNAME='a' AND DEFROLID IS NULL"),
            12);
  // A link added again, every id given, is the stored one: the writes from
  // addDomainPermission on add links.
  for (size_t w = 14; w < writes.size(); ++w) {
    const int before = count(writes[w].code);
    EXPECT_TRUE(writes[w].call(writes[w].ids)) << writes[w].name;
    EXPECT_EQ(count(writes[w].code), before) << writes[w].name;
  }
  // The stored link keeps its other values.
  EXPECT_TRUE(rd_->addDomainAttributeVersion(1, 1, 1, "N"));
  EXPECT_EQ(count("RDDATV", "DOMAINID=1 AND DOMATTID=1 AND DOMVERID=1"), 1);
  EXPECT_EQ(count("RDDATV", "ISDEFALT='N'"), 1);  // the world's (1, 2, 2)
}

INSTANTIATE_RDA_TARGETS(RefDataProcedureTest);
