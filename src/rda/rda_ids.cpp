// Id counters (UCURID) and long texts (BIGSTR) of a repository connection.
#include <algorithm>
#include <cstring>

#include "rda/rda_impl.h"
#include "rda/rda_statement.h"
#include "rda/sql_literal.h"

namespace {
const char kLongTextMarker[] = "_~_velMoranRef_%d_~_";
}  // namespace

// While a DDL script is written the counters live in memory, each
// starting from its stored value (none where the repository has no such
// counter, or no counter table yet, as one that the script creates), so
// that the ids that the script hands out follow the repository's own; each
// change goes into the script.
bool RDA_BaseImpl::nextIDsInScript(const KvbString& key, int count,
                                   KvbDatavar& firstId) {
  KvbDatavar name(key);
  auto found = scriptCounters_.find(key);
  bool stored = found != scriptCounters_.end();
  if (!stored) {
    int64_t value = 0;
    if (!storedCounter(name, value, stored)) return false;
    found = scriptCounters_.emplace(key, value).first;
  }
  int64_t& last = found->second;
  last += count;
  firstId = KvbDatavar(static_cast<int>(last - count + 1));
  KvbDatavar value(static_cast<int>(last));
  const KvbString ucurid = getTableName("UCURID", true, -1);
  // Straight into the script: the row that an earlier statement of the
  // script inserted is not on the database to be counted.
  KvbString text, unused;  // an integer and a text always have literals
  if (stored)
    bindLiterals("UPDATE " + ucurid + " SET NI_VAL = ? WHERE NI_KEY = ?",
                 {value, name}, text, unused);
  else
    bindLiterals("INSERT INTO " + ucurid + " (NI_KEY, NI_VAL) VALUES (?, ?)",
                 {name, value}, text, unused);
  return divertStatement(text);
}

bool RDA_BaseImpl::storedCounter(const KvbDatavar& key, int64_t& value,
                                 bool& stored) {
  stored = false;
  bool table = false;
  if (!tableExists(getTableName("UCURID", false, -1), &table)) return false;
  if (!table) return true;
  // A statement of the script reads the database, its marker declared.
  RDA_StatementBase* read = prepareOrScript(counterSql().read);
  if (!read) return false;
  read->setParameterInfo(0, kvbTypeString,
                         declaredTextLength("UCURID", "NI_KEY"));
  const int fetched = read->setParameter(0, key) ? read->readInt64(value) : -1;
  read->release();
  stored = fetched == 1;
  return fetched >= 0;
}

const RDA_BaseImpl::CounterSql& RDA_BaseImpl::counterSql() {
  if (counterSql_.raise.isNull()) {
    const KvbString ucurid = getTableName("UCURID", true, -1);
    counterSql_.raise =
        "UPDATE " + ucurid + " SET NI_VAL = NI_VAL + ? WHERE NI_KEY = ?";
    counterSql_.create = "INSERT INTO " + ucurid +
                         " (NI_KEY, NI_VAL) VALUES (?, ?)" +
                         skipPresentKeyClause_INT();
    counterSql_.read = "SELECT NI_VAL FROM " + ucurid + " WHERE NI_KEY = ?";
  }
  return counterSql_;
}

RDA_StatementBase* RDA_BaseImpl::keptStatement(
    RDA_StatementBase*& kept, const KvbString& sql,
    std::initializer_list<const KvbDatavar*> values) {
  if (!kept) kept = prepare_INT(sql);
  int index = 0;
  for (const KvbDatavar* value : values)
    if (!kept || !kept->setParameter(index++, *value)) return nullptr;
  return kept;
}

// Raises the counter `key` by `count` inside the caller's transaction and
// gives its new value. A missing counter is created with the value `count`.
// Another connection may create it at the same moment (on a server the
// insert waits until the other transaction ends). Where the dialect can
// skip a present key, the insert then changes nothing and no statement
// fails, which matters where the driver rolls the whole transaction back at
// any refused statement; elsewhere the insert fails and only it is rolled
// back, to its savepoint. Either way the counter that now exists is raised.
bool RDA_BaseImpl::drawIDs(const KvbString& key, int count, int64_t& last) {
  const CounterSql& sql = counterSql();
  KvbDatavar name(key);
  KvbDatavar amount(count);
  RDA_StatementBase* raise =
      keptStatement(raiseCounter_, sql.raise, {&amount, &name});
  int64_t rows = 0;
  if (!raise || !raise->run(&rows)) return false;
  if (rows == 0) {
    if (!beginOrUndo(false, nullptr)) return false;
    int inserted = 0;
    const bool ran = paramExec(sql.create, &inserted, 2, &name, &amount);
    if (!endTransaction(ran)) return false;
    if (ran && inserted > 0) {
      last = count;
      return true;
    }
    // The kept raise, its values still bound, now finds the counter.
    if (!raise->run(&rows)) return false;
    if (rows == 0) {
      if (!ran) return false;  // the insert's reason stands
      return fail(kvbStringFormat(
          "The id counter \"%S\" could be neither created nor raised", key));
    }
  }
  RDA_StatementBase* read = keptStatement(readCounter_, sql.read, {&name});
  const int fetched = read ? read->readInt64(last) : -1;
  if (fetched == 0)
    return fail(
        kvb_get_message("rda_ids", __LINE__, "Repository Library", 1053));
  return fetched == 1;
}

