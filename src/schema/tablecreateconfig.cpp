// Loading the table-creation specification and looking up the commands of a
// table or index. Also the export getTableCreationSpec.
#include "schema/tablecreateconfig.h"

#include "kvxmldom/kvxmldom.h"
#include "reposadmin/kvreposadmin.h"

namespace KvTableCreateNS {

namespace {

class Commands : public KvCreateSpecCommands {
 public:
  explicit Commands(std::vector<KvbString> commands)
      : commands_(std::move(commands)) {}
  bool next(KvbString& command) override {
    if (next_ >= commands_.size()) return false;
    command = commands_[next_++];
    return true;
  }
  void release() override { delete this; }

 private:
  std::vector<KvbString> commands_;
  size_t next_ = 0;
};

bool matches(const KvbString& pattern, const KvbString& value) {
  if (pattern == "*") return true;
  if (pattern.endsWith("*"))
    return value.startsWith(pattern.substr(0, pattern.length() - 1).asCstr(),
                            true);
  return pattern.equals(value, true);
}

KvbString attribute(const KvDomNode& node, const char* name,
                    const char* fallback) {
  KvbString value;
  return node.getAttribute(name, value) ? value : KvbString(fallback);
}

}  // namespace

bool KvCreateSpecDocImpl::loadFile(const KvbString& path) {
  entries_.clear();
  KvDom dom;
  if (!dom.loadFile(path)) {
    error_ = path + ": " + dom.getErrorMessage();
    return false;
  }
  auto fail = [&](const KvbString& text) {
    entries_.clear();
    error_ = path + ": " + text;
    return false;
  };
  KvDomNode root = dom.getRoot();
  if (root.getName() != "velmorandocument" ||
      attribute(root, "class", "") != "KvCreateSpec")
    return fail("not a \"velmorandocument\" of class \"KvCreateSpec\"");
  for (KvDomNode db = root.getFirstChild(); !db.isNull();
       db = db.getNextSibling()) {
    KvbString type = attribute(db, "type", "");
    if (db.getName() != "database" || type.isEmpty())
      return fail("expected \"database\" elements with a \"type\"");
    for (KvDomNode t = db.getFirstChild(); !t.isNull(); t = t.getNextSibling()) {
      Entry entry{type, attribute(t, "schema", "*"), attribute(t, "name", ""),
                  {}, {}};
      if (t.getName() != "table" || entry.table.isEmpty())
        return fail("database \"" + type +
                    "\": expected \"table\" elements with a \"name\"");
      for (KvDomNode c = t.getFirstChild(); !c.isNull(); c = c.getNextSibling()) {
        if (c.getName() == "tablecommand")
          entry.tableCommands.push_back(c.getValue());
        else if (c.getName() == "indexcommand")
          entry.indexCommands.push_back(c.getValue());
        else
          return fail("table \"" + entry.table + "\": unexpected element \"" +
                      c.getName() + "\"");
      }
      entries_.push_back(std::move(entry));
    }
  }
  error_ = "";
  return true;
}

KvCreateSpecCommands* KvCreateSpecDocImpl::lookup(
    bool index, const KvbString& dbType, const KvbString& schema,
    const KvbString& tableCode, const KvbString& tableName,
    const KvbString& indexName) const {
  std::vector<KvbString> found;
  for (const Entry& e : entries_) {
    if (!matches(e.dbType, dbType) || !matches(e.schema, schema) ||
        !matches(e.table, tableCode))
      continue;
    for (KvbString command : index ? e.indexCommands : e.tableCommands) {
      command.replaceAll("%TABLE%", tableName.asCstr());
      command.replaceAll("%SCHEMA%", schema.asCstr());
      if (index) command.replaceAll("%INDEX%", indexName.asCstr());
      found.push_back(std::move(command));
    }
  }
  return new Commands(std::move(found));
}

KvCreateSpecCommands* KvCreateSpecDocImpl::getTableCommands(
    const KvbString& dbType, const KvbString& schema,
    const KvbString& tableCode, const KvbString& tableName) const {
  return lookup(false, dbType, schema, tableCode, tableName, KvbString());
}

KvCreateSpecCommands* KvCreateSpecDocImpl::getIndexCommands(
    const KvbString& dbType, const KvbString& schema,
    const KvbString& tableCode, const KvbString& tableName,
    const KvbString& indexName) const {
  return lookup(true, dbType, schema, tableCode, tableName, indexName);
}

}  // namespace KvTableCreateNS

KvTableCreateNS::KvCreateSpecDoc* getTableCreationSpec() {
  return new (std::nothrow) KvTableCreateNS::KvCreateSpecDocImpl;
}
