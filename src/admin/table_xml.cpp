// Table dumps: writing one table of a repository to a "kvTable" XML file,
// reading and checking such a file, and loading it back in place of the
// table it names.
#include "admin/table_xml.h"

#include <set>

#include "admin/repositoryimpl.h"
#include "kvfileio/kvfileio.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_impl.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"
#include "schema/sql_names.h"

namespace {

const char kSourceFile[] = "table_xml";
const char kCatalogue[] = "Repository Library";

// The longest table, column or index name a dump may give: what the
// databases take as one identifier.
constexpr size_t kMaxNameLength = 63;

// The size of the buffer that the file's path is joined in.
constexpr size_t kPathBufferSize = 1024;

bool isDumpName(const KvbString& name) {
  return name.length() <= kMaxNameLength && isPlainName(name);
}

template <typename... Args>
bool refuse(KvbString* errorText, int id, const Args&... args) {
  *errorText = kvb_get_message(kSourceFile, 0, kCatalogue, id, args...);
  return false;
}

bool refuseText(KvbString* errorText, const KvbString& text) {
  *errorText = "The table file cannot be loaded: " + text;
  return false;
}

// Calls `visit` with each child element, refusing one of another name.
template <typename Visit>
bool forEachChild(const KvDomNode& parent, const char* name,
                  KvbString* errorText, Visit visit) {
  for (KvDomNode child = parent.getFirstChild(); !child.isNull();
       child = child.getNextSibling()) {
    if (child.getName() != name)
      return refuse(errorText, 1396, child.getName());
    if (!visit(child)) return false;
  }
  return true;
}

bool readField(const KvDomNode& node, std::set<KvbString>* names,
               TableColumnInfo* field, KvbString* errorText) {
  KvbString name(""), type(""), length("0");
  node.getAttribute("name", name);
  node.getAttribute("type", type);
  node.getAttribute("len", length);
  if (!isDumpName(name))
    return refuseText(errorText, "\"" + name + "\" is not a column name");
  if (!names->insert(KvbString(name).toUpper()).second)
    return refuseText(errorText, "the column " + name + " is given twice");
  field->name = name;
  field->type = kvbTypeFromString(type.asCstr());
  if (field->type != kvbTypeInt && field->type != kvbTypeReal &&
      field->type != kvbTypeString)
    return refuseText(errorText,
                      "the column " + name + " has the type \"" + type + "\"");
  int size = 0;
  if (field->type == kvbTypeString && (!length.toInt(size) || size < 0))
    return refuseText(
        errorText, "the column " + name + " has the length \"" + length + "\"");
  field->size = size;
  return true;
}

bool readIndex(const KvDomNode& node, const std::set<KvbString>& fields,
               TableDumpIndex* index, KvbString* errorText) {
  KvbString name(""), field("");
  node.getAttribute("name", name);
  node.getAttribute("field", field);
  if (!isDumpName(name) || !fields.count(KvbString(field).toUpper()))
    return refuseText(errorText, "the index \"" + name + "\" on \"" + field +
                                     "\" does not fit the table");
  index->name = name;
  index->field = field;
  return true;
}

// One value of a row in the type of its field.
bool readValue(const KvDomNode& node, const TableColumnInfo& field,
               KvbDatavar* value, KvbString* errorText) {
  KvbString nullFlag("0");
  node.getAttribute("is_null", nullFlag);
  int isNull = 0;
  if (!nullFlag.toInt(isNull))
    return refuseText(errorText, "\"" + nullFlag + "\" is not a null flag");
  if (isNull != 0) {
    *value = KvbDatavar::nullOf(field.type);
    return true;
  }
  const KvbString text = node.getValue();
  bool ok = true;
  if (field.type == kvbTypeInt) {
    int64_t number = 0;
    ok = text.toInt64(number);
    if (number >= INT32_MIN && number <= INT32_MAX)
      *value = KvbDatavar(static_cast<int>(number));
    else
      *value = KvbDatavar(number);
  } else if (field.type == kvbTypeReal) {
    double number = 0;
    ok = text.toDouble(number);
    *value = KvbDatavar(number);
  } else {
    *value = KvbDatavar(text);
  }
  return ok || refuseText(errorText,
                          "\"" + text + "\" is not a value of " + field.name);
}

// The physical name of a dump's file: the table's physical name and ".xml"
// in `folder`; false with *errorText when the path cannot be joined.
bool dumpPath(const KvbString& folder, const KvbString& name, KvbString* path,
              KvbString* errorText) {
  char buffer[kPathBufferSize];
  const int result = np_fio_pcat(buffer, sizeof buffer, folder.asCstr(),
                                 (name + ".xml").asCstr());
  if (result != NP_FIO_OK)
    return refuse(errorText, 482, result, np_fio_errdesc(result));
  *path = buffer;
  return true;
}

}  // namespace

