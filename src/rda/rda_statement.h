// RDA_StatementBase: the shared part of a prepared statement of either back
// end: the connection's lock, declared parameter types, error texts, and
// handing the statement with its values written in to the connection's DDL
// callback when one is installed. A statement handed to a host holds its
// connection (holdConnection) until it is released; one that the
// connection makes for its own use does not.
#ifndef RDA_RDA_STATEMENT_H_
#define RDA_RDA_STATEMENT_H_

#include <memory>
#include <vector>

#include "rda/rda_impl.h"

class RDA_StatementBase : public ReposDataAccessStatement {
 public:
  void setParameterInfo(int index, int type, int size) override;
  bool setParameter(int index, const KvbDatavar& value) override;
  bool execute() override { return run(nullptr); }
  ReposDataAccessCursor* select() override;
  // The calling thread's last failure on the connection.
  KvbString getErrorMessage() override;
  // Deletes the statement under the connection's lock: the back end may
  // hand its compiled statement back to the connection's cache. Never
  // waits: when another thread holds the lock, that thread deletes it as
  // it lets go.
  void release() override;
  // For a statement handed to a host: holds the connection until release.
  void holdConnection();

  // setParameter of `count` values to the markers from `index` on, with one
  // look at the lock and the script for all of them.
  bool setParameters(int index, const KvbDatavar* values, size_t count);
  // setParameterInfo and setParameter of `count` values to the markers
  // from `index` on, marker index + i taking the QueryParam `param(i)`, with
  // one look at the lock and the script for all of them.
  template <class Param>
  bool setDeclared(int index, size_t count, const Param& param);
  // execute() that also gives the number of rows changed.
  bool run(int64_t* rows);
  // Runs the query and gives column 0 of its first row as an integer,
  // reading the rest to its end so that the statement holds no lock on the
  // database: 1 for a row, 0 for none, -1 on failure.
  int readInt64(int64_t& value);

 protected:
  RDA_StatementBase(RDA_BaseImpl* connection, const KvbString& sql);
  ~RDA_StatementBase() override = default;

  // --- back-end primitives; called with the lock held ---
  // Binds a value; `type` and `size` are the declared ones (0 when none).
  virtual bool bind_INT(int index, const KvbDatavar& value, int type,
                        int size) = 0;
  virtual bool execute_INT(int64_t* rows) = 0;
  virtual ReposDataAccessCursor* select_INT() = 0;
  // readInt64; by default through a cursor of select_INT().
  virtual int readInt64_INT(int64_t& value);
  // True for a statement that only runs into the script, with nothing
  // prepared on the database to bind its values to. A statement prepared
  // on the database binds them also while a DDL callback takes the
  // statements: it reads with them, and its run goes into the script.
  virtual bool scriptOnly() const { return false; }

  // Records a failure on the statement and on its connection.
  bool fail(const KvbString& text);
  // The connection's usable(), with its refusal recorded here too.
  bool usable();
  RDA_BaseImpl* connection() const { return connection_; }
  // The rows of this statement's text with the values given so far, read
  // from the database through a statement prepared there for this one
  // query: a statement made for a script still reads what is stored.
  ReposDataAccessCursor* selectStored();
  // Whether the statement's text is a query ("SELECT ..." or "WITH ..."),
  // which changes nothing.
  bool query() const;

 private:
  RDA_BaseImpl* connection_;
  bool holdsConnection_ = false;
  KvbString sql_;
  std::vector<std::pair<int, int>> declared_;  // type and size per marker
  std::vector<KvbDatavar> scriptValues_;       // values while in a script

  // The rows that this statement, run into the script, would have changed
  // on the database as it is, counted there: an update's or a delete's by
  // its condition, an insert's one. False when they cannot be counted.
  bool rowsInScript(int64_t* rows);
  // Whether the database holds `table` (a name as the statement writes
  // it), in *stored; false when the catalogue cannot be read.
  bool tableStored(const std::string& table, bool* stored);
  // The count that query `count` reads, its markers taking the values
  // given for the script from marker `first` on.
  bool countStored(const std::string& count, size_t first, int64_t* rows);
  // Binds the values given for the script from marker `first` on to
  // `query`'s markers from 0 on, each with its declared type and size.
  bool bindGivenTo(RDA_StatementBase* query, size_t first);
};

template <class Param>
bool RDA_StatementBase::setDeclared(int index, size_t count,
                                    const Param& param) {
  RDA_LockGuard guard(connection_->lock());
  if (!guard) return false;
  if (index < 0) return fail(kvbStringFormat("Bad parameter index %d", index));
  const size_t end = static_cast<size_t>(index) + count;
  if (declared_.size() < end) declared_.resize(end, {0, 0});
  const bool script = connection_->ddlActive();
  if (script && scriptValues_.size() < end) scriptValues_.resize(end);
  for (size_t i = 0; i < count; ++i) {
    const QueryParam& value = param(i);
    const size_t at = static_cast<size_t>(index) + i;
    declared_[at] = {value.type, value.size};
    if (script) scriptValues_[at] = value.value;
    if ((!script || !scriptOnly()) &&
        !bind_INT(static_cast<int>(at), value.value, value.type, value.size))
      return false;
  }
  return true;
}

// A statement made while a DDL callback takes the statements: nothing is
// prepared on the database when it is made (its tables may exist only in
// the script). Run, it goes into the script; a query selected reads the
// database as it is, as the look-ups that decide a write do (a name in
// use, a row that must exist), so that the script holds what the same
// calls would have written without the callback.
class RDA_ScriptStatement : public RDA_StatementBase {
 public:
  RDA_ScriptStatement(RDA_BaseImpl* connection, const KvbString& sql)
      : RDA_StatementBase(connection, sql) {}

 protected:
  bool bind_INT(int, const KvbDatavar&, int, int) override { return refuse(); }
  bool execute_INT(int64_t*) override { return refuse(); }
  // A statement that writes is selected only as it runs: into the script.
  ReposDataAccessCursor* select_INT() override {
    if (query()) return selectStored();
    refuse();
    return nullptr;
  }
  bool scriptOnly() const override { return true; }

 private:
  bool refuse() {
    return fail("A statement made for a DDL script runs only into the script");
  }
};

#endif  // RDA_RDA_STATEMENT_H_
