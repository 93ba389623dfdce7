// Reading table-set files into ReposTableSet records. Every name that will
// reach SQL text (tables, columns, macros) is checked here, and every fault
// is reported with the file and the element where it was found.
#include "schema/repos_tables_xml.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "kvfileio/kvfileio.h"
#include "kvxmldom/kvxmldom.h"
#include "schema/sql_names.h"

namespace {

// A grammar fault; `where` locates it ("table \"RDLANS\": column \"ID\"").
struct ParseError {
  KvbString text;
};

// Where an element stands: the parent's location, the element's kind and,
// when it has one, its name attribute.
KvbString locate(const KvDomNode& node, const KvbString& where, const char* what) {
  KvbString name;
  KvbString at = where.isEmpty() ? KvbString(what) : where + ": " + what;
  return node.getAttribute("name", name) ? at + " \"" + name + "\"" : at;
}

// Reads the attributes of one element, refusing unknown ones. The element's
// place in fault texts is put together only when a fault needs it: a file
// holds hundreds of elements and rarely a fault.
class Attributes {
 public:
  // An element whose place is the text `where`.
  Attributes(const KvDomNode& node, const KvbString& where,
             std::initializer_list<const char*> allowed)
      : Attributes(node, where, nullptr, false, allowed) {}
  // An element of kind `what` below the place `parent`; a `named` kind
  // shows the element's name attribute (see locate).
  Attributes(const KvDomNode& node, const KvbString& parent, const char* what,
             bool named, std::initializer_list<const char*> allowed)
      : node_(node), parent_(parent), what_(what), named_(named) {
    std::vector<KvbString> names;
    node.getAttributeNames(names);
    for (const KvbString& name : names) {
      bool known = std::any_of(allowed.begin(), allowed.end(), [&](const char* a) {
        return std::strcmp(name.asCstr(), a) == 0;
      });
      if (!known)
        throw ParseError{where() + ": unknown attribute \"" + name + "\""};
    }
  }

  // The element's place, as fault texts name it.
  KvbString where() const {
    if (!what_) return parent_;
    if (named_) return locate(node_, parent_, what_);
    return parent_.isEmpty() ? KvbString(what_) : parent_ + ": " + what_;
  }

  bool has(const char* name) const {
    KvbString value;
    return node_.getAttribute(name, value);
  }

  KvbString text(const char* name, bool required = false) const {
    KvbString value;
    if (!node_.getAttribute(name, value) && required)
      throw ParseError{where() + ": attribute \"" + name + "\" is missing"};
    return value;
  }

  KvbString identifier(const char* name) const {
    KvbString value = text(name, true);
    if (!isPlainName(value))
      throw ParseError{where() + ": \"" + value + "\" is not a valid name "
                       "(letters, digits and underscores)"};
    return value;
  }

  bool flag(const char* name, bool fallback) const {
    KvbString value = text(name);
    if (value.isNull()) return fallback;
    if (value == "true") return true;
    if (value == "false") return false;
    throw ParseError{where() + ": attribute \"" + name +
                     "\" must be \"true\" or \"false\""};
  }

  int number(const char* name, int fallback, int minimum) const {
    KvbString value = text(name);
    if (value.isNull()) return fallback;
    int n = 0;
    if (!value.toInt(n) || n < minimum)
      throw ParseError{where() + ": attribute \"" + name + "\" must be a whole "
                       "number of at least " + KvbString::fromInt(minimum)};
    return n;
  }

  int type(const char* name) const {
    KvbString value = text(name, true);
    int t = kvbTypeFromString(value.asCstr());
    if (t != kvbTypeInt && t != kvbTypeReal && t != kvbTypeString)
      throw ParseError{where() + ": type \"" + value +
                       "\" is not integer, real or text"};
    return t;
  }