bool readTableDump(const KvDom& document, TableDump* dump,
                   KvbString* errorText) {
  const KvDomNode root = document.getRoot();
  KvDomNode fields, indexes;
  dump->tableName = KvbString("");
  for (KvDomNode child = root.getFirstChild(); !child.isNull();
       child = child.getNextSibling()) {
    const KvbString name = child.getName();
    if (name == "table_name") dump->tableName = child.getValue();
    if (name == "fields") fields = child;
    if (name == "data") dump->data = child;
    if (name == "indexes") indexes = child;
  }
  if (fields.isNull()) return refuse(errorText, 1395, "fields");
  if (!isDumpName(dump->tableName))
    return refuseText(errorText,
                      "\"" + dump->tableName + "\" is not a table name");
  std::set<KvbString> names;
  if (!forEachChild(fields, "field", errorText, [&](const KvDomNode& node) {
        dump->fields.emplace_back();
        return readField(node, &names, &dump->fields.back(), errorText);
      }))
    return false;
  if (dump->fields.empty()) return refuseText(errorText, "it has no columns");
  std::vector<KvbDatavar> values;
  if (!forEachChild(dump->data, "row", errorText, [&](const KvDomNode& row) {
        return tableDumpRow(*dump, row, &values, errorText);
      }))
    return false;
  return forEachChild(indexes, "index", errorText, [&](const KvDomNode& node) {
    dump->indexes.emplace_back();
    return readIndex(node, names, &dump->indexes.back(), errorText);
  });
}

bool tableDumpRow(const TableDump& dump, const KvDomNode& row,
                  std::vector<KvbDatavar>* values, KvbString* errorText) {
  values->clear();
  auto field = dump.fields.begin();
  const bool read =
      forEachChild(row, "value", errorText, [&](const KvDomNode& node) {
        if (field == dump.fields.end())
          return refuseText(errorText, "a row has too many values");
        values->emplace_back();
        return readValue(node, *field++, &values->back(), errorText);
      });
  return read && (field == dump.fields.end() ||
                  refuseText(errorText, "a row has too few values"));
}

// ---------------------------------------------------------------------------
// The repository's side

bool RepositoryImpl::dropOwnTable(const KvbString& table) {
  if (!connected(nullptr)) return false;
  return static_cast<RDA_BaseImpl*>(dataAccess_)
             ->dropOwnTable(table.asCstr(), -1, nullptr, true) ||
         failOnConnection();
}

bool RepositoryImpl::exportTableToXml(const KvbString& table,
                                      const KvbString& folder, bool drop) {
  if (!connected(nullptr)) return false;
  // A table that does not exist is no failure; a catalogue that cannot be
  // read (or a connection another thread keeps) is.
  std::list<TableColumnInfo> columns;
  if (!static_cast<RDA_BaseImpl*>(dataAccess_)
           ->findTableColumns(table, columns))
    return failOnConnection();
  if (columns.empty()) return true;
  const KvbString name = dataAccess_->getTableName(table.asCstr(), false, -1);
  // The file is named by the prefix as it was given, without the schema
  // that the open found for a prefix that names none.
  KvbString given;
  dataAccess_->getTablePrefix(false, &given, nullptr);

  KvDom document;
  KvDomNode root = document.startDocument("kvTable");
  root.addChild("repos_name", shownConnection());
  root.addChild("repos_version", KvbString::fromInt(version_));
  root.addChild("table_name", table);
  KvDomNode fields = root.addChild("fields");
  KvbString select("");
  for (const TableColumnInfo& column : columns) {
    KvDomNode field = fields.addChild("field");
    field.setAttribute("name", column.name);
    field.setAttribute("type", kvbTypeToString(column.type));
    field.setAttribute("len", KvbString::fromInt(column.size));
    select.append(select.isEmpty() ? "SELECT " : ",").append(column.name);
  }

  ReposDataAccessCursor* rows = dataAccess_->paramSelect(
      select + " FROM " + dataAccess_->getTableName(table.asCstr(), true, -1),
      0);
  if (!rows) return failOnConnection();
  KvDomNode data = root.addChild("data");
  int fetched;
  while ((fetched = rows->next()) == 1) {
    KvDomNode row = data.addChild("row");
    for (int c = 0; c < rows->getNumCols(); ++c) {
      const KvbDatavar value = rows->getValue(c);
      KvDomNode cell = row.addChild("value", value.asString());
      cell.setAttribute("is_null", value.isNull() ? "1" : "0");
    }
  }
  rows->release();
  // A dump that lost rows must never lead to the table being dropped.
  if (fetched != 0) return failOnConnection();

  ReposDataAccessCursor* listed = dataAccess_->listIndexes(name);
  if (!listed) return failOnConnection();
  KvDomNode indexes = root.addChild("indexes");
  while (listed->next() == 1) {
    KvDomNode index = indexes.addChild("index");
    index.setAttribute("name", listed->getString(0));
    index.setAttribute("field", listed->getString(1));
  }
  listed->release();

  KvbString path, problem;
  if (!dumpPath(folder, given + table, &path, &problem)) return fail(problem);
  if (!document.createFile(path, true)) return fail(document.getErrorMessage());
  return !drop || dropOwnTable(table);
}

