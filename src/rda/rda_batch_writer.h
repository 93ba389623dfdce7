// RDA_BatchWriter: writes rows into one table through multi-row INSERTs,
// many rows to one prepared statement, for the bulk loader and the
// repository copy. On a server one statement of many rows costs little more
// than one of a single row, so a load sends a fraction of the round trips.
//
// The caller fills the values of each row in place (row()) and hands the
// row over (addRow()); every full batch goes out through one statement that
// is prepared for the first and kept for the rest, and flush() writes the
// rows that wait through a statement prepared for their number. The writer
// neither begins nor ends a transaction: the caller's transaction holds the
// batches together.
#ifndef RDA_RDA_BATCH_WRITER_H_
#define RDA_RDA_BATCH_WRITER_H_

#include <functional>
#include <utility>
#include <vector>

#include "kvbase/kvbase.h"

class RDA_StatementBase;

class RDA_BatchWriter {
 public:
  // Prepares the INSERT of one batch; null on failure, with *reason set.
  using Prepare = std::function<RDA_StatementBase*(const KvbString& sql,
                                                   KvbString* reason)>;

  // `head` is the INSERT up to its VALUES ("INSERT INTO t (a, b) VALUES "),
  // for `columns` values a row. A batch holds `rows` rows, or fewer where
  // that many would carry more than `maxMarkers` markers, and at least one.
  // `declared`, when not empty, gives the type and size of each column's
  // marker (see ReposDataAccessStatement::setParameterInfo).
  RDA_BatchWriter(const KvbString& head, size_t columns, size_t rows,
                  size_t maxMarkers, Prepare prepare,
                  std::vector<std::pair<int, int>> declared = {});
  ~RDA_BatchWriter();
  RDA_BatchWriter(const RDA_BatchWriter&) = delete;
  RDA_BatchWriter& operator=(const RDA_BatchWriter&) = delete;

  size_t columns() const { return columns_; }
  // The values of the row being added, columns() of them; each is to be
  // set before addRow(), as the slots keep the values of an earlier batch.
  KvbDatavar* row() { return &values_[waiting_ * columns_]; }
  // Takes the row filled through row(), and writes the batch when it is
  // full. False when writing failed: the batch's rows are dropped.
  bool addRow();
  // Writes the rows that wait; true when there are none.
  bool flush();
  // The reason of the last failure.
  const KvbString& errorText() const { return error_; }
  // The values of the batch that was written last, row after row, columns()
  // a row, and in *rows their number: after a failed write, the rows it
  // failed on.
  const KvbDatavar* lastBatch(size_t* rows) const {
    *rows = written_;
    return values_.data();
  }

 private:
  bool write(size_t rows);
  RDA_StatementBase* prepared(size_t rows);

  KvbString head_;
  size_t columns_;
  size_t batch_;  // rows to a full batch
  Prepare prepare_;
  std::vector<std::pair<int, int>> declared_;
  std::vector<KvbDatavar> values_;  // one full batch, row after row
  size_t waiting_ = 0;              // rows in values_ not yet written
  size_t written_ = 0;              // rows of the batch written last
  RDA_StatementBase* full_ = nullptr;
  KvbString error_;
};

#endif  // RDA_RDA_BATCH_WRITER_H_
