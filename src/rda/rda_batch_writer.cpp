// The multi-row INSERT writer shared by the bulk loader and the repository
// copy.
#include "rda/rda_batch_writer.h"

#include <algorithm>

#include "rda/rda_statement.h"

RDA_BatchWriter::RDA_BatchWriter(const KvbString& head, size_t columns,
                                 size_t rows, size_t maxMarkers,
                                 Prepare prepare,
                                 std::vector<std::pair<int, int>> declared)
    : head_(head),
      columns_(columns),
      batch_(std::max<size_t>(
          1, std::min(rows, maxMarkers / std::max<size_t>(columns, 1)))),
      prepare_(std::move(prepare)),
      declared_(std::move(declared)),
      values_(batch_ * columns) {}

RDA_BatchWriter::~RDA_BatchWriter() {
  if (full_) full_->release();
}

bool RDA_BatchWriter::addRow() { return ++waiting_ < batch_ || write(batch_); }

bool RDA_BatchWriter::flush() { return waiting_ == 0 || write(waiting_); }

// Writes the first `rows` rows of values_: a full batch through the kept
// statement, a shorter one through a statement of its own.
bool RDA_BatchWriter::write(size_t rows) {
  waiting_ = 0;
  written_ = rows;
  RDA_StatementBase* statement =
      rows == batch_ && full_ ? full_ : prepared(rows);
  if (!statement) return false;
  if (rows == batch_) full_ = statement;
  const bool ok =
      statement->setParameters(0, values_.data(), rows * columns_) &&
      statement->run(nullptr);
  if (!ok) error_ = statement->getErrorMessage();
  if (statement != full_) statement->release();
  return ok;
}

// A new statement for `rows` rows, with the declared types of its markers.
RDA_StatementBase* RDA_BatchWriter::prepared(size_t rows) {
  KvbString row("(");
  for (size_t c = 0; c < columns_; ++c) row.append(c ? ", ?" : "?");
  row.append(')');
  KvbString sql(head_);
  for (size_t r = 0; r < rows; ++r) sql.append(r ? ", " : "").append(row);
  RDA_StatementBase* statement = prepare_(sql, &error_);
  if (!statement || declared_.empty()) return statement;
  for (size_t i = 0; i < rows * columns_; ++i) {
    const std::pair<int, int>& marker = declared_[i % columns_];
    statement->setParameterInfo(static_cast<int>(i), marker.first,
                                marker.second);
  }
  return statement;
}
