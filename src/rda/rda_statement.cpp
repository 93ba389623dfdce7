// The back-end-independent part of prepared statements.
#include "rda/rda_statement.h"

#include <algorithm>
#include <cctype>
#include <string>

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
    if (scriptOnly()) return true;
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
    // A query run for its rows (a row held for a check) reads the
    // database, as the checks do, and changes nothing for the script.
    if (query()) {
      RDA_StatementBase* read = connection_->prepareQuery(sql_);
      const bool ran = read && bindGivenTo(read, 0) && read->execute_INT(rows);
      if (read) read->release();
      return ran;
    }
    KvbString text, error;
    if (!bindLiterals(sql_, scriptValues_, text, error)) return fail(error);
    if (rows && !rowsInScript(rows)) return false;
    // A statement that would change no row is none of the script's.
    if (rows && *rows == 0) return true;
    return connection_->divertStatement(text) ||
           fail(connection_->getErrorMessage());
  }
  if (!usable() || !execute_INT(rows)) return false;
  connection_->wrote();
  return true;
}

namespace {
// The position of `word` (upper case, between spaces) in `sql` from `from`
// on, whatever the case of its letters; npos when it is not there.
size_t findWord(const std::string& sql, const char* word, size_t from) {
  const size_t length = std::char_traits<char>::length(word);
  for (size_t at = from; at + length <= sql.size(); ++at) {
    size_t i = 0;
    while (i < length &&
           std::toupper(static_cast<unsigned char>(sql[at + i])) == word[i])
      ++i;
    if (i == length) return at;
  }
  return std::string::npos;
}
}  // namespace

bool RDA_StatementBase::query() const {
  const std::string sql = sql_.str();
  return findWord(sql, "SELECT ", 0) == 0 || findWord(sql, "WITH ", 0) == 0;
}

// "UPDATE <table> SET ... [WHERE <condition>]" and "DELETE FROM <table>
// [WHERE <condition>]" change the rows of "SELECT COUNT(*) FROM <table>
// [WHERE <condition>]", whose markers are the statement's last ones;
// "INSERT INTO <table> (...) SELECT ..." inserts the rows of its query.
// Any other statement (an insert of one row) counts as one row.
bool RDA_StatementBase::rowsInScript(int64_t* rows) {
  *rows = 1;
  const std::string sql = sql_.str();
  size_t table, tableEnd;
  if (findWord(sql, "INSERT INTO ", 0) == 0) {
    const size_t select = findWord(sql, " SELECT ", 0);
    if (select == std::string::npos) return true;
    const size_t into = findWord(sql, " ", 12);
    bool stored = false;
    if (!tableStored(sql.substr(12, into - 12), &stored)) return false;
    if (!stored) return true;
    const size_t first =
        static_cast<size_t>(std::count(sql.begin(), sql.begin() + select, '?'));
    return countStored(
        "SELECT COUNT(*) FROM (" + sql.substr(select + 1) + ") inserted", first,
        rows);
  }
  if (findWord(sql, "UPDATE ", 0) == 0) {
    table = 7;
    tableEnd = findWord(sql, " SET ", table);
  } else if (findWord(sql, "DELETE FROM ", 0) == 0) {
    table = 12;
    tableEnd = findWord(sql, " WHERE ", table);
    if (tableEnd == std::string::npos) tableEnd = sql.size();
  } else {
    return true;
  }
  if (tableEnd == std::string::npos) return true;
  bool stored = false;
  if (!tableStored(sql.substr(table, tableEnd - table), &stored)) return false;
  if (!stored) return true;
  const size_t where = findWord(sql, " WHERE ", tableEnd);
  const size_t first = static_cast<size_t>(std::count(
      sql.begin(),
      sql.begin() + (where == std::string::npos ? sql.size() : where), '?'));
  std::string count =
      "SELECT COUNT(*) FROM " + sql.substr(table, tableEnd - table);
  if (where != std::string::npos) count += sql.substr(where);
  return countStored(count, first, rows);
}

// A table that the database does not hold is one that the script makes:
// its rows are the script's, which the statements count as one each.
bool RDA_StatementBase::tableStored(const std::string& table, bool* stored) {
  return connection_->tableOnDatabase(table.c_str(), stored);
}

bool RDA_StatementBase::countStored(const std::string& count, size_t first,
                                    int64_t* rows) {
  RDA_StatementBase* query = connection_->prepareQuery(count.c_str());
  if (!query) return false;
  const bool read =
      bindGivenTo(query, first) && query->readInt64_INT(*rows) == 1;
  query->release();
  return read;
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

bool RDA_StatementBase::bindGivenTo(RDA_StatementBase* query, size_t first) {
  for (size_t at = first; at < scriptValues_.size(); ++at) {
    const bool declared = at < declared_.size();
    if (!query->bind_INT(static_cast<int>(at - first), scriptValues_[at],
                         declared ? declared_[at].first : 0,
                         declared ? declared_[at].second : 0))
      return false;
  }
  return true;
}

// The query's statement goes once its rows are taken, as after any
// select that runs once (boundSelect).
ReposDataAccessCursor* RDA_StatementBase::selectStored() {
  RDA_StatementBase* query = connection_->prepareQuery(sql_);
  if (!query) return nullptr;
  ReposDataAccessCursor* cursor =
      bindGivenTo(query, 0) ? query->select_INT() : nullptr;
  query->release();
  return cursor;
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