 private:
  const KvDomNode& node_;
  const KvbString& parent_;  // the whole place when what_ is null
  const char* what_;
  bool named_;
};

KvbString quoted(const char* what, const KvbString& name) {
  return (*what ? KvbString(what) + " \"" : KvbString("\"")) + name + "\"";
}

// The element's text converted to `type`, or a null when null="true".
KvbDatavar readValue(const KvDomNode& node, const Attributes& attrs, int type,
                     const KvbString& where) {
  if (attrs.flag("null", false)) return KvbDatavar::nullOf(type);
  KvbDatavar value(node.getValue());
  if (!value.convertTo(type))
    throw ParseError{where + ": \"" + node.getValue() + "\" is not a valid " +
                     kvbTypeToString(type)};
  return value;
}

KvbString expandMacros(KvbString sql, const std::map<KvbString, KvbString>& macros) {
  for (const auto& macro : macros)
    sql.replaceAll(("%%" + macro.first + "%%").asCstr(), macro.second.asCstr());
  return sql;
}

ReposXmlColumnDef readColumn(const KvDomNode& node, const KvbString& where) {
  ReposXmlColumnDef column;
  Attributes named(node, where, "column", true,
                   {"name", "type", "length", "usemaxlength", "primarykey",
                    "index", "nullable", "description"});
  column.name = named.identifier("name");
  column.type = named.type("type");
  column.length = named.number("length", 0, 0);
  column.useMaxLength = named.flag("usemaxlength", false);
  column.primaryKey = named.flag("primarykey", false);
  column.indexNumber = named.number("index", 0, 0);
  column.isNullable = !column.primaryKey && named.flag("nullable", true);
  column.description = named.text("description");
  if (column.type == kvbTypeString && column.length == 0 && !column.useMaxLength)
    throw ParseError{named.where() +
                     ": a text column needs a length or usemaxlength"};
  if (column.type != kvbTypeString && (column.length > 0 || column.useMaxLength))
    throw ParseError{named.where() + ": only text columns take a length"};
  return column;
}

void readRow(const KvDomNode& node, ReposTableDef& table, const KvbString& where) {
  Attributes attrs(node, where, "row", false, {"number", "keycolumn"});
  int number = attrs.number("number", -1, 0);
  if (number < 0) throw ParseError{where + ": row: attribute \"number\" is missing"};
  KvbString at = where + ": row " + KvbString::fromInt(number);
  ReposTableRow row;
  row.keyColumn = attrs.text("keycolumn");
  auto columnOf = [&](const KvbString& name) -> const ReposXmlColumnDef& {
    for (const ReposXmlColumnDef& c : table.columns)
      if (c.name == name) return c;
    throw ParseError{at + ": no " + quoted("column", name) + " in the table"};
  };
  if (!row.keyColumn.isNull()) columnOf(row.keyColumn);
  for (KvDomNode v = node.getFirstChild(); !v.isNull(); v = v.getNextSibling()) {
    if (v.getName() != "value")
      throw ParseError{at + ": unexpected element " + quoted("", v.getName())};
    Attributes va(v, at, "value", false, {"column", "null"});
    KvbString name = va.text("column", true);
    const ReposXmlColumnDef& column = columnOf(name);
    KvbString valueAt = at + ": " + quoted("column", name);
    if (row.values.count(name))
      throw ParseError{valueAt + ": the value is given twice"};
    row.values[name] = readValue(v, va, column.type, valueAt);
  }
  if (!table.rows.emplace(number, std::move(row)).second)
    throw ParseError{at + ": the row number is used twice"};
}

ReposTableDef readTable(const KvDomNode& node, const KvbString& where) {
  ReposTableDef table;
  KvbString at = locate(node, where, "table");
  Attributes attrs(node, at, {"name", "deleteexisting", "description"});
  table.name = attrs.identifier("name");
  table.deleteExisting = attrs.flag("deleteexisting", false);
  table.description = attrs.text("description");
  std::set<KvbString> names;
  for (KvDomNode c = node.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
    if (c.getName() == "column") {
      if (!table.rows.empty())
        throw ParseError{at + ": columns must come before rows"};
      table.columns.push_back(readColumn(c, at));
      if (!names.insert(table.columns.back().name).second)
        throw ParseError{at + ": " + quoted("column", table.columns.back().name) +
                         " is defined twice"};
    } else if (c.getName() == "row") {
      readRow(c, table, at);
    } else {
      throw ParseError{at + ": unexpected element " + quoted("", c.getName())};
    }
  }
  if (table.columns.empty()) throw ParseError{at + ": the table has no columns"};
  return table;
}

ReposStatement readStatement(const KvDomNode& node, const ReposTableSet& set,
                             const KvbString& where) {
  Attributes none(node, where, {});
  ReposStatement statement;
  for (KvDomNode c = node.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
    if (c.getName() == "sql" && statement.sql.isNull() && statement.params.empty()) {
      Attributes(c, where, "sql", false, {});
      statement.sql = expandMacros(c.getValue(), set.macros);
    } else if (c.getName() == "param" && !statement.sql.isNull()) {
      KvbString at = where + ": param " + KvbString::fromInt(
                         static_cast<int64_t>(statement.params.size()) + 1);
      Attributes attrs(c, at, {"name", "type", "length", "null"});
      ReposStatementParam param;
      param.name = attrs.text("name");
      param.type = attrs.type("type");
      param.length = attrs.number("length", 0, 0);
      param.value = readValue(c, attrs, param.type, at);
      statement.params.push_back(std::move(param));
    } else {
      throw ParseError{where + ": expected one sql element followed by param "
                       "elements, found " + quoted("", c.getName())};
    }
  }
  if (statement.sql.isEmpty()) throw ParseError{where + ": the statement has no sql"};
  return statement;
}

struct StatementList {
  const char* element;
  std::vector<ReposStatement> ReposTableSet::*list;
};
const StatementList kStatementLists[] = {
    {"precreate", &ReposTableSet::preCreate},
    {"postcreate", &ReposTableSet::postCreate},
    {"preupdate", &ReposTableSet::preUpdate},
    {"postupdate", &ReposTableSet::postUpdate},
    {"predelete", &ReposTableSet::preDelete},
    {"postdelete", &ReposTableSet::postDelete},
};

ReposTableSet readTableSet(const KvDomNode& node) {
  ReposTableSet set;
  KvbString at = locate(node, KvbString(), "tableset");
  Attributes attrs(node, at,
                   {"name", "version", "indexprefix", "ignorecustomerrors",
                    "insertdatafirst"});
  set.name = attrs.identifier("name");
  if (!attrs.has("version")) throw ParseError{at + ": attribute \"version\" is missing"};
  set.version = attrs.number("version", 0, 1);
  set.indexPrefix = attrs.text("indexprefix");
  if (!set.indexPrefix.isEmpty() && !isPlainName(set.indexPrefix))
    throw ParseError{at + ": the index prefix is not a valid name"};
  set.ignoreCustomErrors = attrs.flag("ignorecustomerrors", false);
  set.insertDataFirst = attrs.flag("insertdatafirst", false);

  // Macros first, so that statements anywhere in the set can use them.
  for (KvDomNode c = node.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
    if (c.getName() != "macro") continue;
    Attributes ma(c, at, "macro", true, {"name", "value"});
    KvbString name = ma.identifier("name");
    if (!set.macros.emplace(name, ma.text("value", true)).second)
      throw ParseError{at + ": " + quoted("macro", name) + " is defined twice"};
  }
  std::set<KvbString> seenLists, tables;
  for (KvDomNode c = node.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
    KvbString name = c.getName();
    if (name == "macro") continue;
    if (name == "table") {
      set.tableDefs.push_back(readTable(c, at));
      if (!tables.insert(set.tableDefs.back().name).second)
        throw ParseError{at + ": " + quoted("table", set.tableDefs.back().name) +
                         " is defined twice"};
      continue;
    }
    const StatementList* list = nullptr;
    for (const StatementList& l : kStatementLists)
      if (name == l.element) list = &l;
    if (!list) throw ParseError{at + ": unexpected element " + quoted("", name)};
    if (!seenLists.insert(name).second)
      throw ParseError{at + ": element \"" + name + "\" appears twice"};
    Attributes(c, at, name.asCstr(), false, {});
    for (KvDomNode s = c.getFirstChild(); !s.isNull(); s = s.getNextSibling()) {
      KvbString where = at + ": " + name + ": statement";
      if (s.getName() != "statement")
        throw ParseError{at + ": " + name + ": unexpected element " +
                         quoted("", s.getName())};
      (set.*(list->list)).push_back(readStatement(s, set, where));
    }
  }
  return set;
}

// The sets of a loaded file, in file order.
std::vector<ReposTableSet> readDocument(KvDom& dom) {
  std::vector<ReposTableSet> read;
  KvDomNode root = dom.getRoot();
  if (root.getName() != "velmorandocument")
    throw ParseError{"the root element is not \"velmorandocument\""};
  const KvbString rootPlace("velmorandocument");
  Attributes attrs(root, rootPlace, {"class"});
  if (attrs.text("class") != "ReposTableCreateSpec")
    throw ParseError{"the document class is not \"ReposTableCreateSpec\""};
  for (KvDomNode c = root.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
    if (c.getName() != "tableset")
      throw ParseError{"unexpected element " + quoted("", c.getName())};
    read.push_back(readTableSet(c));
  }
  if (read.empty()) throw ParseError{"the file holds no tableset"};
  return read;
}

// Files read lately, by path, with their bytes and the sets they gave. A
// file whose bytes are unchanged gives its sets again without being parsed:
// every repository that opens reads the whole folder, and a host opens many.
// Never destroyed: threads may still open repositories while the process
// exits.
struct ReadFile {
  std::string bytes;
  std::vector<ReposTableSet> sets;
};
constexpr size_t kReadFilesKept = 16;
struct ReadFiles {
  std::mutex mutex;
  std::map<std::string, ReadFile> byPath;
};
ReadFiles& readFiles() {
  static ReadFiles* const files = new ReadFiles;
  return *files;
}

// The sets that the file at `path` gave when it last held `bytes`; false
// when it was not read with these bytes lately.
bool readBefore(const std::string& path, const std::string& bytes,
                std::vector<ReposTableSet>* sets) {
  ReadFiles& files = readFiles();
  std::lock_guard<std::mutex> guard(files.mutex);
  auto found = files.byPath.find(path);
  if (found == files.byPath.end() || found->second.bytes != bytes)
    return false;
  *sets = found->second.sets;
  return true;
}

void keepRead(const std::string& path, const std::string& bytes,
              const std::vector<ReposTableSet>& sets) {
  ReadFiles& files = readFiles();
  std::lock_guard<std::mutex> guard(files.mutex);
  if (files.byPath.size() >= kReadFilesKept && !files.byPath.count(path))
    files.byPath.erase(files.byPath.begin());
  files.byPath[path] = ReadFile{bytes, sets};
}

}  // namespace

