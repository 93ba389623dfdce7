// NCOARDAImpl: the data-access object of NCOA processing records, built on
// the shared base of the data-access objects: the current parties, the PAF
// records with their versioned party snapshots, and the executions with
// their statistics, whose values a caller stages column by column in the
// object's execution column map before it stores them.
#ifndef MONITOR_NCOA_RDAIMPL_H_
#define MONITOR_NCOA_RDAIMPL_H_

#include <utility>
#include <vector>

#include "access/base_rdaimpl.h"
#include "reposadmin/ncoa_data_access.h"

class NCOARDAImpl : public RDA_Object<NCOARepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null, in which case every operation on
  // the database fails. The execution column map is empty until
  // loadNcoaExecColumns fills it.
  explicit NCOARDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  // Fills the execution column map, once per object, with the NCOAEX
  // columns of the NCOA definitions and then of the extension: RUN_ID,
  // PAF_ID, GRP_ID, EX_DATE and the 241 statistics. False, with what was
  // loaded kept, when memory runs out.
  bool loadNcoaExecColumns();

  bool addListOwner(const KvbString& busName, const KvbString& address,
                    const KvbString& city, const KvbString& state,
                    const KvbString& zip, const KvbString& telNo,
                    const KvbString& naics, const KvbString& mailerId,
                    const KvbString& email, const KvbString& parentName,
                    const KvbString& marketingName, const KvbString& custom1,
                    const KvbString& custom2, const KvbString& custom3,
                    const KvbString& website, int coopDb,
                    const KvbString& signName, const KvbString& signTitle,
                    const KvbDate& signDate, int* newId) override;
  bool addPafListOwner(const KvbString& busName, const KvbString& address,
                       const KvbString& city, const KvbString& state,
                       const KvbString& zip, const KvbString& telNo,
                       const KvbString& naics, const KvbString& mailerId,
                       const KvbString& email, const KvbString& parentName,
                       const KvbString& marketingName, const KvbString& custom1,
                       const KvbString& custom2, const KvbString& custom3,
                       const KvbString& website, int coopDb,
                       const KvbString& signName, const KvbString& signTitle,
                       const KvbDate& signDate, const KvbDate& createdDate,
                       int pafId, int listOwnerId, int* newId) override;
  bool addLicensee(const KvbString& ncoaId, const KvbString& busName,
                   const KvbString& telNo, const KvbString& tin,
                   int licenseeType, const KvbString& email,
                   const KvbString& fax, const KvbString& custom1,
                   const KvbString& custom2, const KvbString& custom3,
                   const KvbString& signName, const KvbString& signTitle,
                   const KvbDate& signDate, int* newId) override;
  bool addPafLicensee(const KvbString& ncoaId, const KvbString& busName,
                      const KvbString& telNo, const KvbString& tin,
                      int licenseeType, const KvbString& email,
                      const KvbString& fax, const KvbString& custom1,
                      const KvbString& custom2, const KvbString& custom3,
                      const KvbString& signName, const KvbString& signTitle,
                      const KvbDate& signDate, const KvbDate& createdDate,
                      int pafId, int licenseeId, int* newId) override;
  bool addBroker(const KvbString& busName, const KvbString& address,
                 const KvbString& city, const KvbString& state,
                 const KvbString& zip, const KvbString& telNo,
                 const KvbString& fax, const KvbString& email,
                 const KvbString& naics, const KvbString& custom1,
                 const KvbString& custom2, const KvbString& custom3,
                 int brokerType, const KvbString& signName,
                 const KvbString& signTitle, const KvbDate& signDate,
                 int* newId) override;
  bool addPafBroker(const KvbString& busName, const KvbString& address,
                    const KvbString& city, const KvbString& state,
                    const KvbString& zip, const KvbString& telNo,
                    const KvbString& fax, const KvbString& email,
                    const KvbString& naics, const KvbString& custom1,
                    const KvbString& custom2, const KvbString& custom3,
                    int brokerType, const KvbString& signName,
                    const KvbString& signTitle, const KvbDate& signDate,
                    const KvbDate& createdDate, int pafId, int brokerId,
                    int* newId) override;
  bool addPaf(const KvbString& custom1, const KvbString& custom2,
              const KvbString& custom3, int pafType, int processingFrequency,
              const KvbDate& expirationDate, int equivalent,
              const KvbString& listName, const KvbString& ncoaPaf,
              int* newId) override;
  bool addNcoaExecution(int unused, int pafId, int* runId) override;

  ReposDataAccessCursor* listListOwners(int listOwnerId) override;
  ReposDataAccessCursor* listPafListOwners(int pafListOwnerId, int pafId,
                                           int historyId) override;
  ReposDataAccessCursor* listLicensees(int licenseeId) override;
  ReposDataAccessCursor* listPafLicensees(int pafLicenseeId, int pafId,
                                          int historyId) override;
  ReposDataAccessCursor* listBrokers(int brokerId) override;
  ReposDataAccessCursor* listPafBrokers(int pafBrokerId, int pafId,
                                        int historyId) override;
  ReposDataAccessCursor* listCurrentBrokersByType(int brokerType) override;
  ReposDataAccessCursor* findPafs(const KvbString& ncoaPaf,
                                  const KvbString& listName,
                                  const KvbString& ownerName,
                                  const KvbString& brokerName, bool ascending,
                                  int active) override;
  ReposDataAccessCursor* listPafHistory(int historyId, bool ascending) override;
  ReposDataAccessCursor* listPafsWithListOwner(int pafId, int listOwnerId,
                                               const KvbString& busName,
                                               int active,
                                               bool sameHistory) override;
  ReposDataAccessCursor* listNcoaExecutions(const KvbDate& from,
                                            const KvbDate& to,
                                            const KvbString& ncoaPaf, int runId,
                                            int pafId, int groupId) override;

  bool clearNcoaExecColumnValues() override;
  bool setNcoaExecColumnValue(int column, const KvbDatavar& value) override;

  bool updateListOwner(int listOwnerId, const KvbString& busName,
                       const KvbString& address, const KvbString& city,
                       const KvbString& state, const KvbString& zip,
                       const KvbString& telNo, const KvbString& naics,
                       const KvbString& mailerId, const KvbString& email,
                       const KvbString& parentName,
                       const KvbString& marketingName, const KvbString& custom1,
                       const KvbString& custom2, const KvbString& custom3,
                       const KvbString& website, int coopDb,
                       const KvbString& signName, const KvbString& signTitle,
                       const KvbDate& signDate) override;
  bool updatePafListOwner(
      int pafListOwnerId, const KvbString& busName, const KvbString& address,
      const KvbString& city, const KvbString& state, const KvbString& zip,
      const KvbString& telNo, const KvbString& naics, const KvbString& mailerId,
      const KvbString& email, const KvbString& parentName,
      const KvbString& marketingName, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3,
      const KvbString& website, int coopDb, const KvbString& signName,
      const KvbString& signTitle, const KvbDate& signDate,
      const KvbDate& createdDate, int pafId, int listOwnerId) override;
  bool copyPafListOwner(int pafListOwnerId, int* newId) override;
  bool deleteListOwner(int listOwnerId) override;
  bool deletePafListOwner(int pafListOwnerId) override;
  bool updateLicensee(int licenseeId, const KvbString& ncoaId,
                      const KvbString& busName, const KvbString& telNo,
                      const KvbString& tin, int licenseeType,
                      const KvbString& email, const KvbString& fax,
                      const KvbString& custom1, const KvbString& custom2,
                      const KvbString& custom3, const KvbString& signName,
                      const KvbString& signTitle,
                      const KvbDate& signDate) override;
  bool updatePafLicensee(int pafLicenseeId, const KvbString& ncoaId,
                         const KvbString& busName, const KvbString& telNo,
                         const KvbString& tin, int licenseeType,
                         const KvbString& email, const KvbString& fax,
                         const KvbString& custom1, const KvbString& custom2,
                         const KvbString& custom3, const KvbString& signName,
                         const KvbString& signTitle, const KvbDate& signDate,
                         const KvbDate& createdDate, int pafId,
                         int licenseeId) override;
  bool copyPafLicensee(int pafLicenseeId, int* newId) override;
  bool deleteLicensee(int licenseeId) override;
  bool deletePafLicensee(int pafLicenseeId) override;
  bool updateBroker(int brokerId, const KvbString& busName,
                    const KvbString& address, const KvbString& city,
                    const KvbString& state, const KvbString& zip,
                    const KvbString& telNo, const KvbString& fax,
                    const KvbString& email, const KvbString& naics,
                    const KvbString& custom1, const KvbString& custom2,
                    const KvbString& custom3, int brokerType,
                    const KvbString& signName, const KvbString& signTitle,
                    const KvbDate& signDate) override;
  bool updatePafBroker(int pafBrokerId, const KvbString& busName,
                       const KvbString& address, const KvbString& city,
                       const KvbString& state, const KvbString& zip,
                       const KvbString& telNo, const KvbString& fax,
                       const KvbString& email, const KvbString& naics,
                       const KvbString& custom1, const KvbString& custom2,
                       const KvbString& custom3, int brokerType,
                       const KvbString& signName, const KvbString& signTitle,
                       const KvbDate& signDate, const KvbDate& createdDate,
                       int pafId, int brokerId) override;
  bool copyPafBroker(int pafBrokerId, int* newId) override;
  bool deleteBroker(int brokerId) override;
  bool deletePafBroker(int pafBrokerId) override;
  bool updatePaf(int pafId, const KvbString& custom1, const KvbString& custom2,
                 const KvbString& custom3, int pafType, int processingFrequency,
                 const KvbDate& expirationDate, int equivalent,
                 const KvbString& listName, int active,
                 const KvbString& ncoaPaf) override;
  bool copyPaf(int pafId, int* newId) override;
  bool deletePaf(int pafId) override;

 private:
  // One column that an execution can carry, with the value staged for the
  // next execution (NULL when none is).
  struct NcoaExecColumn {
    KvbString name;
    KvbDatavar value;
    int type;  // kvbTypeInt, kvbTypeReal or kvbTypeString
    int size;  // text length; 0 for numbers
  };
  // A column of a copied row and the SQL expression that gives its value in
  // the copy.
  using CopiedColumn = std::pair<const char*, const char*>;

  // A row that an id of a write names: its table, what it is called in a
  // refusal ("PAF record"), and the id; -1 names none.
  struct NamedRow {
    const char* code;
    const char* kind;
    int id;
  };
  // True when every row named by an id other than -1 exists; else refused
  // with "<Kind> <id> does not exist". False when a lookup fails.
  bool namedRowsExist(std::initializer_list<NamedRow> rows);
  // The PAF record that a snapshot or an execution names.
  static NamedRow pafRow(int pafId) { return {"NCOAPA", "PAF record", pafId}; }
  // Adds a row to table `code` under a new key (its first column) from the
  // table's id counter, with `columns` (given or not); with a `history`
  // counter, HISTID is a new value of it. All or nothing, in one unit with
  // the check that the rows `named` exist.
  bool addRow(const char* code, const char* history, SqlFields columns,
              int* newId, std::initializer_list<NamedRow> named = {});
  // Adds a copy of the row of `code` whose key is `key` under a new key,
  // with CRDATE now and the expressions of `changed` in place of their
  // columns. Refused quietly when no row has the key.
  bool copyRow(const char* code, int key,
               const std::vector<CopiedColumn>& changed, int* newId);
  // Writes the columns given of the row of `code` whose key is `key`, and
  // with `stamp` MODDATE (now); refused quietly without a column given.
  // With rows `named`, in one transaction with the check that they exist.
  bool updateRow(const char* code, int key, const SqlFields& set, bool stamp,
                 std::initializer_list<NamedRow> named = {});
  bool deleteRow(const char* code, int key);
  // The snapshots of table `code` with the PAF, history and key given,
  // highest key first.
  ReposDataAccessCursor* listSnapshots(const char* code, int key, int pafId,
                                       int historyId);
  // The NCOAED rows of execution `runId`, one per statistic, through one
  // prepared statement.
  bool insertStatistics(int runId);

  std::vector<NcoaExecColumn> columns_;  // the execution column map, by key
};

#endif  // MONITOR_NCOA_RDAIMPL_H_
