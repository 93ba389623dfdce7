// The joined views of the reference-data object, read over one small world
// of domains, items, attributes, rights and publications.
#include "refdata/refdata_fixture.h"

class RefDataViewTest : public RefDataTest {
 protected:
  void SetUp() override {
    RefDataTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    buildWorld();
  }
};

TEST_P(RefDataViewTest, ContentsListEveryItemAttributeAndValueNewestFirst) {
  // Population, which version 2 does not carry, is listed without values.
  EXPECT_EQ(rows(rd_->getDomainContents(1, -1)),
            (Rows{"1|EU|Europe||||||Places|2",
                  "2|FR|France|1|Paris|Capital|capital city|English|Places|2",
                  "2|FR|France|1|PARIS-DE|Capital|capital city|German|Places|2",
                  "2|FR|France|1||Population|inhabitants||Places|2",
                  "3|PAR|Paris|2|||||Places|2", "4|EU|Europe||||||Places|1"}));
  EXPECT_EQ(rows(rd_->getDomainContents(-1, 1)),
            Rows{"4|EU|Europe||||||Places|1"});
  EXPECT_EQ(rows(rd_->getDomainContents(1, 3)), Rows{});
  // Chosen by version number; attributes the version does not carry are
  // left out.
  EXPECT_EQ(sorted(rd_->getDomainVersionContents(1, 2)),
            (Rows{"1|EU|Europe||||||Places|2",
                  "2|FR|France|1|PARIS-DE|Capital|capital city|German|Places|2",
                  "2|FR|France|1|Paris|Capital|capital city|English|Places|2",
                  "3|PAR|Paris|2|||||Places|2"}));
  EXPECT_EQ(rows(rd_->getDomainVersionContents(-1, 1)),
            Rows{"4|EU|Europe||||||Places|1"});
}

TEST_P(RefDataViewTest, TreeIsWalkedLevelByLevelWithChildCounts) {
  EXPECT_EQ(sorted(rd_->getChildItems(2, -1))[0], "1||EU|Europe|EU|1|1");
  EXPECT_EQ(rows(rd_->getChildItems(2, 2)),
            Rows{"3|2|PAR|Paris|EU/FR/PAR|3|0"});
  EXPECT_EQ(rows(rd_->getChildItems(2, 3)), Rows{});
  EXPECT_EQ(sorted(rd_->getChildItems(-1, -1)),
            (Rows{"1||EU|Europe|EU|1|1", "2|1|FR|France|EU/FR|2|1",
                  "3|2|PAR|Paris|EU/FR/PAR|3|0", "4||EU|Europe|EU|1|0"}));
  EXPECT_EQ(sorted(rd_->getDomainVersionItems(1, -1)),
            (Rows{"1||EU|Europe|EU|1|1", "1||EU|Europe|EU|1|4"}));
  EXPECT_EQ(rows(rd_->getDomainVersionItems(3, 2)),
            Rows{"3|2|PAR|Paris|EU/FR/PAR|3|3"});
}

TEST_P(RefDataViewTest, DomainViewsJoinVersionsAccountsAndLanguages) {
  EXPECT_EQ(masked(rows(rd_->getDomainVersionSummaries(-1, "", false)), 9),
            (Rows{"1|Places|places of the world|1|1|first|owner|PL|G|*",
                  "1|Places|places of the world|2|2|second|owner|PL|G|*"}));
  EXPECT_EQ(masked(rows(rd_->getDomainVersionSummaries(1, "Places", true)), 9),
            Rows{"1|Places|places of the world|2|2|second|owner|PL|G|*"});
  EXPECT_EQ(rows(rd_->getDomainVersionInfo(1, 2)), Rows{"1|Places|PL|2|2"});
  EXPECT_EQ(masked(rows(rd_->getDomainDetails(1)), 13),
            (Rows{"1|Places|places of the world|PL|Y|Y|G|1|Y|1|2|20000.5|C|*|"
                  "locker|de|en",
                  "1|Places|places of the world|PL|Y|Y|G|1|Y|1|2|20000.5|C|*|"
                  "locker|en|en"}));
  const Rows second{"2|1|2|second|Y|Y|G|1|Y|2|20001.25|*|owner|locker"};
  const Rows first{"1|1|1|first|Y|N|G|1|N|||*|owner|"};
  EXPECT_EQ(masked(rows(rd_->getLatestDomainVersion(1)), 11), second);
  EXPECT_EQ(masked(rows(rd_->getDomainVersionHistory(1, true)), 11), second);
  EXPECT_EQ(masked(rows(rd_->getDomainVersionHistory(1, false)), 11),
            (Rows{first[0], second[0]}));
  EXPECT_EQ(masked(rows(rd_->getDomainVersions(-1, 1, -1, "", "", "", "", -1,
                                               "", -1, KvbDate(), KvbDate())),
                   11),
            (Rows{"2|1|2|second|Y|Y|G|1|Y|2|20001.25|*",
                  "1|1|1|first|Y|N|G|1|N|||*"}));
  EXPECT_EQ(rows(rd_->getEnabledDomains()),
            (Rows{"Places|places of the world|PL|G|Y|1|1",
                  "Places|places of the world|PL|G|Y|2|2"}));
}

TEST_P(RefDataViewTest, LatestVersionSummariesKeepOnePerDomain) {
  const KvbDate none;
  ASSERT_TRUE(rd_->addDomain("Rivers", "", "RV", "Y", "Y", "G", 1, "Y", 1, -1,
                             none, "C", nullptr));
  ASSERT_TRUE(rd_->addDomainVersion(2, 1, "only", "Y", "N", "G", 1, "N", -1,
                                    none, nullptr));
  EXPECT_EQ(masked(rows(rd_->getDomainVersionSummaries(-1, "", true)), 9),
            (Rows{"1|Places|places of the world|2|2|second|owner|PL|G|*",
                  "2|Rivers||3|1|only|owner|RV|G|*"}));
}

