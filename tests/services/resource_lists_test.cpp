// The lineage result objects and the macro expansion, without a database.
#include <gtest/gtest.h>

#include "services/kv_resource_list_impl.h"
#include "services/kv_string_list_impl.h"
#include "services/lineage_macros.h"
#include "services/owned.h"

namespace {

KvResourceImpl resource(const char* name, const char* type,
                        const char* identity) {
  KvResourceImpl r;
  r.setName(name);
  r.setType(type);
  r.setIdentity(identity);
  return r;
}

std::string names(KvResourceList& list) {
  std::string out;
  while (list.next()) out += list.getResource()->getName().str() + ",";
  return out;
}

TEST(ResourceListTest, RowsReadInOrderAgainAfterAResetAndMatchByIdentity) {
  KvResourceListImpl list(1);
  EXPECT_FALSE(list.next());
  EXPECT_EQ(list.getResource(), nullptr);
  list.setLastResource(0, nullptr);
  KvResourceImpl a = resource("a", "Table", "id-a"),
                 b = resource("b", "File", "id-b");
  list.setLastResource(0, &a);  // an empty list takes nothing
  ASSERT_TRUE(list.appendCopy(a) && list.appendCopy(b));
  list.reset();
  EXPECT_EQ(names(list), "a,b,");
  EXPECT_FALSE(list.next()) << "the cursor stays past the end";
  list.reset();
  EXPECT_EQ(names(list), "a,b,");

  KvResourceImpl sameIdentity = resource("x", "Database", "ID-A");
  EXPECT_TRUE(list.contains(&sameIdentity)) << "type and case aside";
  KvResourceImpl other = resource("x", "Table", "id-c");
  EXPECT_FALSE(list.contains(&other));
  EXPECT_FALSE(list.contains(nullptr));

  list.setLastResource(0, &other);
  list.reset();
  EXPECT_EQ(names(list), "a,x,") << "only the last row changes";
}

TEST(ResourceListTest, StringAndPropertyListsGiveEmptyTextsOffTheirRows) {
  KvStringListImpl strings(1);
  strings.setLastString(0, "lost");
  ASSERT_TRUE(strings.appendRow());
  strings.setLastString(0, "Table");
  strings.setLastString(1, "beyond the width");
  EXPECT_EQ(strings.getString().str(), "") << "before the first step";
  ASSERT_TRUE(strings.next());
  EXPECT_EQ(strings.getString().str(), "Table");
  EXPECT_EQ(strings.getStringAt(1).str(), "");
  EXPECT_EQ(strings.getCount(), 1);

  KvResourceImpl r;
  Owned<KvResourcePropertyList> first(r.createPropertyList()),
      second(r.createPropertyList());
  ASSERT_TRUE(first->appendProperty());
  first->setLastProperty("owner", "ann");
  EXPECT_FALSE(second->next()) << "each list is its own";
  ASSERT_TRUE(first->next());
  EXPECT_EQ(first->getName().str() + "=" + first->getValue().str(),
            "owner=ann");
  EXPECT_FALSE(first->next());
  EXPECT_EQ(first->getName().str(), "");
}

TEST(LineageMacroTest, MacrosExpandFromTheOptionsAndStopAtALoop) {
  KvbConfigOptions* options = kvbGetConfigOptions("");
  options->set("ROOT_DIR", "/data");
  options->set("IN_DIR", "%%ROOT_DIR%%/in");
  options->set("LOOP_DIR", "%%LOOP_DIR%%/x");
  KvbString out;
  EXPECT_TRUE(expandMacros("%%IN_DIR%%/a.txt", out));
  EXPECT_EQ(out.str(), "/data/in/a.txt");
  EXPECT_FALSE(hasMacro("100%% sure"));
  EXPECT_FALSE(expandMacros("%%UNSET_DIR%%/a.txt", out));
  resolveMacros("%%UNSET_DIR%%/a.txt", out);
  EXPECT_EQ(out.str(), "%%UNSET_DIR%%/a.txt");
  EXPECT_FALSE(expandMacros("%%LOOP_DIR%%", out)) << "a value naming itself";
  for (const char* name : {"ROOT_DIR", "IN_DIR", "LOOP_DIR"})
    options->remove(name);
}

}  // namespace
