// The data-access object of NCOA processing records: current parties, PAF
// records and their party snapshots with their histories, and executions
// with their statistics.
#include "ncoa/ncoa_rdaimpl.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "rda/rda_cursor.h"
#include "rda/repos_data_cursor.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"

namespace {

const char kSourceFile[] = "ncoa_rdaimpl";

// Execution column keys 0 to 3 are NCOAEX's own columns; the statistics,
// stored as NCOAED rows, follow.
constexpr size_t kFirstStatistic = 4;

KvbDatavar now() { return KvbDatavar(KvbDate::currentDate()); }

// The columns of an update or an add: a text is given when not null, a
// date when not null, an integer when not -1.
SqlField text(const char* name, const KvbString& value) {
  return {name, value, Given::kNotNull};
}
SqlField number(const char* name, int value) {
  return {name, value, Given::kNotMinusOne};
}
SqlField date(const char* name, const KvbDate& value) {
  return {name, value, Given::kNotNull};
}
// A 0/1 flag: any value below 0 is stored as 0, any above 1 as 1.
SqlField flag(const char* name, int value) {
  SqlField field(name, value, Given::kNotMinusOne);
  field.param.value = KvbDatavar(std::min(std::max(value, 0), 1));
  return field;
}
// The SQL of a copied 0/1 flag: 1 for any value but 0 and NULL.
const char kCopiedFlag[] = "CASE WHEN %s<>0 THEN 1 ELSE 0 END";

// The columns that a list owner and its snapshots share, in table order,
// followed by `more`.
SqlFields listOwnerColumns(const KvbString& busName, const KvbString& address,
                           const KvbString& city, const KvbString& state,
                           const KvbString& zip, const KvbString& telNo,
                           const KvbString& naics, const KvbString& mailerId,
                           const KvbString& email, const KvbString& parentName,
                           const KvbString& marketingName,
                           const KvbString& custom1, const KvbString& custom2,
                           const KvbString& custom3, const KvbString& website,
                           int coopDb, const KvbString& signName,
                           const KvbString& signTitle, const KvbDate& signDate,
                           std::initializer_list<SqlField> more = {}) {
  SqlFields columns = {text("BUSNAME", busName),
                       text("ADDR", address),
                       text("CITY", city),
                       text("STATE", state),
                       text("ZIP", zip),
                       text("TELNO", telNo),
                       text("MAILID", mailerId),
                       text("EMAIL", email),
                       text("PARNAME", parentName),
                       text("MKTGNM", marketingName),
                       text("NAICS", naics),
                       text("CUSTM1", custom1),
                       text("CUSTM2", custom2),
                       text("CUSTM3", custom3),
                       text("WEBSITE", website),
                       flag("COOPDB", coopDb),
                       text("SIGNNM", signName),
                       text("SIGNTITL", signTitle),
                       date("SIGNDATE", signDate)};
  columns.insert(columns.end(), more);
  return columns;
}

// The columns that a licensee and its snapshots share, in table order,
// followed by `more`.
SqlFields licenseeColumns(const KvbString& ncoaId, const KvbString& busName,
                          const KvbString& telNo, const KvbString& tin,
                          int licenseeType, const KvbString& email,
                          const KvbString& fax, const KvbString& custom1,
                          const KvbString& custom2, const KvbString& custom3,
                          const KvbString& signName, const KvbString& signTitle,
                          const KvbDate& signDate,
                          std::initializer_list<SqlField> more = {}) {
  SqlFields columns = {text("NCOAID", ncoaId),
                       text("BUSNAME", busName),
                       text("TELNO", telNo),
                       text("TIN", tin),
                       number("LTYPE", licenseeType),
                       text("EMAIL", email),
                       text("FAX", fax),
                       text("CUSTM1", custom1),
                       text("CUSTM2", custom2),
                       text("CUSTM3", custom3),
                       text("SIGNNM", signName),
                       text("SIGNTITL", signTitle),
                       date("SIGNDATE", signDate)};
  columns.insert(columns.end(), more);
  return columns;
}

// The columns that a broker and its snapshots share, in table order,
// followed by `more`.
SqlFields brokerColumns(const KvbString& busName, const KvbString& address,
                        const KvbString& city, const KvbString& state,
                        const KvbString& zip, const KvbString& telNo,
                        const KvbString& fax, const KvbString& email,
                        const KvbString& naics, const KvbString& custom1,
                        const KvbString& custom2, const KvbString& custom3,
                        int brokerType, const KvbString& signName,
                        const KvbString& signTitle, const KvbDate& signDate,
                        std::initializer_list<SqlField> more = {}) {
  SqlFields columns = {text("BUSNAME", busName),
                       text("ADDR", address),
                       text("CITY", city),
                       text("STATE", state),
                       text("ZIP", zip),
                       text("TELNO", telNo),
                       text("FAX", fax),
                       text("EMAIL", email),
                       text("NAICS", naics),
                       number("BRTYPE", brokerType),
                       text("CUSTM1", custom1),
                       text("CUSTM2", custom2),
                       text("CUSTM3", custom3),
                       text("SIGNNM", signName),
                       text("SIGNTITL", signTitle),
                       date("SIGNDATE", signDate)};
  columns.insert(columns.end(), more);
  return columns;
}

// The first column of a built-in table: its key.
const char* keyColumn(const char* code) {
  return findTableColumnDefs(code)->columnName;
}

// Hands a new id to the caller's out argument when it gives one and the
// work succeeded.
bool handOut(bool ok, int id, int* newId) {
  if (ok && newId) *newId = id;
  return ok;
}

// Characters of a UTF-8 text: its bytes less the continuation bytes.
size_t characters(const KvbDatavar& value) {
  const char* text = value.textData();
  size_t n = 0;
  for (size_t i = 0; i < value.textLength(); ++i)
    n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return n;
}

// Gives `value` the type of its column; a value that does not convert is
// kept as it is.
void convert(KvbDatavar& value, int type) {
  if (value.getType() != type) value.convertTo(type);
}

KvbDatavar typed(KvbDatavar value, int type) {
  convert(value, type);
  return value;
}

// Pivots the statistics of the execution listing (RUN_ID, SEQ_ID, DVALUE,
// in the order of the runs) into one result row per execution as the
// database cursor reads them, without a copy of each value in between. The
// first statistic of a run opens its result row with the four columns of
// the execution, which `executions` gives in the same order (RUN_ID,
// PAF_ID, GRP_ID, EX_DATE); every statistic goes into the column of its
// sequence number. A run that `executions` lacks is left out.
class ExecutionPivot final : public RDA_ValueSink {
 public:
  ExecutionPivot(ReposDataCursor& result, ReposDataAccessCursor& executions,
                 std::vector<int> types)
      : result_(result), executions_(executions), types_(std::move(types)) {}

