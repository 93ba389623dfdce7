// A text longer than the length its column declares, added through a
// data-access object: a server refuses it and the add answers, and logs
// once, which column of which table it passes and by how much; SQLite,
// which does not enforce declared lengths, stores it as given.
#include <gtest/gtest.h>

#include <string>

#include "refdata/refdata_fixture.h"
#include "reposadmin/common_data_access.h"

namespace {

class TooLongValueTest : public RefDataTest {
 protected:
  void SetUp() override {
    RefDataTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    common_ = repos_->createCommonDataAccess();
    ASSERT_NE(common_, nullptr);
  }
  void TearDown() override {
    if (common_) common_->release();
    RefDataTest::TearDown();
  }

  // Adds a domain whose type (DOMTYPE, 2 characters) and enabled flag
  // (ENABLED, 1) are given; the add's answer.
  bool addDomain(const char* type, const char* enabled = "Y") {
    return rd_->addDomain("Places", "places", type, enabled, "Y", "G", 1, "N",
                          1, 2, KvbDate(), "C", nullptr);
  }
  int addRule(const std::string& type) {
    return common_->addRule("R", type.c_str(), "", "", "", "u", "id", 0, "",
                            "");
  }
  // The values of `column` in table `code`.
  Rows stored(const char* code, const char* column) {
    return cursorRows(db_->paramSelect(
        "SELECT " + KvbString(column) + " FROM " + table(code).c_str(), 0));
  }
  // `add`, an add of `object`, fails on the server with `text`, which it
  // logs once, as the whole record, and leaves no row in table `code`.
  template <class Object, class Add>
  void expectRefused(Object* object, const Add& add, const char* code,
                     const std::string& text) {
    bool added = true;
    EXPECT_EQ(log_.failuresDuring([&] { added = add(); }), Rows{text});
    EXPECT_FALSE(added);
    EXPECT_EQ(object->getErrorMessage().str(), text);
    EXPECT_EQ(count(code), 0);
  }

  CommonRepositoryDataAccess* common_ = nullptr;
  LogCapture log_;
};

TEST_P(TooLongValueTest, AServerNamesTheColumnThatAnAddedValuePasses) {
  const std::string type(40, 't');
  if (!isPostgres()) {
    ASSERT_TRUE(addDomain("LONG")) << rd_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RDDOMS", "DOMTYPE"), Rows{"LONG"});
    ASSERT_GT(addRule(type), 0) << common_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RULE", "RU_TYPE"), Rows{type});
    return;
  }
  expectRefused(
      rd_, [&] { return addDomain("LONG"); }, "RDDOMS",
      "The value of column DOMTYPE of table RDDOMS is 4 characters "
      "long; the column holds at most 2");
  expectRefused(
      common_, [&] { return addRule(type) > 0; }, "RULE",
      "The value of column RU_TYPE of table RULE is 40 characters "
      "long; the column holds at most 32");
}

// A server counts a text's characters, not its bytes: "éé" fits DOMTYPE,
// and "ÿÿ" passes ENABLED by one character.
TEST_P(TooLongValueTest, ValuesAreMeasuredInCharacters) {
  if (!isPostgres()) {
    ASSERT_TRUE(addDomain("\xc3\xa9\xc3\xa9", "\xc3\xbf\xc3\xbf"))
        << rd_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RDDOMS", "ENABLED"), Rows{"\xc3\xbf\xc3\xbf"});
    return;
  }
  expectRefused(
      rd_, [&] { return addDomain("\xc3\xa9\xc3\xa9", "\xc3\xbf\xc3\xbf"); },
      "RDDOMS",
      "The value of column ENABLED of table RDDOMS is 2 characters long; "
      "the column holds at most 1");
  EXPECT_TRUE(addDomain("\xc3\xa9\xc3\xa9")) << rd_->getErrorMessage().asCstr();
  EXPECT_EQ(stored("RDDOMS", "DOMTYPE"), Rows{"\xc3\xa9\xc3\xa9"});
}

// Inside the host's transaction the add answers the same text. Where the
// driver rolls the whole transaction back at the refusal (Protocol=7.4-1),
// the add and the calls after it answer that the transaction was lost, for
// the same named value; elsewhere the transaction goes on without the add.
TEST_P(TooLongValueTest, AHostTransactionLostToTheValueNamesItToo) {
  const std::string text =
      "The value of column DOMTYPE of table RDDOMS is 4 characters long; the "
      "column holds at most 2";
  const std::string lostText =
      "The transaction was rolled back by the database: " + text;
  const bool lost = isPostgres() && postgresConnectionString().find(
                                        "Protocol=7.4-1") != std::string::npos;
  ASSERT_TRUE(rd_->beginTransaction(0, 0));
  EXPECT_EQ(addDomain("LONG"), !isPostgres());
  if (isPostgres()) {
    EXPECT_EQ(rd_->getErrorMessage().str(), lost ? lostText : text);
  }
  EXPECT_EQ(rd_->addLanguage("English", "en", nullptr), !lost);
  if (lost) {
    EXPECT_EQ(rd_->getErrorMessage().str(), lostText);
  }
  EXPECT_EQ(rd_->endTransaction(true), !lost);
  EXPECT_EQ(count("RDLANS"), lost ? 0 : 1);
}

INSTANTIATE_RDA_TARGETS(TooLongValueTest);

}  // namespace
