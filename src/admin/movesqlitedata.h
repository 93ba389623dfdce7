// Readers of the tables of an old file-based profile repository. Profile
// repositories of older releases were single SQLite files whose table and
// column names changed from release to release; a reader fills one table of
// the current schema from such a file, by a query that depends on the old
// file's version (a real number such as 1.4 or 1.9).
#ifndef ADMIN_MOVESQLITEDATA_H_
#define ADMIN_MOVESQLITEDATA_H_

#include <memory>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"
#include "reposadmin/repository_status_callback.h"

class TableRead {
 public:
  // How a reader makes its rows: copied from its query, or one row made up
  // for a table that the old version did not have.
  enum class Rows { kCopied, kMadeUpReport, kMadeUpJob };

  // `select` is the query that the rows come from; empty for made-up rows.
  // With `swapFilterTexts` a table row without a name has its filter
  // expression and filter SQL swapped (older versions kept them the other
  // way round for SQL tables).
  TableRead(const KvbString& select, Rows rows, bool swapFilterTexts);
  ~TableRead();
  TableRead(const TableRead&) = delete;
  TableRead& operator=(const TableRead&) = delete;

  // Opens the query on the old file (handing its text to the status
  // callback first) and keeps the target's insert, whose markers stand for
  // `targetColumns` columns. False, with the old file's error text handed
  // to the callback, when the query cannot be opened.
  bool init(SqliteDatabase* source, SqliteStatement* target, int targetColumns,
            RepositoryStatusCallback* status);
  // Inserts the next row: false at the end of the rows, and with *failed
  // set when a row could not be read or written.
  bool copyNextRow(bool* failed);
  // Why the last row could not be read or written: the database's text.
  const KvbString& reason() const { return reason_; }

 private:
  bool copyRow();
  bool copyColumn(int targetIndex, int sourceIndex);

  KvbString select_;
  Rows rows_;
  bool swapFilterTexts_;
  SqliteStatement* target_ = nullptr;  // borrowed
  SqliteResult* result_ = nullptr;     // owned
  int targetColumns_ = 0;
  int rowsMade_ = 0;
  KvbString reason_;
};

// The reader that fills the table of `tableCode` (compared without regard
// to case) from an old file of `version`; null when the table is not copied
// (the old version did not have it, or the new repository fills it
// itself). `columns` lists the target table's columns for the readers that
// select them by their current names.
std::unique_ptr<TableRead> createTableReader(
    const KvbString& tableCode, double version,
    const std::vector<KvbString>& columns);

// The reader of one old per-field frequency table (`oldName`, "frqdist"
// and the field id) or, before version 1.9, of one field's rows in the
// shared old table.
std::unique_ptr<TableRead> createFrequencyReader(const KvbString& oldName,
                                                 int fieldId, double version);

#endif  // ADMIN_MOVESQLITEDATA_H_
