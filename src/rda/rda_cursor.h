// The shared parts of every cursor: reading the current row by column
// position or name (RDA_CursorBase), and the streaming of a database query
// with its in-memory caching (RDA_DbCursor).
#ifndef RDA_RDA_CURSOR_H_
#define RDA_RDA_CURSOR_H_

#include <memory>
#include <string>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"
#include "rda/rda_compact_rows.h"
#include "rda/rda_lock.h"
#include "reposadmin/repos_data_access.h"

class RDA_BaseImpl;

class RDA_CursorBase : public ReposDataAccessCursor {
 public:
  int getNumCols() override { return static_cast<int>(names_.size()); }
  KvbString getColName(int column) override;
  KvbString getString(int column) override;
  int getInt(int column) override;
  double getDouble(int column) override;
  KvbDatavar getValue(int column) override;
  bool isNull(int column) override;
  int getColumnIndex(const KvbString& name) override;

  // The current row's value of `column` without a copy, valid until the
  // cursor moves or, for rows held in memory, until the next call; null
  // without a current row or for a column out of range.
  const KvbDatavar* currentValue(int column) const { return valueAt(column); }

 protected:
  virtual const KvbDatavar* valueAt(int column) const = 0;

  std::vector<KvbString> names_;
};

// A cursor over the rows of a database query. In fetch_INT the back end
// either fills row_ or points values_ at the row's values where the
// database holds them. A row kept as the current row then has its texts
// copied into one buffer of the cursor, reused from row to row, so that it
// stays readable when its statement runs again, unless nothing else can
// run it (valuesStay_); the common getters read values_ directly and row_
// is filled from it only when a value is asked for whole. next() runs
// under the connection's lock, and a fetch that fails records its reason
// on the connection, which the cursor holds until it is released.
// cacheAll() moves the remaining rows into memory, held compactly as
// listings hold theirs (RDA_CompactRows), after which next() serves them
// from there and gives their memory back once it reaches the end.
class RDA_DbCursor : public RDA_CursorBase {
 public:
  int next() override;
  bool cacheAll() override;
  KvbString getString(int column) override;
  int getInt(int column) override;
  double getDouble(int column) override;
  bool isNull(int column) override;
  // Deletes the cursor under the connection's lock, as the back end's
  // statement may go back to the connection's cache, and ends its hold on
  // the connection; never waits (see RDA_Lock::runOrDefer).
  void release() override;
  // next() that hands the row's values to `sink` instead of keeping them:
  // afterwards the cursor has no current row.
  int nextInto(RDA_ValueSink& sink);

 protected:
  explicit RDA_DbCursor(RDA_BaseImpl* connection);
  // Fetches the next row into row_ or values_ (either sized to the column
  // count; texts of values_ valid until the next fetch): 1 for a row, 0 at
  // the end, 2 on an error.
  virtual int fetch_INT() = 0;
  // The reason of the last fetch that gave 2.
  virtual KvbString fetchError_INT() = 0;

  mutable std::vector<KvbDatavar> row_;
  // The current row's values; empty when the back end fills row_.
  std::vector<SqliteValue> values_;
  // Set by fetch_INT when the texts of values_ stay valid until the next
  // fetch whatever else runs on the connection (nothing else can run the
  // cursor's statement again), so that the current row needs no copy.
  bool valuesStay_ = false;

 private:
  const KvbDatavar* valueAt(int column) const override;
  // The current row's value of `column` in place; null when there is none
  // or row_ holds the row.
  const SqliteValue* inPlace(int column) const {
    return onRow_ && column >= 0 && static_cast<size_t>(column) < values_.size()
               ? &values_[column]
               : nullptr;
  }
  // Fills row_ from values_ once per row.
  void loadRow() const;
  // Copies the texts of values_ into texts_ and points values_ there.
  void keepTexts();
  // fetch_INT, with a failure recorded on the connection.
  int fetch();
  // Records the reason of a fetch that gave 2 on the connection.
  void fetchFailed();
  // Hands the current row's values to a sink.
  void handRow(RDA_ValueSink& sink) const;
  // The current row's cell of `column` once the rows are served from
  // memory; null before, without a current row or for a column out of
  // range.
  const RDA_CompactRows::Cell* cachedCell(int column) const {
    return cachedAll_ && onRow_ && column >= 0 &&
                   static_cast<size_t>(column) < names_.size()
               ? &cached_.cell(cachedNext_ - 1, column)
               : nullptr;
  }

  RDA_BaseImpl* connection_;
  std::string texts_;
  // The rows that cacheAll() read, and the one that next() serves next.
  RDA_CompactRows cached_;
  size_t cachedNext_ = 0;
  bool cachedAll_ = false;
  bool onRow_ = false;
  mutable bool loaded_ = true;  // row_ holds the current row
};

// A cursor whose rows are held in memory: next() yields 1 per row, 0 at the
// end, and then starts again at the first row. A subclass keeps the rows
// and answers rowCount and valueAt.
class RDA_MemoryCursor : public RDA_CursorBase {
 public:
  int next() override;
  bool cacheAll() override { return true; }
  void release() override { delete this; }

 protected:
  bool inRange(int column) const {
    return column >= 0 && column < static_cast<int>(names_.size());
  }
  virtual size_t rowCount() const = 0;

  size_t position_ = 0;  // 1 + the current row; 0 before the first
};

#endif  // RDA_RDA_CURSOR_H_