bool ReposTableSetReader::fail(const KvbString& text) {
  error_ = text;
  return false;
}

bool ReposTableSetReader::openTableSetDirectory(const KvbString& folder) {
  KvbDirectory* listing = kvbDirectoryOpen(folder, "*.xml");
  if (!listing)
    return fail("Cannot list the table-set folder \"" + folder + "\"");
  listing->release();
  folder_ = folder;
  return true;
}

bool ReposTableSetReader::loadTableSetDirectory(int* count) {
  sets_.clear();
  if (count) *count = 0;
  if (folder_.isNull()) return true;
  KvbDirectory* listing = kvbDirectoryOpen(folder_, "*.xml");
  if (!listing)
    return fail("Cannot list the table-set folder \"" + folder_ + "\"");
  bool ok = true;
  KvbString name;
  while (ok && listing->next(name))
    ok = loadTableSetFile(kvbConcatPath(folder_, name));
  listing->release();
  if (count) *count = tableSetCount();
  return ok;
}

bool ReposTableSetReader::loadTableSetFile(const KvbString& path) {
  KvbString fileName;
  kvbParsePath(path, nullptr, &fileName);
  char* data = nullptr;
  size_t size = 0;
  const bool readable = np_fio_read_file(path.asCstr(), &data, &size) == NP_FIO_OK;
  const KvbString bytes = readable ? KvbString(data, size) : KvbString("");
  std::free(data);
  std::vector<ReposTableSet> read;
  if (!readable || !readBefore(path.str(), bytes.str(), &read)) {
    // A file that cannot be read is left to the document's own load, whose
    // text says why; a fault of the text is named with the file, as that
    // load names it.
    KvDom dom;
    if (!readable && !dom.loadFile(path))
      return fail(fileName + ": " + dom.getErrorMessage());
    if (readable && !dom.loadXML(bytes))
      return fail(fileName + ": " + path + ": " + dom.getErrorMessage());
    try {
      read = readDocument(dom);
    } catch (const ParseError& e) {
      return fail(fileName + ": " + e.text);
    }
    if (readable) keepRead(path.str(), bytes.str(), read);
  }
  for (ReposTableSet& set : read) {
    auto same = std::find_if(sets_.begin(), sets_.end(), [&](const ReposTableSet& s) {
      return s.name == set.name;
    });
    if (same != sets_.end())
      *same = std::move(set);
    else
      sets_.push_back(std::move(set));
  }
  return true;
}

bool ReposTableSetReader::tableSetAt(int index, ReposTableSet** out) {
  if (index < 0 || index >= tableSetCount() || !out) return false;
  *out = &sets_[index];
  return true;
}
