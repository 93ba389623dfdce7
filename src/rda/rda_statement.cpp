// The back-end-independent part of prepared statements.
#include "rda/rda_statement.h"

#include "rda/sql_literal.h"

RDA_StatementBase::RDA_StatementBase(RDA_BaseImpl* connection,
                                     const KvbString& sql)
    : connection_(connection), lock_(connection->lock()), sql_(sql) {}

void RDA_StatementBase::setParameterInfo(int index, int type, int size) {
  if (index < 0) return;
  if (declared_.size() <= static_cast<size_t>(index))
    declared_.resize(index + 1, {0, 0});
  declared_[index] = {type, size};
}

bool RDA_StatementBase::setParameter(int index, const KvbDatavar& value) {
  // Values are bound one by one, mostly inside a transaction or a unit of
  // work that holds the lock already: only a caller without it takes it.
  RDA_LockGuard guard(lock_->heldByCaller() ? nullptr : lock_.get());
  if (index < 0) return fail(kvbStringFormat("Bad parameter index %d", index));
  if (connection_->ddlActive()) {
    if (scriptValues_.size() <= static_cast<size_t>(index))
      scriptValues_.resize(index + 1);
    scriptValues_[index] = value;
    return true;
  }
  const bool declared = static_cast<size_t>(index) < declared_.size();
  return bind_INT(index, value, declared ? declared_[index].first : 0,
                  declared ? declared_[index].second : 0);
}

bool RDA_StatementBase::run(int64_t* rows) {
  RDA_LockGuard guard(lock_);
  if (connection_->ddlActive()) {
    KvbString text;
    if (!bindLiterals(sql_, scriptValues_, text))
      return fail("The statement's values do not match its markers: " + sql_);
    if (rows) *rows = 1;
    return connection_->divertStatement(text) ||
           fail(connection_->getErrorMessage());
  }
  return execute_INT(rows);
}

ReposDataAccessCursor* RDA_StatementBase::select() {
  RDA_LockGuard guard(lock_);
  return select_INT();
}

void RDA_StatementBase::release() {
  const std::shared_ptr<RDA_Lock> lock = lock_;  // outlives the statement
  RDA_LockGuard guard(lock);
  delete this;
}

KvbString RDA_StatementBase::getErrorMessage() {
  RDA_LockGuard guard(lock_);
  return error_.isNull() ? connection_->getErrorMessage() : error_;
}

bool RDA_StatementBase::fail(const KvbString& text) {
  error_ = text;
  return connection_->fail(text);
}
