// Tests of kvreposres identities and its path and URI helpers.
#include <gtest/gtest.h>

#include "kvreposres/kvreposres.h"

namespace {

TEST(ResourceManagerTest, IdentitiesSplitBackIntoTheirParts) {
  KvResourceManager* manager = createKvResourceManager();
  ASSERT_NE(manager, nullptr);
  KvbString table, database, again;
  // Separators inside a part must not move the boundaries.
  ASSERT_TRUE(manager->getTableIdentity("DSN=a|b;UID=x\\", "ODBC", "cat", "s|1",
                                        "cust", table));
  KvbString connection, type, catalog, schema, name;
  ASSERT_TRUE(manager->splitTableIdentity(table, connection, type, catalog,
                                          schema, name));
  EXPECT_EQ(connection.str() + "," + type.str() + "," + catalog.str() + "," +
                schema.str() + "," + name.str(),
            "DSN=a|b;UID=x\\,ODBC,cat,s|1,cust");
  ASSERT_TRUE(manager->getDatabaseIdentity(connection, type, database));
  ASSERT_TRUE(manager->getDatabaseIdentity("DSN=a|b;UID=x\\", "ODBC", again));
  EXPECT_EQ(database, again);
  EXPECT_FALSE(manager->splitDatabaseIdentity(table, connection, type));
  ASSERT_TRUE(manager->splitDatabaseIdentity(database, connection, type));
  EXPECT_EQ(connection.str(), "DSN=a|b;UID=x\\");

  KvbString file, path;
  ASSERT_TRUE(manager->getFileIdentity("/srv/in.txt", "in.txt", file));
  ASSERT_TRUE(manager->splitFileIdentity(file, path, name));
  EXPECT_EQ(path.str() + "," + name.str(), "/srv/in.txt,in.txt");
  EXPECT_FALSE(manager->getFileIdentity("", "x", file));
  EXPECT_FALSE(manager->getObjectIdentity("ctx", "Rule", "", "", file));

  ASSERT_TRUE(manager->getDatabaseName(" dsn = sales ;UID=x", name));
  EXPECT_EQ(name.str(), "sales");
  EXPECT_FALSE(manager->getDatabaseName("UID=x", name));
  type = "ODBC";
  EXPECT_TRUE(manager->getConnectionType("FILE=a.db;KVXTYPE=SQLITE", type));
  EXPECT_EQ(type.str(), "SQLITE");
  manager->release();
}

TEST(ResourceManagerTest, PathsSplitIntoFolderStemAndName) {
  KvbString folder, stem, name, uri;
  ASSERT_TRUE(getComponentsFromFilesystemPath("C:\\data\\cust.txt", folder,
                                              stem, name));
  EXPECT_EQ(folder.str() + "," + stem.str() + "," + name.str(),
            "C:\\data,cust,cust.txt");
  EXPECT_FALSE(getComponentsFromFilesystemPath("/data/", folder, stem, name));
  ASSERT_TRUE(generateURIReferenceFromFilename("C:\\flows\\a.df", uri));
  EXPECT_EQ(uri.str(), "file:///C:/flows/a.df");
  EXPECT_FALSE(generateURIReferenceFromFilename("a.df", uri));
}

}  // namespace
