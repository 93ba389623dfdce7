// NCOARepositoryDataAccess: the data-access interface of NCOA processing
// records: the current parties (list owners NCOALO, licensees NCOALI,
// brokers NCOABR), the PAF records (NCOAPA) with their party snapshots
// (NCOAPO, NCOAPL, NCOAPB), and the executions (NCOAEX) with their
// statistics (NCOAED).
//
// Cursors that the operations answer are in-memory copies that the caller
// releases; a listing of one table gives every column of it in table order.
// Failures answer false or null; the reason is the connection's error text,
// which getErrorMessage() gives. Without a connection every operation but
// the two that stage execution values logs "Repository Data Access object
// is null" at level 5 and fails.
//
// Keys: each table's first column, drawn from the id counter named like the
// table. PAF records and snapshots also carry a history (HISTID): an add
// opens a new one (counters "PAF_HIST", "LIST_OWNER_HIST", "LICENSEE_HIST",
// "BROKER_HIST"), a copy adds a version to the history of the row it
// copies, with a new key and the current date as CRDATE. An add or copy
// writes its new key to *newId when given, and only when it succeeds.
//
// Optional arguments: an id or other integer of -1 is absent; a text filter
// is absent when empty; a text or date to write is absent when null (an
// empty text is written). The 0/1 flags COOPDB and EQUIVALT are stored as 0
// for a value below 0 and as 1 for one above 1. MODDATE of a current party
// is the time of its last add or update. A party text is stored as given;
// the database refuses one longer than its column.
//
// Ids. -1 is the one id that means none: an add stores it as it is (a
// snapshot of no PAF or party, an execution of no PAF), as it always has,
// and an update keeps the stored id. Any other PAF id of a snapshot
// or an execution, and any other list-owner, licensee or broker id of a
// snapshot, names a row that exists, checked in the write's own
// transaction, or the write is refused with "<Kind> <id> does not exist"
// (kinds "PAF record", "List owner", "Licensee", "Broker"), logged once,
// storing nothing (an execution's staged values are cleared all the same).
// The key of the row that an update, copy or delete works on is not such a
// reference: a key that no row has is no failure where the operation says
// so. The group id of an execution (GRP_ID) names nothing stored here and
// is not checked. A deleted party, PAF record or snapshot leaves every row
// that names it: snapshots keep naming their party and PAF, executions
// their PAF.
#ifndef REPOSADMIN_NCOA_DATA_ACCESS_H_
#define REPOSADMIN_NCOA_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access_object.h"

class ReposDataAccessCursor;

class NCOARepositoryDataAccess : public ReposDataAccessObject {
 public:
  // --- Additions ----------------------------------------------------------