bool RepositoryImpl::importTable(const KvbString& path) {
  KvNoCancellation noCancellation;
  return answered(loadTable(path));
}

bool RepositoryImpl::loadTable(const KvbString& path) {
  // The sets' tables are the repository's own, which no file replaces.
  if (!connected(nullptr) || !tableSetsListed()) return false;
  KvDom document;
  if (!document.loadFile(path)) return fail(document.getErrorMessage());
  TableDump dump;
  KvbString problem;
  if (!readTableDump(document, &dump, &problem)) return fail(problem);
  // A dump replaces a table of its own; the tables that make up the
  // repository are never replaced by a file.
  const KvbString upper = KvbString(dump.tableName).toUpper();
  bool ownTable = findTableColumnDefs(upper.asCstr()) != nullptr;
  for (int s = 0; !ownTable && s < getTableSetCount(); ++s)
    if (const ReposTableSet* set = getTableSet(s))
      for (const ReposTableDef& table : set->tableDefs)
        ownTable = ownTable || table.name.equals(dump.tableName, true);
  if (ownTable)
    return fail("The table file names the repository's own table " +
                dump.tableName + ", which a table file cannot replace");

  // Nor is a table that another repository of the schema claims (see
  // RDA_Neighbours): its name is that repository's table as much as this
  // one's.
  auto* rda = static_cast<RDA_BaseImpl*>(dataAccess_);
  RDA_Neighbours neighbours;
  if (!rda->findNeighbours(neighbours)) return failOnConnection();
  const KvbString claimant =
      neighbours.claimantOf(rda->ownName(dump.tableName.asCstr(), -1));
  if (!claimant.isNull())
    return fail(kvbStringFormat(
        "The table file names the table %S, which is also a table of the "
        "repository under the table prefix \"%S\"; a table file cannot "
        "replace it",
        rda->ownName(dump.tableName.asCstr(), -1), claimant));

  auto load = [&] {
    std::list<TableColumnInfo> existing;
    if (!rda->findTableColumns(dump.tableName, existing))
      return failOnConnection();
    if (!existing.empty() && !dropOwnTable(dump.tableName)) return false;
    if (!dataAccess_->createTable(dump.tableName, dump.fields))
      return failOnConnection();
    KvbString columns(""), markers("");
    for (const TableColumnInfo& field : dump.fields) {
      columns.append(columns.isEmpty() ? "" : ",").append(field.name);
      markers.append(markers.isEmpty() ? "?" : ",?");
    }
    Rows rows;
    std::vector<KvbDatavar> values;
    for (KvDomNode row = dump.data.getFirstChild(); !row.isNull();
         row = row.getNextSibling()) {
      if (!tableDumpRow(dump, row, &values, &problem)) return fail(problem);
      rows.push_back(values);
    }
    if (!executeEach(kvbStringFormat("INSERT INTO %S (%S) VALUES (%S)",
                                     dataAccess_->getTableName(
                                         dump.tableName.asCstr(), true, -1),
                                     columns, markers),
                     rows))
      return false;
    // Each index once: an index over several columns is dumped as one
    // entry per column and comes back on its first column.
    // The names that the exporting repository's engine made are named for
    // this one (see importedIndexName).
    std::set<KvbString> dumped, made;
    for (const TableDumpIndex& index : dump.indexes) {
      const KvbString name =
          rda->importedIndexName(dump.tableName, index.field, index.name);
      if (dumped.insert(KvbString(index.name).toUpper()).second &&
          made.insert(KvbString(name).toUpper()).second &&
          !dataAccess_->createIndex(dump.tableName, index.field, name))
        return failOnConnection();
    }
    return true;
  };
  return inTransaction(load);
}
