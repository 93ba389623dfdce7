// Column access shared by every cursor, and database-cursor streaming.
#include "rda/rda_cursor.h"

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

int RDA_DbCursor::recorded(int result) {
  if (result == 2 && *connection_) (*connection_)->fail(fetchError_INT());
  return result;
}

int RDA_DbCursor::fetch() { return recorded(fetch_INT()); }

void RDA_DbCursor::handRow(RDA_ValueSink& sink) const {
  for (const KvbDatavar& value : row_) sink.addValue(value);
}

int RDA_DbCursor::fetchInto_INT(RDA_ValueSink& sink) {
  const int result = fetch_INT();
  if (result == 1) handRow(sink);
  return result;
}

int RDA_DbCursor::nextInto(RDA_ValueSink& sink) {
  if (cachedAll_) {
    const int result = next();
    if (result == 1) handRow(sink);
    onRow_ = false;
    return result;
  }
  RDA_LockGuard guard(lock_);
  onRow_ = false;
  return recorded(fetchInto_INT(sink));
}

int RDA_DbCursor::next() {
  if (cachedAll_) {
    onRow_ = !cached_.empty();
    if (!onRow_) return 0;
    row_.swap(cached_.front());
    cached_.pop_front();
    return 1;
  }
  RDA_LockGuard guard(lock_);
  int result = fetch();
  onRow_ = result == 1;
  return result;
}

bool RDA_DbCursor::cacheAll() {
  if (cachedAll_) return true;
  RDA_LockGuard guard(lock_);
  int result;
  while ((result = fetch()) == 1) cached_.push_back(row_);
  onRow_ = false;
  if (result != 0) {
    cached_.clear();
    return false;
  }
  cachedAll_ = true;
  return true;
}

void RDA_DbCursor::release() {
  const std::shared_ptr<RDA_Lock> lock = lock_;  // outlives the cursor
  RDA_LockGuard guard(lock);
  delete this;
}

const KvbDatavar* RDA_DbCursor::valueAt(int column) const {
  if (!onRow_ || column < 0 || column >= static_cast<int>(row_.size()))
    return nullptr;
  return &row_[column];
}

int RDA_MemoryCursor::next() {
  if (position_ >= rowCount()) {
    position_ = 0;
    return 0;
  }
  ++position_;
  return 1;
}

const KvbDatavar* RDA_MemoryCursor::valueAt(int column) const {
  return position_ > 0 && inRange(column)
             ? &values_[(position_ - 1) * names_.size() + column]
             : nullptr;
}