  // Adds a list owner. NAICS comes after TELNO here, though it is the
  // twelfth column.
  virtual bool addListOwner(const KvbString& busName, const KvbString& address,
                            const KvbString& city, const KvbString& state,
                            const KvbString& zip, const KvbString& telNo,
                            const KvbString& naics, const KvbString& mailerId,
                            const KvbString& email, const KvbString& parentName,
                            const KvbString& marketingName,
                            const KvbString& custom1, const KvbString& custom2,
                            const KvbString& custom3, const KvbString& website,
                            int coopDb, const KvbString& signName,
                            const KvbString& signTitle, const KvbDate& signDate,
                            int* newId) = 0;
  // Adds a list-owner snapshot of PAF `pafId`, taken from list owner
  // `listOwnerId`, as the first version of a new history; `createdDate` is
  // stored as CRDATE.
  virtual bool addPafListOwner(
      const KvbString& busName, const KvbString& address, const KvbString& city,
      const KvbString& state, const KvbString& zip, const KvbString& telNo,
      const KvbString& naics, const KvbString& mailerId, const KvbString& email,
      const KvbString& parentName, const KvbString& marketingName,
      const KvbString& custom1, const KvbString& custom2,
      const KvbString& custom3, const KvbString& website, int coopDb,
      const KvbString& signName, const KvbString& signTitle,
      const KvbDate& signDate, const KvbDate& createdDate, int pafId,
      int listOwnerId, int* newId) = 0;
  // Adds a licensee.
  virtual bool addLicensee(const KvbString& ncoaId, const KvbString& busName,
                           const KvbString& telNo, const KvbString& tin,
                           int licenseeType, const KvbString& email,
                           const KvbString& fax, const KvbString& custom1,
                           const KvbString& custom2, const KvbString& custom3,
                           const KvbString& signName,
                           const KvbString& signTitle, const KvbDate& signDate,
                           int* newId) = 0;
  // Adds a licensee snapshot as the first version of a new history. Its
  // CRDATE is the current date: `createdDate` is not read.
  virtual bool addPafLicensee(
      const KvbString& ncoaId, const KvbString& busName, const KvbString& telNo,
      const KvbString& tin, int licenseeType, const KvbString& email,
      const KvbString& fax, const KvbString& custom1, const KvbString& custom2,
      const KvbString& custom3, const KvbString& signName,
      const KvbString& signTitle, const KvbDate& signDate,
      const KvbDate& createdDate, int pafId, int licenseeId, int* newId) = 0;
  // Adds a broker. BRTYPE comes after CUSTM3 here, though it is the
  // eleventh column.
  virtual bool addBroker(const KvbString& busName, const KvbString& address,
                         const KvbString& city, const KvbString& state,
                         const KvbString& zip, const KvbString& telNo,
                         const KvbString& fax, const KvbString& email,
                         const KvbString& naics, const KvbString& custom1,
                         const KvbString& custom2, const KvbString& custom3,
                         int brokerType, const KvbString& signName,
                         const KvbString& signTitle, const KvbDate& signDate,
                         int* newId) = 0;
  // Adds a broker snapshot as the first version of a new history. Its
  // CRDATE is the current date: `createdDate` is not read.
  virtual bool addPafBroker(const KvbString& busName, const KvbString& address,
                            const KvbString& city, const KvbString& state,
                            const KvbString& zip, const KvbString& telNo,
                            const KvbString& fax, const KvbString& email,
                            const KvbString& naics, const KvbString& custom1,
                            const KvbString& custom2, const KvbString& custom3,
                            int brokerType, const KvbString& signName,
                            const KvbString& signTitle, const KvbDate& signDate,
                            const KvbDate& createdDate, int pafId, int brokerId,
                            int* newId) = 0;
  // Adds an active PAF record (ACTIVE 1, CRDATE now) as the first version
  // of a new history.
  virtual bool addPaf(const KvbString& custom1, const KvbString& custom2,
                      const KvbString& custom3, int pafType,
                      int processingFrequency, const KvbDate& expirationDate,
                      int equivalent, const KvbString& listName,
                      const KvbString& ncoaPaf, int* newId) = 0;
  // Stores the execution values staged by setNcoaExecColumnValue, in one
  // transaction: an NCOAEX row (RUN_ID from the id counter "NCOAEX",
  // PAF_ID `pafId`, GRP_ID as staged, EX_DATE now) and one NCOAED row per
  // statistic (SEQ_ID 0 to 240, DNAME the column's name, DVALUE the staged
  // value as text or NULL). The new RUN_ID goes to *runId when given. The
  // staged values are cleared whether it succeeds or not; a failure leaves
  // no row. The first argument is not read.
  virtual bool addNcoaExecution(int unused, int pafId, int* runId) = 0;

  // --- Listings -------------------------------------------------------------