  void addRow(const SqliteValue* values, size_t count) override {
    for (size_t c = 0; c < count; ++c) {
      sqliteValueToDatavar(values[c], value_);
      put();
    }
  }
  void addValue(const KvbDatavar& value) override {
    value_ = value;
    put();
  }

 private:
  // Takes value_ as the next column of the statistic's row.
  void put() {
    const int column = column_;
    column_ = (column_ + 1) % 3;
    if (column == 0) {
      const int run = value_.asInt();
      if (!started_ || run != current_) openRun(run);
      started_ = true;
      current_ = run;
    } else if (column == 1) {
      statistic_ = value_.asInt() + static_cast<int>(kFirstStatistic);
    } else if (row_ && statistic_ >= static_cast<int>(kFirstStatistic) &&
               statistic_ < static_cast<int>(types_.size())) {
      convert(value_, types_[statistic_]);
      (*row_)[statistic_] = value_;
    }
  }
  // Opens the row of `run` from its execution, or none without one.
  void openRun(int run) {
    row_ = nullptr;
    while (!executionRead_ || executionRun_ < run) {
      if (executions_.next() != 1) return;
      executionRead_ = true;
      executionRun_ = executions_.getInt(0);
    }
    if (executionRun_ != run) return;
    row_ = &result_.addRow();
    for (size_t key = 0; key < kFirstStatistic; ++key) {
      KvbDatavar& value = (*row_)[key] =
          executions_.getValue(static_cast<int>(key));
      convert(value, types_[key]);
    }
  }

