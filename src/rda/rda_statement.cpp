// The back-end-independent part of prepared statements.
#include "rda/rda_statement.h"

#include <algorithm>

#include "rda/sql_literal.h"

RDA_StatementBase::RDA_StatementBase(RDA_BaseImpl* connection,
                                     const KvbString& sql)
    : connection_(connection), sql_(sql) {}

void RDA_StatementBase::setParameterInfo(int index, int type, int size) {
  if (index < 0) return;
  if (declared_.size() <= static_cast<size_t>(index))
    declared_.resize(index + 1, {0, 0});
  declared_[index] = {type, size};
}

bool RDA_StatementBase::setParameter(int index, const KvbDatavar& value) {
  return setParameters(index, &value, 1);
}

bool RDA_StatementBase::setParameters(int index, const KvbDatavar* values,
                                      size_t count) {
  // One hold for the whole row (a reentry when the caller's transaction or
  // unit of work holds the lock already).
  RDA_LockGuard guard(connection_->lock());
  if (!guard) return false;
  if (index < 0) return fail(kvbStringFormat("Bad parameter index %d", index));
  const size_t end = static_cast<size_t>(index) + count;
  if (connection_->ddlActive()) {
    if (scriptValues_.size() < end) scriptValues_.resize(end);
    std::copy(values, values + count, scriptValues_.begin() + index);
    return true;
  }
  for (size_t at = static_cast<size_t>(index); at < end; ++at) {
    const bool declared = at < declared_.size();
    if (!bind_INT(static_cast<int>(at), values[at - index],
                  declared ? declared_[at].first : 0,
                  declared ? declared_[at].second : 0))
      return false;
  }
  return true;
}

bool RDA_StatementBase::run(int64_t* rows) {
  RDA_LockGuard guard(connection_->lock());
  if (!guard) return false;
  if (connection_->ddlActive()) {
    KvbString text;
    if (!bindLiterals(sql_, scriptValues_, text))
      return fail("The statement's values do not match its markers: " + sql_);
    if (rows) *rows = 1;
    return connection_->divertStatement(text) ||
           fail(connection_->getErrorMessage());
  }
  return usable() && execute_INT(rows);
}

ReposDataAccessCursor* RDA_StatementBase::select() {
  RDA_LockGuard guard(connection_->lock());
  return guard && usable() ? select_INT() : nullptr;
}

int RDA_StatementBase::readInt64(int64_t& value) {
  RDA_LockGuard guard(connection_->lock());
  return guard && usable() ? readInt64_INT(value) : -1;
}

bool RDA_StatementBase::usable() {
  return connection_->usable() || fail(connection_->getErrorMessage());
}

int RDA_StatementBase::readInt64_INT(int64_t& value) {
  ReposDataAccessCursor* cursor = select_INT();
  if (!cursor) return -1;
  const int fetched = cursor->next();
  if (fetched == 1) value = cursor->getValue(0).asInt64();
  int step = fetched;
  while (step == 1) step = cursor->next();
  cursor->release();
  return step == 0 ? fetched : -1;
}

void RDA_StatementBase::holdConnection() {
  connection_->hold();
  holdsConnection_ = true;
}

// The hold ends after the deletion ran or was handed over; handed-over
// work needs no hold of its own (see RDA_BaseImpl::release).
void RDA_StatementBase::release() {
  RDA_BaseImpl* connection = connection_;
  const bool held = holdsConnection_;
  connection->lock()->runOrDefer([this] { delete this; });
  if (held) connection->release();
}

KvbString RDA_StatementBase::getErrorMessage() {
  return connection_->getErrorMessage();
}

bool RDA_StatementBase::fail(const KvbString& text) {
  return connection_->fail(text);
}