// drawIDs in a transaction of its own. Its immediate begin takes the write
// lock of a SQLite database before the counter is read; a server locks the
// counter's row at the update. Either way two connections never get the
// same block.
bool RDA_BaseImpl::drawIDsAlone(const KvbString& key, int count,
                                int64_t& last) {
  bool busy = false;
  if (!beginOrUndo(true, &busy)) return false;
  const bool ok = drawIDs(key, count, last);
  return endTransaction(ok) && ok;
}

bool RDA_BaseImpl::getNextIDs(const KvbString& key, int count,
                              KvbDatavar& firstId, KvbString* errorText) {
  RDA_LockGuard guard(&lock_);
  firstId.setNull(kvbTypeInt);
  if (!guard) {
    if (errorText) *errorText = getErrorMessage();
    return false;
  }
  if (count < 1) count = 1;
  bool ok;
  if (ddlActive()) {
    ok = nextIDsInScript(key, count, firstId);
  } else {
    int64_t last = -1;
    ok = inTransaction() ? drawIDs(key, count, last)  // held until it ends
                         : drawIDsAlone(key, count, last);
    if (ok) firstId = KvbDatavar(static_cast<int>(last - count + 1));
  }
  if (!ok && errorText) *errorText = getErrorMessage();
  return ok;
}

bool RDA_BaseImpl::getNextID(const KvbString& key, KvbDatavar& id) {
  return getNextIDs(key, 1, id, nullptr);
}

// A long text is stored as pieces of at most the inline limit, cut on
// character boundaries. Each piece is a BIGSTR row keyed by its own id; the
// text is known by the id of its first piece, which the marker carries.
bool RDA_BaseImpl::writeLongText(const KvbString& text, KvbString* marker,
                                 int) {
  const size_t limit = static_cast<size_t>(getMaxTextLength());
  if (text.length() <= limit)
    return fail(
        kvbStringFormat("A text of %d bytes fits in a column; it "
                        "needs no long-text marker",
                        static_cast<int>(text.length())));
  // Pieces end before a UTF-8 continuation byte, so that no character is
  // split (a text that is not UTF-8 is cut at the limit).
  std::vector<KvbString> pieces;
  const std::string& bytes = text.str();
  for (size_t at = 0; at < bytes.size();) {
    size_t n = std::min(limit, bytes.size() - at);
    size_t cut = n;
    while (at + cut < bytes.size() && cut > 0 &&
           (static_cast<unsigned char>(bytes[at + cut]) & 0xC0) == 0x80)
      --cut;
    if (cut > 0) n = cut;
    pieces.push_back(text.substr(at, n));
    at += n;
  }
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  KvbDatavar first;
  if (!beginOrUndo(false, nullptr)) return false;
  bool ok =
      getNextIDs("BIGSTR", static_cast<int>(pieces.size()), first, nullptr);
  RDA_StatementBase* insert = ok ? prepareOrScript(kvbStringFormat(
                                       "INSERT INTO %S (BS_REFID, BS_GRPID, "
                                       "BS_SEQ, BS_TEXT) VALUES (?, ?, ?, ?)",
                                       getTableName("BIGSTR", true, -1)))
                                 : nullptr;
  for (size_t i = 0; insert && ok && i < pieces.size(); ++i) {
    ok = insert->setParameter(
             0, KvbDatavar(first.asInt() + static_cast<int>(i))) &&
         insert->setParameter(1, first) &&
         insert->setParameter(2, KvbDatavar(static_cast<int>(i))) &&
         insert->setParameter(3, KvbDatavar(pieces[i])) && insert->run(nullptr);
  }
  if (insert) insert->release();
  ok = endTransaction(ok && insert) && ok && insert;
  if (ok && marker) *marker = kvbStringFormat(kLongTextMarker, first.asInt());
  return ok;
}

bool RDA_BaseImpl::readLongText(const KvbString& text, KvbString* full, int) {
  if (!full) return fail("No place was given for the long text");
  // Only the exact text of a marker that writeLongText writes is a
  // reference: the id it reads must give back the same text, so that
  // leading zeros, signs or an id beyond the int range leave a value as it
  // is. Anything else is a value.
  const size_t head = strlen("_~_velMoranRef_"), tail = strlen("_~_");
  int id = 0;
  if (!text.startsWith("_~_velMoranRef_") || !text.endsWith("_~_") ||
      text.length() <= head + tail ||
      !text.substr(head, text.length() - head - tail).toInt(id) || id <= 0 ||
      text != kvbStringFormat(kLongTextMarker, id)) {
    *full = text;
    return true;
  }
  KvbDatavar group(id);
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  ReposDataAccessCursor* cursor = paramSelect(
      kvbStringFormat("SELECT BS_TEXT FROM %S WHERE BS_GRPID = ? ORDER BY "
                      "BS_SEQ",
                      getTableName("BIGSTR", true, -1)),
      1, &group);
  if (!cursor) return false;
  KvbString whole("");
  int result, pieces = 0;
  while ((result = cursor->next()) == 1) {
    whole.append(cursor->getString(0));
    ++pieces;
  }
  cursor->release();
  if (result != 0) return false;
  if (pieces == 0)
    return fail(kvbStringFormat("The long text %d is missing from BIGSTR", id));
  *full = whole;
  return true;
}