  ReposDataCursor& result_;
  ReposDataAccessCursor& executions_;
  const std::vector<int> types_;
  KvbDatavar value_;  // reused, so that a text keeps its storage
  std::vector<KvbDatavar>* row_ = nullptr;  // the current run's row, if any
  int column_ = 0;
  bool started_ = false, executionRead_ = false;
  int current_ = 0, statistic_ = 0, executionRun_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Shared steps

bool NCOARDAImpl::namedRowsExist(std::initializer_list<NamedRow> rows) {
  for (const NamedRow& row : rows)
    if (row.id != -1 &&
        !objectExists({row.code, keyColumn(row.code), row.id, row.kind}))
      return false;
  return true;
}

bool NCOARDAImpl::addRow(const char* code, const char* history,
                         SqlFields columns, int* newId,
                         std::initializer_list<NamedRow> named) {
  if (!ready()) return false;
  int id = -1;
  // The history id is drawn first, in the same unit as the row.
  const bool ok = addInOneStep([&] {
    if (!namedRowsExist(named)) return false;
    if (history) {
      int historyId = -1;
      if (!nextId(history, historyId)) return false;
      columns.push_back({"HISTID", historyId});
    }
    id = addNumbered(code, code, keyColumn(code), columns);
    return id != -1;
  });
  return handOut(ok, id, newId);
}

bool NCOARDAImpl::copyRow(const char* code, int key,
                          const std::vector<CopiedColumn>& changed,
                          int* newId) {
  if (!ready()) return false;
  // INSERT INTO t (KEY, A, CRDATE, ...) SELECT ?, A, ?, ... FROM t WHERE
  // KEY=?: the new key, the columns as they are, CRDATE now. The casts give
  // the markers a type on every database.
  const ReposColumnDef* defs = findTableColumnDefs(code);
  KvbString names, expressions;
  for (const ReposColumnDef* def = defs; !isEndRecord(*def); ++def) {
    KvbString expression = def->columnName;
    if (def == defs) expression = "CAST(? AS INTEGER)";
    if (std::strcmp(def->columnName, "CRDATE") == 0)
      expression = "CAST(? AS DOUBLE PRECISION)";
    for (const CopiedColumn& column : changed)
      if (std::strcmp(def->columnName, column.first) == 0)
        expression = kvbStringFormat(column.second, column.first);
    names.append(def == defs ? "" : ", ").append(def->columnName);
    expressions.append(def == defs ? "" : ", ").append(expression);
  }
  int id = -1;
  const bool ok = transaction([&] {
    int rows = 0;
    return nextId(code, id) &&
           run("INSERT INTO " + table(code) + " (" + names + ") SELECT " +
                   expressions + " FROM " + table(code) + " WHERE " +
                   keyColumn(code) + "=?",
               {id, now(), key}, &rows) &&
           (rows > 0 || failQuietly(kvbStringFormat("No %s row has the key %d",
                                                    code, key)));
  });
  return handOut(ok, id, newId);
}

bool NCOARDAImpl::updateRow(const char* code, int key, const SqlFields& columns,
                            bool stamp, std::initializer_list<NamedRow> named) {
  int written = -1;
  const auto write = [&] {
    written = updateGiven(
        code, keyColumn(code), key, columns,
        {{"MODDATE", stamp ? now() : KvbDatavar(), Given::kNotNull}});
    return written >= 0;
  };
  if (named.size() == 0)
    write();
  else if (!transaction([&] { return namedRowsExist(named) && write(); }))
    return false;
  switch (written) {
    case 1:
      return true;
    case 0:
      return fail(kvbStringFormat("No column of %s row %d is given to write",
                                  code, key));
    default:
      return false;
  }
}

bool NCOARDAImpl::deleteRow(const char* code, int key) {
  if (!ready()) return false;
  return run("DELETE FROM " + table(code) + " WHERE " + keyColumn(code) + "=?",
             {key});
}

ReposDataAccessCursor* NCOARDAImpl::listSnapshots(const char* code, int key,
                                                  int pafId, int historyId) {
  const KvbString order = " ORDER BY " + KvbString(keyColumn(code)) + " DESC";
  return listGiven(code,
                   {number("PAF_ID", pafId), number("HISTID", historyId),
                    number(keyColumn(code), key)},
                   order.asCstr());
}

// ---------------------------------------------------------------------------
// Current parties

bool NCOARDAImpl::addListOwner(
    const KvbString& busName, const KvbString& address, const KvbString& city,
    const KvbString& state, const KvbString& zip, const KvbString& telNo,
    const KvbString& naics, const KvbString& mailerId, const KvbString& email,
    const KvbString& parentName, const KvbString& marketingName,
    const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, const KvbString& website, int coopDb,
    const KvbString& signName, const KvbString& signTitle,
    const KvbDate& signDate, int* newId) {
  return addRow(
      "NCOALO", nullptr,
      listOwnerColumns(busName, address, city, state, zip, telNo, naics,
                       mailerId, email, parentName, marketingName, custom1,
                       custom2, custom3, website, coopDb, signName, signTitle,
                       signDate, {{"MODDATE", now()}}),
      newId);
}

bool NCOARDAImpl::addLicensee(
    const KvbString& ncoaId, const KvbString& busName, const KvbString& telNo,
    const KvbString& tin, int licenseeType, const KvbString& email,
    const KvbString& fax, const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate, int* newId) {
  return addRow("NCOALI", nullptr,
                licenseeColumns(ncoaId, busName, telNo, tin, licenseeType,
                                email, fax, custom1, custom2, custom3, signName,
                                signTitle, signDate, {{"MODDATE", now()}}),
                newId);
}

bool NCOARDAImpl::addBroker(const KvbString& busName, const KvbString& address,
                            const KvbString& city, const KvbString& state,
                            const KvbString& zip, const KvbString& telNo,
                            const KvbString& fax, const KvbString& email,
                            const KvbString& naics, const KvbString& custom1,
                            const KvbString& custom2, const KvbString& custom3,
                            int brokerType, const KvbString& signName,
                            const KvbString& signTitle, const KvbDate& signDate,
                            int* newId) {
  return addRow(
      "NCOABR", nullptr,
      brokerColumns(busName, address, city, state, zip, telNo, fax, email,
                    naics, custom1, custom2, custom3, brokerType, signName,
                    signTitle, signDate, {{"MODDATE", now()}}),
      newId);
}

ReposDataAccessCursor* NCOARDAImpl::listListOwners(int listOwnerId) {
  return listGiven("NCOALO", {number("LO_ID", listOwnerId)});
}

ReposDataAccessCursor* NCOARDAImpl::listLicensees(int licenseeId) {
  return listGiven("NCOALI", {number("LIC_ID", licenseeId)});
}

ReposDataAccessCursor* NCOARDAImpl::listBrokers(int brokerId) {
  return listGiven("NCOABR", {number("BR_ID", brokerId)});
}

ReposDataAccessCursor* NCOARDAImpl::listCurrentBrokersByType(int brokerType) {
  return listGiven("NCOABR", {{"BRTYPE", brokerType}});
}

bool NCOARDAImpl::updateListOwner(
    int listOwnerId, const KvbString& busName, const KvbString& address,
    const KvbString& city, const KvbString& state, const KvbString& zip,
    const KvbString& telNo, const KvbString& naics, const KvbString& mailerId,
    const KvbString& email, const KvbString& parentName,
    const KvbString& marketingName, const KvbString& custom1,
    const KvbString& custom2, const KvbString& custom3,
    const KvbString& website, int coopDb, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate) {
  return updateRow(
      "NCOALO", listOwnerId,
      listOwnerColumns(busName, address, city, state, zip, telNo, naics,
                       mailerId, email, parentName, marketingName, custom1,
                       custom2, custom3, website, coopDb, signName, signTitle,
                       signDate),
      true);
}

bool NCOARDAImpl::updateLicensee(
    int licenseeId, const KvbString& ncoaId, const KvbString& busName,
    const KvbString& telNo, const KvbString& tin, int licenseeType,
    const KvbString& email, const KvbString& fax, const KvbString& custom1,
    const KvbString& custom2, const KvbString& custom3,
    const KvbString& signName, const KvbString& signTitle,
    const KvbDate& signDate) {
  if (licenseeId == -1) return fail("No licensee is given to update");
  return updateRow(
      "NCOALI", licenseeId,
      licenseeColumns(ncoaId, busName, telNo, tin, licenseeType, email, fax,
                      custom1, custom2, custom3, signName, signTitle, signDate),
      true);
}

bool NCOARDAImpl::updateBroker(
    int brokerId, const KvbString& busName, const KvbString& address,
    const KvbString& city, const KvbString& state, const KvbString& zip,
    const KvbString& telNo, const KvbString& fax, const KvbString& email,
    const KvbString& naics, const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, int brokerType, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate) {
  if (brokerId == -1) return fail("No broker is given to update");
  return updateRow("NCOABR", brokerId,
                   brokerColumns(busName, address, city, state, zip, telNo, fax,
                                 email, naics, custom1, custom2, custom3,
                                 brokerType, signName, signTitle, signDate),
                   true);
}

bool NCOARDAImpl::deleteListOwner(int listOwnerId) {
  return deleteRow("NCOALO", listOwnerId);
}

bool NCOARDAImpl::deleteLicensee(int licenseeId) {
  return deleteRow("NCOALI", licenseeId);
}

bool NCOARDAImpl::deleteBroker(int brokerId) {
  return deleteRow("NCOABR", brokerId);
}

// ---------------------------------------------------------------------------
// PAF records and their party snapshots

bool NCOARDAImpl::addPaf(const KvbString& custom1, const KvbString& custom2,
                         const KvbString& custom3, int pafType,
                         int processingFrequency, const KvbDate& expirationDate,
                         int equivalent, const KvbString& listName,
                         const KvbString& ncoaPaf, int* newId) {
  return addRow("NCOAPA", "PAF_HIST",
                {number("PAFTYPE", pafType),
                 number("PROCFREQ", processingFrequency),
                 text("CUSTM1", custom1),
                 text("CUSTM2", custom2),
                 text("CUSTM3", custom3),
                 {"CRDATE", now()},
                 date("EXPDATE", expirationDate),
                 flag("EQUIVALT", equivalent),
                 text("LISTNAME", listName),
                 {"ACTIVE", 1},
                 text("NCOAPAF", ncoaPaf)},
                newId);
}

bool NCOARDAImpl::addPafListOwner(
    const KvbString& busName, const KvbString& address, const KvbString& city,
    const KvbString& state, const KvbString& zip, const KvbString& telNo,
    const KvbString& naics, const KvbString& mailerId, const KvbString& email,
    const KvbString& parentName, const KvbString& marketingName,
    const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, const KvbString& website, int coopDb,
    const KvbString& signName, const KvbString& signTitle,
    const KvbDate& signDate, const KvbDate& createdDate, int pafId,
    int listOwnerId, int* newId) {
  return addRow("NCOAPO", "LIST_OWNER_HIST",
                listOwnerColumns(
                    busName, address, city, state, zip, telNo, naics, mailerId,
                    email, parentName, marketingName, custom1, custom2, custom3,
                    website, coopDb, signName, signTitle, signDate,
                    {date("CRDATE", createdDate), number("PAF_ID", pafId),
                     number("LO_ID", listOwnerId)}),
                newId, {pafRow(pafId), {"NCOALO", "list owner", listOwnerId}});
}

bool NCOARDAImpl::addPafLicensee(
    const KvbString& ncoaId, const KvbString& busName, const KvbString& telNo,
    const KvbString& tin, int licenseeType, const KvbString& email,
    const KvbString& fax, const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate, const KvbDate&,
    int pafId, int licenseeId, int* newId) {
  return addRow(
      "NCOAPL", "LICENSEE_HIST",
      licenseeColumns(ncoaId, busName, telNo, tin, licenseeType, email, fax,
                      custom1, custom2, custom3, signName, signTitle, signDate,
                      {{"CRDATE", now()},
                       number("PAF_ID", pafId),
                       number("LIC_ID", licenseeId)}),
      newId, {pafRow(pafId), {"NCOALI", "licensee", licenseeId}});
}

bool NCOARDAImpl::addPafBroker(
    const KvbString& busName, const KvbString& address, const KvbString& city,
    const KvbString& state, const KvbString& zip, const KvbString& telNo,
    const KvbString& fax, const KvbString& email, const KvbString& naics,
    const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, int brokerType, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate, const KvbDate&,
    int pafId, int brokerId, int* newId) {
  return addRow("NCOAPB", "BROKER_HIST",
                brokerColumns(busName, address, city, state, zip, telNo, fax,
                              email, naics, custom1, custom2, custom3,
                              brokerType, signName, signTitle, signDate,
                              {{"CRDATE", now()},
                               number("PAF_ID", pafId),
                               number("BR_ID", brokerId)}),
                newId, {pafRow(pafId), {"NCOABR", "broker", brokerId}});
}

bool NCOARDAImpl::copyPaf(int pafId, int* newId) {
  return copyRow("NCOAPA", pafId, {{"ACTIVE", "1"}, {"EQUIVALT", kCopiedFlag}},
                 newId);
}

bool NCOARDAImpl::copyPafListOwner(int pafListOwnerId, int* newId) {
  return copyRow("NCOAPO", pafListOwnerId, {{"COOPDB", kCopiedFlag}}, newId);
}

bool NCOARDAImpl::copyPafLicensee(int pafLicenseeId, int* newId) {
  return copyRow("NCOAPL", pafLicenseeId, {}, newId);
}

bool NCOARDAImpl::copyPafBroker(int pafBrokerId, int* newId) {
  return copyRow("NCOAPB", pafBrokerId, {}, newId);
}

ReposDataAccessCursor* NCOARDAImpl::listPafListOwners(int pafListOwnerId,
                                                      int pafId,
                                                      int historyId) {
  return listSnapshots("NCOAPO", pafListOwnerId, pafId, historyId);
}

ReposDataAccessCursor* NCOARDAImpl::listPafLicensees(int pafLicenseeId,
                                                     int pafId, int historyId) {
  return listSnapshots("NCOAPL", pafLicenseeId, pafId, historyId);
}

ReposDataAccessCursor* NCOARDAImpl::listPafBrokers(int pafBrokerId, int pafId,
                                                   int historyId) {
  return listSnapshots("NCOAPB", pafBrokerId, pafId, historyId);
}

ReposDataAccessCursor* NCOARDAImpl::listPafHistory(int historyId,
                                                   bool ascending) {
  return listGiven("NCOAPA", {{"HISTID", historyId}},
                   ascending ? " ORDER BY CRDATE ASC, PAF_ID ASC"
                             : " ORDER BY CRDATE DESC, PAF_ID DESC");
}

ReposDataAccessCursor* NCOARDAImpl::listPafsWithListOwner(
    int pafId, int listOwnerId, const KvbString& busName, int active,
    bool sameHistory) {
  if (!ready()) return nullptr;
  int historyId = -1;
  if (sameHistory) {
    const int found =
        lookup("SELECT HISTID FROM " + table("NCOAPA") + " WHERE PAF_ID=?",
               {pafId}, &historyId);
    if (found == 0)
      fail(kvbStringFormat("PAF record %d does not exist", pafId));
    if (found != 1) return nullptr;
  }
  KvbString sql = "SELECT " + rda_->getColumnList("NCOAPA", "a") + ", " +
                  rda_->getColumnList("NCOAPO", "b") + " FROM " +
                  table("NCOAPA") + " a INNER JOIN " + table("NCOAPO") +
                  " b ON a.PAF_ID=b.PAF_ID";
  SqlStatement select(sql);
  if (!sameHistory) select.where(number("a.PAF_ID", pafId));
  select.where({number("b.LO_ID", listOwnerId),
                {"b.BUSNAME", busName, Given::kNotEmpty},
                flag("a.ACTIVE", active)});
  if (sameHistory) select.where("a.HISTID=?", historyId);
  return query(select.append(" ORDER BY a.CRDATE DESC, a.PAF_ID DESC"));
}

ReposDataAccessCursor* NCOARDAImpl::findPafs(const KvbString& ncoaPaf,
                                             const KvbString& listName,
                                             const KvbString& ownerName,
                                             const KvbString& brokerName,
                                             bool ascending, int active) {
  if (!ready()) return nullptr;
  // Each PAF record once, however many snapshots match: the snapshots are
  // tested by EXISTS rather than joined.
  SqlStatement select("SELECT " + rda_->getColumnList("NCOAPA", "a") +
                      " FROM " + table("NCOAPA") + " a");
  select.where({{"a.NCOAPAF", ncoaPaf, Given::kNotEmpty},
                {"a.LISTNAME", listName, Given::kNotEmpty}});
  const KvbString hasOwner = "EXISTS (SELECT 1 FROM " + table("NCOAPO") +
                             " b WHERE b.PAF_ID=a.PAF_ID AND b.BUSNAME=?)";
  const KvbString hasBroker = "EXISTS (SELECT 1 FROM " + table("NCOAPB") +
                              " d WHERE d.PAF_ID=a.PAF_ID AND d.BUSNAME=?)";
  select.where(hasOwner.asCstr(), ownerName, Given::kNotEmpty)
      .where(hasBroker.asCstr(), brokerName, Given::kNotEmpty)
      .where(flag("a.ACTIVE", active));
  return query(select.append(ascending
                                 ? " ORDER BY a.CRDATE ASC, a.PAF_ID ASC"
                                 : " ORDER BY a.CRDATE DESC, a.PAF_ID DESC"));
}

bool NCOARDAImpl::updatePaf(int pafId, const KvbString& custom1,
                            const KvbString& custom2, const KvbString& custom3,
                            int pafType, int processingFrequency,
                            const KvbDate& expirationDate, int equivalent,
                            const KvbString& listName, int active,
                            const KvbString& ncoaPaf) {
  return updateRow(
      "NCOAPA", pafId,
      {text("CUSTM1", custom1), text("CUSTM2", custom2),
       text("CUSTM3", custom3), number("PAFTYPE", pafType),
       number("PROCFREQ", processingFrequency), flag("EQUIVALT", equivalent),
       date("EXPDATE", expirationDate), text("LISTNAME", listName),
       number("ACTIVE", active), text("NCOAPAF", ncoaPaf)},
      false);
}

bool NCOARDAImpl::updatePafListOwner(
    int pafListOwnerId, const KvbString& busName, const KvbString& address,
    const KvbString& city, const KvbString& state, const KvbString& zip,
    const KvbString& telNo, const KvbString& naics, const KvbString& mailerId,
    const KvbString& email, const KvbString& parentName,
    const KvbString& marketingName, const KvbString& custom1,
    const KvbString& custom2, const KvbString& custom3,
    const KvbString& website, int coopDb, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate,
    const KvbDate& createdDate, int pafId, int listOwnerId) {
  return updateRow(
      "NCOAPO", pafListOwnerId,
      listOwnerColumns(busName, address, city, state, zip, telNo, naics,
                       mailerId, email, parentName, marketingName, custom1,
                       custom2, custom3, website, coopDb, signName, signTitle,
                       signDate,
                       {date("CRDATE", createdDate), number("PAF_ID", pafId),
                        number("LO_ID", listOwnerId)}),
      false, {pafRow(pafId), {"NCOALO", "list owner", listOwnerId}});
}

bool NCOARDAImpl::updatePafLicensee(
    int pafLicenseeId, const KvbString& ncoaId, const KvbString& busName,
    const KvbString& telNo, const KvbString& tin, int licenseeType,
    const KvbString& email, const KvbString& fax, const KvbString& custom1,
    const KvbString& custom2, const KvbString& custom3,
    const KvbString& signName, const KvbString& signTitle,
    const KvbDate& signDate, const KvbDate& createdDate, int pafId,
    int licenseeId) {
  if (pafLicenseeId == -1)
    return fail("No licensee snapshot is given to update");
  return updateRow(
      "NCOAPL", pafLicenseeId,
      licenseeColumns(ncoaId, busName, telNo, tin, licenseeType, email, fax,
                      custom1, custom2, custom3, signName, signTitle, signDate,
                      {date("CRDATE", createdDate), number("PAF_ID", pafId),
                       number("LIC_ID", licenseeId)}),
      false, {pafRow(pafId), {"NCOALI", "licensee", licenseeId}});
}

bool NCOARDAImpl::updatePafBroker(
    int pafBrokerId, const KvbString& busName, const KvbString& address,
    const KvbString& city, const KvbString& state, const KvbString& zip,
    const KvbString& telNo, const KvbString& fax, const KvbString& email,
    const KvbString& naics, const KvbString& custom1, const KvbString& custom2,
    const KvbString& custom3, int brokerType, const KvbString& signName,
    const KvbString& signTitle, const KvbDate& signDate,
    const KvbDate& createdDate, int pafId, int brokerId) {
  if (pafBrokerId == -1)
    return fail("No broker snapshot is given to update");
  return updateRow(
      "NCOAPB", pafBrokerId,
      brokerColumns(busName, address, city, state, zip, telNo, fax, email,
                    naics, custom1, custom2, custom3, brokerType, signName,
                    signTitle, signDate,
                    {date("CRDATE", createdDate), number("PAF_ID", pafId),
                     number("BR_ID", brokerId)}),
      false, {pafRow(pafId), {"NCOABR", "broker", brokerId}});
}

bool NCOARDAImpl::deletePaf(int pafId) { return deleteRow("NCOAPA", pafId); }

bool NCOARDAImpl::deletePafListOwner(int pafListOwnerId) {
  return deleteRow("NCOAPO", pafListOwnerId);
}

bool NCOARDAImpl::deletePafLicensee(int pafLicenseeId) {
  return deleteRow("NCOAPL", pafLicenseeId);
}

bool NCOARDAImpl::deletePafBroker(int pafBrokerId) {
  return deleteRow("NCOAPB", pafBrokerId);
}

// ---------------------------------------------------------------------------
// Executions and their statistics

bool NCOARDAImpl::loadNcoaExecColumns() {
  if (!columns_.empty()) return true;
  try {
    resetNcoaColumnDefCursor();
    for (bool extension : {false, true})
      while (const ReposColumnDef* def = nextNcoaColumnDef(extension))
        if (!isEndRecord(*def) && def->columnName &&
            std::strcmp(def->tableCode, "NCOAEX") == 0)
          columns_.push_back(
              {def->columnName, KvbDatavar(), def->type, def->length});
  } catch (const std::bad_alloc&) {
    logError(kvb_get_message(kSourceFile, __LINE__, "Repository Library", 530));
    return false;
  }
  return true;
}

bool NCOARDAImpl::clearNcoaExecColumnValues() {
  for (NcoaExecColumn& column : columns_) column.value = KvbDatavar();
  return true;
}

bool NCOARDAImpl::setNcoaExecColumnValue(int column, const KvbDatavar& value) {
  if (column < 0 || static_cast<size_t>(column) >= columns_.size())
    return fail(kvbStringFormat("Couldn't find column [%d]", column));
  NcoaExecColumn& target = columns_[column];
  if (target.type == kvbTypeString && value.getType() == kvbTypeString &&
      characters(value) > static_cast<size_t>(target.size))
    logPrintf(getLogger(), kLogWarning, kSourceFile, __LINE__,
              "Column [%S] value [%S] too large, check DAC log to see if DBMS "
              "complained about this insert",
              target.name, value.asString());
  if (getLogger()->isEnabled(kLogTrace))  // spares the text otherwise
    logPrintf(getLogger(), kLogTrace, kSourceFile, __LINE__,
              "Column [%S] value [%S]", target.name, value.asString());
  target.value = value;
  return true;
}

bool NCOARDAImpl::insertStatistics(int runId) {
  ReposDataAccessStatement* statement = rda_->createStatement(
      "INSERT INTO " + table("NCOAED") +
      " (RUN_ID, SEQ_ID, DNAME, DVALUE) VALUES (?, ?, ?, ?)");
  if (!statement) {
    logError(rda_->getErrorMessage());
    return false;
  }
  statement->setParameterInfo(0, kvbTypeInt, 0);
  statement->setParameterInfo(1, kvbTypeInt, 0);
  statement->setParameterInfo(2, kvbTypeString, 255);
  statement->setParameterInfo(3, kvbTypeString, 255);
  const KvbDatavar run(runId);
  bool ok = true;
  for (size_t key = kFirstStatistic; ok && key < columns_.size(); ++key) {
    const int sequence = static_cast<int>(key - kFirstStatistic);
    ok = statement->setParameter(0, run) &&
         statement->setParameter(1, sequence) &&
         statement->setParameter(2, columns_[key].name) &&
         statement->setParameter(3, columns_[key].value.asString()) &&
         statement->execute();
  }
  if (!ok) logError(statement->getErrorMessage());
  statement->release();
  return ok;
}

bool NCOARDAImpl::addNcoaExecution(int, int pafId, int* runId) {
  if (!ready()) return false;
  int id = -1;
  bool rowAdded = false;
  // The execution's row goes first: its key makes the run id this
  // execution's alone, so that undoing a failed statistic may remove every
  // row under it, and nothing when the row itself failed.
  auto store = [&] {
    if (!namedRowsExist({pafRow(pafId)}) || !nextId("NCOAEX", id)) return false;
    columns_[0].value = KvbDatavar(id);
    columns_[1].value = KvbDatavar(pafId);
    columns_[3].value = now();
    SqlFields row;
    row.reserve(kFirstStatistic);
    for (size_t key = 0; key < kFirstStatistic; ++key)
      row.emplace_back(columns_[key].name.asCstr(),
                       typed(columns_[key].value, columns_[key].type));
    rowAdded = insert("NCOAEX", row);
    return rowAdded && insertStatistics(id);
  };
  auto undo = [&] {
    return !rowAdded || deleteRows({"NCOAED", "NCOAEX"}, "RUN_ID", id);
  };
  const bool ok =
      columns_.size() > kFirstStatistic
          ? addInOneStep(store, undo)
          : fail("The execution columns of the NCOA store are not loaded");
  clearNcoaExecColumnValues();
  return handOut(ok, id, runId);
}

ReposDataAccessCursor* NCOARDAImpl::listNcoaExecutions(const KvbDate& from,
                                                       const KvbDate& to,
                                                       const KvbString& ncoaPaf,
                                                       int runId, int pafId,
                                                       int groupId) {
  if (!ready()) return nullptr;
  if (columns_.size() <= kFirstStatistic) {
    fail("The execution columns of the NCOA store are not loaded");
    return nullptr;
  }
  // The executions and their statistics are read apart, both in the order
  // of the runs, so that the columns of an execution are read once rather
  // than with each of its statistics. A run without statistics is left
  // out, as the join of the two tables leaves it out.
  KvbString tables = " FROM " + table("NCOAEX") + " A";
  if (!ncoaPaf.isNull())
    tables += " INNER JOIN " + table("NCOAPA") + " C ON A.PAF_ID=C.PAF_ID";
  SqlStatement filter{KvbString()};
  if (!from.isNull()) filter.where("A.EX_DATE>=?", from.asDouble());
  if (!to.isNull()) filter.where("A.EX_DATE<=?", to.asDouble());
  filter.where({{"A.RUN_ID", runId, Given::kNotNegative},
                {"A.PAF_ID", pafId, Given::kNotNegative},
                {"A.GRP_ID", groupId, Given::kNotNegative},
                {"C.NCOAPAF", ncoaPaf, Given::kNotNull}});
  // Both reads take the same filter.
  auto filtered = [&](const KvbString& head, const char* order) {
    SqlStatement statement(head + filter.sql() + order);
    for (const QueryParam& param : filter.params()) statement.bind(param);
    return statement;
  };
  ReposDataAccessCursor* executions =
      query(filtered("SELECT A.RUN_ID, A.PAF_ID, A.GRP_ID, A.EX_DATE" + tables,
                     " ORDER BY A.RUN_ID"));
  if (!executions) return nullptr;
  ReposDataAccessCursor* rows = openCursor(
      filtered("SELECT B.RUN_ID, B.SEQ_ID, B.DVALUE" + tables + " INNER JOIN " +
                   table("NCOAED") + " B ON A.RUN_ID=B.RUN_ID",
               " ORDER BY A.RUN_ID, B.SEQ_ID"));
  if (!rows) {
    executions->release();
    return nullptr;
  }
  std::vector<KvbString> names;
  std::vector<int> types;
  for (const NcoaExecColumn& column : columns_) {
    names.push_back(column.name);
    types.push_back(column.type);
  }
  auto* result = new ReposDataCursor(std::move(names));
  ExecutionPivot pivot(*result, *executions, std::move(types));
  // Every database cursor of the engine is an RDA_DbCursor.
  auto* reader = static_cast<RDA_DbCursor*>(rows);
  int fetched;
  while ((fetched = reader->nextInto(pivot)) == 1) {
  }
  rows->release();
  executions->release();
  if (fetched != 0) {
    // A listing cut short by a read error would pass for a whole one.
    result->release();
    logError(rda_->getErrorMessage());
    return nullptr;
  }
  result->rewind();
  return result;
}