TEST_P(RefDataViewTest, LanguageAndAttributeViewsFollowVersions) {
  EXPECT_EQ(sorted(rd_->getDomainVersionLanguages(-1, 1, 2)),
            (Rows{"de|German|en|2|2", "en|English|en|1|1"}));
  EXPECT_EQ(rows(rd_->getDomainVersionLanguages(-1, -1, 1)),
            Rows{"en|English|en|1|1"});
  EXPECT_EQ(sorted(rd_->getUsedDomainLanguages(1, 2)), (Rows{"1", "2"}));
  EXPECT_EQ(rows(rd_->getUsedDomainLanguages(1, 1)), Rows{});
  EXPECT_EQ(rows(rd_->getDomainUserAttributes(1, -1)),
            Rows{"1|Capital|capital city|1|1|Y"});
  EXPECT_EQ(rows(rd_->getUsedDomainAttributes(-1, 2)), Rows{"1"});
  EXPECT_EQ(rows(rd_->getUsedDomainAttributes(1, 1)), Rows{});
  EXPECT_EQ(sorted(rd_->getDomainUserAttributeLanguages(1, 2)),
            (Rows{"1|Capital|capital city|1|1|Y|English",
                  "1|Capital|capital city|1|1|Y|German"}));
  EXPECT_EQ(sorted(rd_->getUserAttributes(-1, "", "")),
            (Rows{"1|Capital|capital city|en", "2|Population|inhabitants|en"}));
  EXPECT_EQ(rows(rd_->getUserAttributes(2, "Population", "inhabitants")),
            Rows{"2|Population|inhabitants|en"});
  EXPECT_EQ(rows(rd_->getItemVersionAttributes(2, 2)),
            Rows{"1|Capital|capital city|1"});
  EXPECT_EQ(sorted(rd_->getItemVersionAttributeValues(2, 2)),
            (Rows{"1|Capital|capital city|1|Paris|1|1|en|1",
                  "1|Capital|capital city|2|PARIS-DE|2|1|de|2"}));
}

TEST_P(RefDataViewTest, PublicationsAndTheirNotesNeedTheirDomainAndAuthor) {
  EXPECT_EQ(rows(rd_->getPublications(-1, "", "", -1, -1, "", "")),
            Rows{"1|web|html|1|2|dsn|pub|Places"});
  EXPECT_EQ(rows(rd_->getPublications(-1, "", "html", 1, -1, "", "")),
            Rows{"1|web|html|1|2|dsn|pub|Places"});
  EXPECT_EQ(masked(rows(rd_->getPublicationNotes(1)), 8),
            (Rows{"2|1|C|1|USER_PUBS|second|1|1|*|owner",
                  "1|1|C|1|USER_PUBS|first|1|1|*|owner"}));
  EXPECT_EQ(rows(rd_->getPublicationNotes(2)), Rows{});
}
TEST_P(RefDataViewTest, JoinsKeepOrDropRowsAsTheirKindSays) {
  // A value in a language that does not exist keeps its row, unnamed.
  ASSERT_TRUE(rd_->addItemAttributeValue("Lutetia", 9, nullptr));
  ASSERT_TRUE(rd_->addItemAttributeValueVersion(2, 3, 1));
  EXPECT_EQ(rows(rd_->getDomainContents(1, 2))[3],
            "2|FR|France|1|Lutetia|Capital|capital city||Places|2");
  // Children are counted in their own domain version only.
  ASSERT_TRUE(rd_->addItemVersion(1, 2, 2, "EU/FR", 1, nullptr));
  EXPECT_EQ(sorted(rd_->getChildItems(2, -1))[0], "1||EU|Europe|EU|1|1");
  EXPECT_EQ(rows(rd_->getChildItems(1, 1)), Rows{"5|1|FR|France|EU/FR|2|0"});

  // The summary's latest version is the one added last, whatever its
  // number; the latest version is the highest number.
  ASSERT_TRUE(rd_->addDomainVersion(1, 0, "zero", "Y", "Y", "G", 1, "", -1,
                                    KvbDate(), nullptr));
  EXPECT_EQ(masked(rows(rd_->getDomainVersionSummaries(1, "", true)), 9),
            Rows{"1|Places|places of the world|3|0|zero|owner|PL|G|*"});
  EXPECT_EQ(rows(rd_->getLatestDomainVersion(1)).size(), 1u);
  EXPECT_EQ(rows(rd_->getLatestDomainVersion(1))[0].substr(0, 6), "2|1|2|");

  // A domain whose default language is missing lists no version language,
  // while its details show the default as null.
  ASSERT_TRUE(rd_->addDomain("Hidden", "", "HD", "N", "", "", 9, "", 1, -1,
                             KvbDate(), "", nullptr));
  ASSERT_TRUE(rd_->addDomainVersion(2, 1, "", "", "", "", 1, "", -1, KvbDate(),
                                    nullptr));
  ASSERT_TRUE(rd_->addDomainLanguage(2, 1, nullptr));
  ASSERT_TRUE(rd_->addDomainLanguageVersion(4, 3));
  EXPECT_EQ(rows(rd_->getDomainVersionLanguages(-1, 2, -1)), Rows{});
  EXPECT_EQ(masked(rows(rd_->getDomainDetails(2)), 13),
            Rows{"2|Hidden||HD|N|||9||1||||*||en|"});
  EXPECT_EQ(rows(rd_->getEnabledDomains()).size(), 3u);  // not Hidden
}
INSTANTIATE_RDA_TARGETS(RefDataViewTest);