  // The list owners (every NCOALO column), or the one with id `listOwnerId`.
  virtual ReposDataAccessCursor* listListOwners(int listOwnerId) = 0;
  // The list-owner snapshots with the PAF, history and key given, highest
  // key first.
  virtual ReposDataAccessCursor* listPafListOwners(int pafListOwnerId,
                                                   int pafId,
                                                   int historyId) = 0;
  virtual ReposDataAccessCursor* listLicensees(int licenseeId) = 0;
  virtual ReposDataAccessCursor* listPafLicensees(int pafLicenseeId, int pafId,
                                                  int historyId) = 0;
  virtual ReposDataAccessCursor* listBrokers(int brokerId) = 0;
  virtual ReposDataAccessCursor* listPafBrokers(int pafBrokerId, int pafId,
                                                int historyId) = 0;
  // The brokers of type `brokerType`.
  virtual ReposDataAccessCursor* listCurrentBrokersByType(int brokerType) = 0;
  // The PAF records (every NCOAPA column) with the NCOAPAF and LISTNAME
  // given, with a list-owner snapshot of company name `ownerName` and a
  // broker snapshot of company name `brokerName` when given, and ACTIVE
  // (as a 0/1 flag) when given. Each record once, by CRDATE and then PAF_ID,
  // ascending or descending.
  virtual ReposDataAccessCursor* findPafs(const KvbString& ncoaPaf,
                                          const KvbString& listName,
                                          const KvbString& ownerName,
                                          const KvbString& brokerName,
                                          bool ascending, int active) = 0;
  // The versions of the PAF history `historyId`, by CRDATE and then PAF_ID,
  // ascending or descending.
  virtual ReposDataAccessCursor* listPafHistory(int historyId,
                                                bool ascending) = 0;
  // The PAF records joined to their list-owner snapshots: the 13 NCOAPA
  // columns and then the 24 NCOAPO columns, one row per snapshot, newest
  // CRDATE (of the PAF) first. Restricted to the PAF_ID, LO_ID, company
  // name and ACTIVE flag given and, with `sameHistory`, to the history of
  // PAF `pafId` (which must then be given and exist) instead of the PAF
  // itself.
  virtual ReposDataAccessCursor* listPafsWithListOwner(int pafId,
                                                       int listOwnerId,
                                                       const KvbString& busName,
                                                       int active,
                                                       bool sameHistory) = 0;
  // One row per execution with the runs, PAFs and groups given, dated from
  // `from` to `to` (each when not null) and, when `ncoaPaf` is not null,
  // processed under a PAF record of that NCOAPAF: one column per execution
  // column (RUN_ID, PAF_ID, GRP_ID, EX_DATE and the 241 statistics, each of
  // its column's type; NULL for a statistic without a value), by RUN_ID.
  // An execution without statistics rows is not listed.
  virtual ReposDataAccessCursor* listNcoaExecutions(const KvbDate& from,
                                                    const KvbDate& to,
                                                    const KvbString& ncoaPaf,
                                                    int runId, int pafId,
                                                    int groupId) = 0;

  // --- Staged execution values ----------------------------------------------

  // Clears every staged value; always true.
  virtual bool clearNcoaExecColumnValues() = 0;
  // Stages the value of execution column `column` (0 RUN_ID, 1 PAF_ID,
  // 2 GRP_ID, 3 EX_DATE, 4 to 244 the statistics) for the next
  // addNcoaExecution. A column that does not exist is refused. A text longer
  // than its column is kept whole, with a warning logged at level 4.
  virtual bool setNcoaExecColumnValue(int column, const KvbDatavar& value) = 0;

  // --- Changes and deletions ------------------------------------------------
  // An update writes the columns given of the row with that key, in one
  // statement, and answers false without a column given. A key that no row
  // has is no failure, nor is deleting one.

