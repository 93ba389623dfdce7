// The sweep of every write method of the public headers: one table of
// cells per interface, each cell one call with one class of bad input
// (an id that does not exist, a name or UUID in use, an empty name, a NUL
// byte, a value too long, a parent that does not exist, a delete of
// something still used) and the one answer it must give: refused, with
// one level-5 record equal to the text that names the kind and the
// subject, and nothing stored; or the answer that the method's header
// documents. The cells run on one repository per back end, made once.
#ifndef TESTS_SWEEP_WRITE_SWEEP_H_
#define TESTS_SWEEP_WRITE_SWEEP_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/ncoa_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/refdata_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_event_queue_manager.h"
#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_impact_analysis.h"

// The classes of input that the cells try.
enum class Input {
  kMissingId,      // an id of an object that does not exist
  kInUse,          // a name or UUID that another object holds
  kEmptyName,      // an empty name
  kNul,            // a text with a NUL byte (refused by PostgreSQL only)
  kTooLong,        // a text longer than its column (PostgreSQL only)
  kMissingParent,  // a parent (folder, rule, category ...) that is missing
  kStillUsed,      // a delete of something that others still use
};

// A text with a NUL byte, and one longer than the 255 characters of a name
// column.
inline const KvbString kNul(std::string("a\0b", 3));
inline const KvbString kLong(std::string(300, 'x').c_str());

// What a call answered: whether it succeeded, and the object's error text.
struct Answer {
  bool ok;
  std::string text;
};

// The one answer a cell expects.
struct Expect {
  enum Kind { kRefused, kUnlogged, kNoFailure, kStored } kind;
  std::string text;  // kRefused: a part of the text that names the subject
};
inline Expect refused(std::string text) { return {Expect::kRefused, text}; }
// Refused with a text that the header says is not logged.
inline Expect unlogged(std::string text) { return {Expect::kUnlogged, text}; }
// The header documents the input as no failure: the call answers true,
// logs no level-5 record and stores nothing.
inline Expect noFailure() { return {Expect::kNoFailure, ""}; }
// The header documents the input as stored as given: the call answers true
// and logs no level-5 record; its rows stay.
inline Expect stored() { return {Expect::kStored, ""}; }

// The repository of a back end with every object interface opened on it,
// and the ids of the objects that the tables' setups made.
struct Sweep {
  Repository* repository = nullptr;
  CommonRepositoryDataAccess* common = nullptr;
  MonitorRepositoryDataAccess* monitor = nullptr;
  MetadataRepositoryDataAccess* meta = nullptr;
  ExplorerRepositoryDataAccess* explorer = nullptr;
  ProfileRepositoryDataAccess* profile = nullptr;
  NCOARepositoryDataAccess* ncoa = nullptr;
  RefDataRepositoryDataAccess* refdata = nullptr;
  RepositoryFolderManager* folders = nullptr;
  RepositoryImpactAnalysis* impact = nullptr;
  RepositoryImportExportManager* impexp = nullptr;
  RepositoryEventQueueManager* events = nullptr;
  RepositoryAdmin* admin = nullptr;   // without a list file
  RepositoryAdmin* listed = nullptr;  // with the list file `listFile`
  std::string listFile;
  // Where the repository is: its SQLite file (empty on PostgreSQL), its
  // connection string and table prefix.
  std::string file, connection, prefix;
  ReposDataAccess* rda = nullptr;  // the repository's connection
  std::map<std::string, int> id;
  bool postgres = false;
  // Stores a row that no interface adds (an execution, say) into table
  // `code`: `columns` as "A, B" with `values` bound.
  bool insert(const char* code, const std::string& columns,
              const std::vector<KvbDatavar>& values) {
    std::string markers;
    for (size_t v = 0; v < values.size(); ++v) markers += v ? ", ?" : "?";
    return boundExecute(rda,
                        "INSERT INTO " +
                            rda->getTableName(code, true, -1).str() + " (" +
                            columns + ") VALUES (" + markers + ")",
                        values);
  }
};

// What a call answered on `object`.
template <class Object>
Answer said(Object* object, bool ok) {
  return {ok, object->getErrorMessage().str()};
}

// A call in a cell: `expr` calls `o`, the Sweep's `object`, and may read
// the ids of `s`.
#define SWEEP_CALL(object, expr)  \
  []([[maybe_unused]] Sweep& s) { \
    auto* o = s.object;           \
    return said(o, (expr));       \
  }

// A call in a cell that answers its failure in a text argument: `expr`
// calls `o` and writes the text to `e`.
#define SWEEP_TEXT(object, expr)  \
  []([[maybe_unused]] Sweep& s) { \
    auto* o = s.object;           \
    KvbString e;                  \
    const bool ok = (expr);       \
    return Answer{ok, e.str()};   \
  }

// One cell: `method` as "Interface::method", the input class and the
// argument that carries it, the call and its expected answer.
struct Cell {
  std::string method;
  Input input;
  std::string argument;
  std::function<Answer(Sweep&)> call;
  Expect expect;
};

// A table of cells and the objects that its cells name, made once per back
// end by `setup` (false, with the reason in *error, when it cannot).
struct Table {
  std::string name;
  std::function<bool(Sweep&, std::string* error)> setup;
  std::function<std::vector<Cell>()> cells;
};

Table commonTable();
Table monitorTable();
Table metadataTable();
Table adminTable();
Table ncoaTable();
Table refdataTable();
Table profileTable();

// Every table of the sweep.
inline std::vector<Table> sweepTables() {
  return {commonTable(), monitorTable(), metadataTable(), adminTable(),
          ncoaTable(),   refdataTable(), profileTable()};
}

#endif  // TESTS_SWEEP_WRITE_SWEEP_H_
