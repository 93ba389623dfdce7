// Column access shared by every cursor, and database-cursor streaming.
#include "rda/rda_cursor.h"

#include <cstring>

#include "rda/rda_impl.h"

KvbString RDA_CursorBase::getColName(int column) {
  if (column < 0 || column >= getNumCols()) return KvbString();
  return names_[column];
}

KvbString RDA_CursorBase::getString(int column) {
  const KvbDatavar* value = valueAt(column);
  return value && !value->isNull() ? value->asString() : KvbString("");
}

int RDA_CursorBase::getInt(int column) {
  const KvbDatavar* value = valueAt(column);
  return value ? value->asInt() : 0;
}

double RDA_CursorBase::getDouble(int column) {
  const KvbDatavar* value = valueAt(column);
  return value ? value->asDouble() : 0.0;
}

KvbDatavar RDA_CursorBase::getValue(int column) {
  const KvbDatavar* value = valueAt(column);
  return value ? *value : KvbDatavar();
}

bool RDA_CursorBase::isNull(int column) {
  const KvbDatavar* value = valueAt(column);
  return !value || value->isNull();
}

int RDA_CursorBase::getColumnIndex(const KvbString& name) {
  for (size_t i = 0; i < names_.size(); ++i)
    if (names_[i].equals(name, true)) return static_cast<int>(i);
  return -1;
}

RDA_DbCursor::RDA_DbCursor(RDA_BaseImpl* connection)
    : connection_(connection) {
  connection_->hold();
}

// Inline: next() calls it once per row.
inline int RDA_DbCursor::fetch() {
  const int result = fetch_INT();
  loaded_ = values_.empty();
  if (__builtin_expect(result == 2, 0)) fetchFailed();
  return result;
}

void RDA_DbCursor::fetchFailed() {
  connection_->fail(fetchError_INT());
}

void RDA_DbCursor::loadRow() const {
  if (loaded_) return;
  for (size_t c = 0; c < values_.size(); ++c)
    sqliteValueToDatavar(values_[c], row_[c]);
  loaded_ = true;
}

void RDA_DbCursor::keepTexts() {
  size_t total = 0;
  for (const SqliteValue& value : values_)
    if (value.type == kvbTypeString) total += value.length;
  texts_.resize(total);
  char* at = &texts_[0];
  for (SqliteValue& value : values_) {
    if (value.type != kvbTypeString) continue;
    std::memcpy(at, value.text, value.length);
    value.text = at;
    at += value.length;
  }
}

void RDA_DbCursor::handRow(RDA_ValueSink& sink) const {
  if (loaded_) {
    for (const KvbDatavar& value : row_) sink.addValue(value);
    return;
  }
  sink.addRow(values_.data(), values_.size());
}

// A row handed to a sink is not kept, so its texts go to the sink as the
// database holds them, under the lock.
int RDA_DbCursor::nextInto(RDA_ValueSink& sink) {
  if (cachedAll_) {
    const int result = next();
    for (size_t c = 0; result == 1 && c < names_.size(); ++c)
      sink.addValue(cached_.value(*cachedCell(static_cast<int>(c))));
    onRow_ = false;
    return result;
  }
  RDA_LockGuard guard(connection_->lock());
  onRow_ = false;
  if (!guard) return 2;
  const int result = fetch();
  if (result == 1) handRow(sink);
  return result;
}

int RDA_DbCursor::next() {
  if (cachedAll_) {
    onRow_ = cachedNext_ < cached_.rowCount();
    if (!onRow_) {
      cached_.reset(0);  // every row was served
      return 0;
    }
    ++cachedNext_;
    return 1;
  }
  RDA_LockGuard guard(connection_->lock());
  const int result = guard ? fetch() : 2;
  onRow_ = result == 1;
  if (onRow_ && !loaded_ && !valuesStay_) keepTexts();
  return result;
}

// Each row goes from the back end into the compact rows as it is read,
// without a whole value per cell.
bool RDA_DbCursor::cacheAll() {
  if (cachedAll_) return true;
  RDA_LockGuard guard(connection_->lock());
  if (!guard) return false;
  cached_.reset(names_.size());
  int result;
  while ((result = fetch()) == 1) handRow(cached_);
  onRow_ = false;
  if (result != 0) {
    cached_.reset(0);
    return false;
  }
  // The rows are served from cached_ now.
  values_.clear();
  loaded_ = true;
  cachedNext_ = 0;
  cachedAll_ = true;
  return true;
}

// The hold ends after the deletion ran or was handed over; handed-over
// work needs no hold of its own (see RDA_BaseImpl::release).
void RDA_DbCursor::release() {
  RDA_BaseImpl* connection = connection_;
  connection->lock()->runOrDefer([this] { delete this; });
  connection->release();
}

const KvbDatavar* RDA_DbCursor::valueAt(int column) const {
  if (const RDA_CompactRows::Cell* cell = cachedCell(column))
    return &cached_.value(*cell);
  if (!onRow_ || column < 0 || column >= static_cast<int>(row_.size()))
    return nullptr;
  loadRow();
  return &row_[column];
}

// The common kinds are read in place; other kinds and conversions go
// through the value as a whole, as in every cursor.
KvbString RDA_DbCursor::getString(int column) {
  const SqliteValue* value = inPlace(column);
  // A text of the row, made in one step from its bytes.
  if (value && value->type == kvbTypeString)
    return KvbString(value->text, value->length);
  if (const RDA_CompactRows::Cell* cell = cachedCell(column))
    return cached_.getString(*cell);
  return RDA_CursorBase::getString(column);
}

int RDA_DbCursor::getInt(int column) {
  const SqliteValue* value = inPlace(column);
  if (value && value->type == kvbTypeInt)
    return static_cast<int>(value->integer);
  if (const RDA_CompactRows::Cell* cell = cachedCell(column))
    return cached_.getInt(*cell);
  return RDA_CursorBase::getInt(column);
}

double RDA_DbCursor::getDouble(int column) {
  const SqliteValue* value = inPlace(column);
  if (value && value->type == kvbTypeReal) return value->real;
  if (const RDA_CompactRows::Cell* cell = cachedCell(column))
    return cached_.getDouble(*cell);
  return RDA_CursorBase::getDouble(column);
}

bool RDA_DbCursor::isNull(int column) {
  const SqliteValue* value = inPlace(column);
  if (value) return value->type == kvbTypeUnknown;
  if (const RDA_CompactRows::Cell* cell = cachedCell(column)) return cell->null;
  return RDA_CursorBase::isNull(column);
}

int RDA_MemoryCursor::next() {
  if (position_ >= rowCount()) {
    position_ = 0;
    return 0;
  }
  ++position_;
  return 1;
}