  // Also stamps MODDATE. Parameters as addListOwner.
  virtual bool updateListOwner(
      int listOwnerId, const KvbString& busName, const KvbString& address,
      const KvbString& city, const KvbString& state, const KvbString& zip,
      const KvbString& telNo, const KvbString& naics, const KvbString& mailerId,
      const KvbString& email, const KvbString& parentName,
      const KvbString& marketingName, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3,
      const KvbString& website, int coopDb, const KvbString& signName,
      const KvbString& signTitle, const KvbDate& signDate) = 0;
  // Writes one version of a list-owner snapshot (HISTID stays).
  virtual bool updatePafListOwner(
      int pafListOwnerId, const KvbString& busName, const KvbString& address,
      const KvbString& city, const KvbString& state, const KvbString& zip,
      const KvbString& telNo, const KvbString& naics, const KvbString& mailerId,
      const KvbString& email, const KvbString& parentName,
      const KvbString& marketingName, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3,
      const KvbString& website, int coopDb, const KvbString& signName,
      const KvbString& signTitle, const KvbDate& signDate,
      const KvbDate& createdDate, int pafId, int listOwnerId) = 0;
  // Adds a version of the list-owner snapshot `pafListOwnerId` to its
  // history; false, without a log record, when there is no such snapshot.
  virtual bool copyPafListOwner(int pafListOwnerId, int* newId) = 0;
  // Deletes a list owner; its snapshots stay, naming it. The same holds for
  // deleteLicensee and deleteBroker.
  virtual bool deleteListOwner(int listOwnerId) = 0;
  // Deletes one version of a list-owner snapshot.
  virtual bool deletePafListOwner(int pafListOwnerId) = 0;
  // Also stamps MODDATE; key -1 is refused.
  virtual bool updateLicensee(
      int licenseeId, const KvbString& ncoaId, const KvbString& busName,
      const KvbString& telNo, const KvbString& tin, int licenseeType,
      const KvbString& email, const KvbString& fax, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3,
      const KvbString& signName, const KvbString& signTitle,
      const KvbDate& signDate) = 0;
  // Key -1 is refused.
  virtual bool updatePafLicensee(
      int pafLicenseeId, const KvbString& ncoaId, const KvbString& busName,
      const KvbString& telNo, const KvbString& tin, int licenseeType,
      const KvbString& email, const KvbString& fax, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3,
      const KvbString& signName, const KvbString& signTitle,
      const KvbDate& signDate, const KvbDate& createdDate, int pafId,
      int licenseeId) = 0;
  virtual bool copyPafLicensee(int pafLicenseeId, int* newId) = 0;
  virtual bool deleteLicensee(int licenseeId) = 0;
  virtual bool deletePafLicensee(int pafLicenseeId) = 0;
  // Also stamps MODDATE; key -1 is refused. Parameters as addBroker.
  virtual bool updateBroker(int brokerId, const KvbString& busName,
                            const KvbString& address, const KvbString& city,
                            const KvbString& state, const KvbString& zip,
                            const KvbString& telNo, const KvbString& fax,
                            const KvbString& email, const KvbString& naics,
                            const KvbString& custom1, const KvbString& custom2,
                            const KvbString& custom3, int brokerType,
                            const KvbString& signName,
                            const KvbString& signTitle,
                            const KvbDate& signDate) = 0;
  // Key -1 is refused.
  virtual bool updatePafBroker(
      int pafBrokerId, const KvbString& busName, const KvbString& address,
      const KvbString& city, const KvbString& state, const KvbString& zip,
      const KvbString& telNo, const KvbString& fax, const KvbString& email,
      const KvbString& naics, const KvbString& custom1,
      const KvbString& custom2, const KvbString& custom3, int brokerType,
      const KvbString& signName, const KvbString& signTitle,
      const KvbDate& signDate, const KvbDate& createdDate, int pafId,
      int brokerId) = 0;
  virtual bool copyPafBroker(int pafBrokerId, int* newId) = 0;
  virtual bool deleteBroker(int brokerId) = 0;
  virtual bool deletePafBroker(int pafBrokerId) = 0;
  // Writes one version of a PAF record; CRDATE and HISTID stay.
  virtual bool updatePaf(int pafId, const KvbString& custom1,
                         const KvbString& custom2, const KvbString& custom3,
                         int pafType, int processingFrequency,
                         const KvbDate& expirationDate, int equivalent,
                         const KvbString& listName, int active,
                         const KvbString& ncoaPaf) = 0;
  // Adds an active version of PAF record `pafId` to its history; false,
  // without a log record, when there is no such record.
  virtual bool copyPaf(int pafId, int* newId) = 0;
  // Deletes one version of a PAF record; its snapshots and executions stay,
  // naming it.
  virtual bool deletePaf(int pafId) = 0;
};

#endif  // REPOSADMIN_NCOA_DATA_ACCESS_H_
