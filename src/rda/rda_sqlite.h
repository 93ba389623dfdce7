// RDA_Sqlite: the repository connection on a SQLite file opened directly
// through kvsqlstore, with its statements (RDA_SqliteStatement) and cursors
// (RDA_SqliteCursor). Tables have no prefix and names are quoted with a
// double quote.
#ifndef RDA_RDA_SQLITE_H_
#define RDA_RDA_SQLITE_H_

#include <utility>
#include <vector>

#include "rda/rda_impl.h"

class SqliteDatabase;

class RDA_Sqlite : public RDA_BaseImpl {
 public:
  // `create` makes the file when it is missing; otherwise it must exist.
  explicit RDA_Sqlite(bool create) : create_(create) {}

  KvbString getIdentifierQuote() override { return ""; }
  bool needsNextIdResync() override { return true; }
  DacConnection* getDacConnection() override { return nullptr; }
  // The indexes go with the table when it is dropped.
  bool dropTableIndexes(const KvbString&) override { return true; }

 protected:
  ~RDA_Sqlite() override;

  bool open_INT(const KvbString& path, KvbString& errorText) override;
  bool exec_INT(const KvbString& sql, int64_t* rows) override;
  RDA_StatementBase* prepare_INT(const KvbString& sql) override;
  bool begin_INT(bool* busy) override;
  bool commit_INT() override;
  bool rollback_INT() override;
  bool tableColumns_INT(const KvbString& physicalName,
                        std::list<TableColumnInfo>& columns) override;
  bool tableNamesLike_INT(const KvbString& pattern,
                          std::vector<KvbString>& names) override;
  bool tableIndexes_INT(const KvbString& physicalName,
                        std::vector<RDA_IndexColumn>& indexes) override;
  KvbString columnType_INT(int type, int size, bool key) override;
  KvbString nameQuote_INT() override { return "\""; }
  bool usesTablePrefix_INT() override { return false; }
  bool failedStatementsUndoThemselves_INT() override { return true; }
  bool transactionLost_INT(bool savepointSet) override;
  bool savepointStatement_INT(const KvbString& sql) override;

 private:
  bool failed();
  // Reads the rows of a catalogue query (see sqlite_catalogue.h) with
  // `name` bound; false, with the reason recorded, when it fails.
  bool catalogue(const char* sql, const KvbString& name,
                 std::vector<std::pair<KvbString, KvbString>>& rows);

  const bool create_;
  SqliteDatabase* db_ = nullptr;
};

#endif  // RDA_RDA_SQLITE_H_
