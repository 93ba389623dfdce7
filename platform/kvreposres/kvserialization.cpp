// kvreposres serialization context: records of one export or import, their
// included-record registry and properties, and the XML form that carries
// them between repositories (docs/export-format.md). Records are written
// flat, children before the records that hold them, and sections refer to
// children by number, so that a shared record stays one record and a file
// can never describe a cycle.
#include "kvreposres/kvserialization.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kvxmldom/kvxmldom.h"

namespace {

constexpr const char* kRootName = "kvExport";
constexpr const char* kFormatVersion = "1";

class ContextImpl;

class RecordImpl : public MetadataRecord {
 public:
  RecordImpl(const ContextImpl* context, std::string type, std::string uuid)
      : context_(context), type_(std::move(type)), uuid_(std::move(uuid)) {}

  void setValue(const KvbString& key, const KvbString& value) override {
    std::string* slot = find(values_, key.str());
    if (slot)
      *slot = value.str();
    else
      values_.emplace_back(key.str(), value.str());
  }
  bool getValue(const KvbString& key, KvbString& out) override {
    const std::string* value = find(values_, key.str());
    out = KvbString(value ? *value : std::string());
    return value != nullptr;
  }
  bool getIntValue(const KvbString& key, int& out) override {
    return read(key, [&](const KvbString& text) { return text.toInt(out); });
  }
  bool getRealValue(const KvbString& key, double& out) override {
    return read(key, [&](const KvbString& text) { return text.toDouble(out); });
  }
  bool getBoolValue(const KvbString& key, bool& out) override {
    return read(key, [&](const KvbString& text) { return text.toBool(out); });
  }
  bool addChildRecord(const KvbString& section, MetadataRecord* child) override;
  MetadataRecordIterator* getChildRecords(const KvbString& section) override;
  KvbString getUUID() override { return KvbString(uuid_); }
  void setUUID(const KvbString& uuid) override { uuid_ = uuid.str(); }
  KvbString getTypeName() override { return KvbString(type_); }

  template <typename T>
  static T* find(std::vector<std::pair<std::string, T>>& list,
                 const std::string& key) {
    for (auto& entry : list)
      if (entry.first == key) return &entry.second;
    return nullptr;
  }

  using Section = std::vector<RecordImpl*>;
  const ContextImpl* context_;
  std::string type_;
  std::string uuid_;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::pair<std::string, Section>> sections_;
  std::map<std::string, std::string> properties_;
  // Set when the record is registered as included.
  std::string includedKey_;
  std::string includedValue_;
  bool included_ = false;

 private:
  // A present text that does not read as the type is noted on the
  // context, which refuses the operation with it.
  template <typename Parse>
  bool read(const KvbString& key, Parse parse);
};

class IteratorImpl : public MetadataRecordIterator {
 public:
  explicit IteratorImpl(RecordImpl::Section children)
      : children_(std::move(children)) {}
  bool next() override {
    if (position_ <= children_.size()) ++position_;
    return position_ <= children_.size();
  }
  MetadataRecord* current() override {
    return position_ > 0 && position_ <= children_.size()
               ? children_[position_ - 1]
               : nullptr;
  }
  void release() override { delete this; }

 private:
  // A copy, so that children added while walking do not disturb the walk.
  RecordImpl::Section children_;
  size_t position_ = 0;  // 1-based position of the current child
};

bool RecordImpl::addChildRecord(const KvbString& section,
                                MetadataRecord* child) {
  auto* record = static_cast<RecordImpl*>(child);
  if (!child || child == this || record->context_ != context_) return false;
  Section* children = find(sections_, section.str());
  if (!children) {
    sections_.emplace_back(section.str(), Section());
    children = &sections_.back().second;
  }
  if (std::find(children->begin(), children->end(), record) == children->end())
    children->push_back(record);
  return true;
}

MetadataRecordIterator* RecordImpl::getChildRecords(const KvbString& section) {
  Section* children = find(sections_, section.str());
  return children ? new IteratorImpl(*children) : nullptr;
}

using IncludedKey = std::tuple<std::string, std::string, std::string>;

// The records of one reading, before they join the context.
struct ReadRecords {
  std::vector<std::unique_ptr<RecordImpl>> records;
  std::map<IncludedKey, RecordImpl*> included;
  RecordImpl* root = nullptr;
};

class ContextImpl : public MetadataSerializationContext {
 public:
  MetadataRecord* createRecord(const KvbString& typeName,
                               const KvbString& uuid) override {
    if (typeName.isEmpty()) return nullptr;
    records_.push_back(
        std::make_unique<RecordImpl>(this, typeName.str(), uuid.str()));
    return records_.back().get();
  }

  MetadataRecord* includedRecord(const KvbString& typeName,
                                 const KvbString& keyName,
                                 const KvbString& keyValue) override {
    const IncludedKey key{typeName.str(), keyName.str(), keyValue.str()};
    auto found = included_.find(key);
    if (found != included_.end()) return found->second;
    if (readInput_ || typeName.isEmpty() || keyName.isEmpty()) return nullptr;
    auto* record = static_cast<RecordImpl*>(createRecord(typeName, ""));
    markIncluded(record, key);
    included_.emplace(key, record);
    includedOrder_.push_back(record);
    return record;
  }

  void release() override { delete this; }

  bool serialize(MetadataRecord* record, KvbString& output,
                 KvbString& errorText, bool pretty) override;
  MetadataRecord* deserialize(const KvbString& input,
                              KvbString& errorText) override;

  bool setProperty(MetadataRecord* record, const KvbString& name,
                   const KvbString& value) override {
    if (!record) return false;
    static_cast<RecordImpl*>(record)->properties_[name.str()] = value.str();
    return true;
  }
  bool setIntProperty(MetadataRecord* record, const KvbString& name,
                      int value) override {
    return setProperty(record, name, KvbString::fromInt(value));
  }
  bool getProperty(MetadataRecord* record, const KvbString& name,
                   KvbString& out) override {
    if (!record) return false;
    const auto& properties = static_cast<RecordImpl*>(record)->properties_;
    auto found = properties.find(name.str());
    if (found == properties.end()) return false;
    out = KvbString(found->second);
    return true;
  }
  bool getIntProperty(MetadataRecord* record, const KvbString& name,
                      int& out) override {
    KvbString text;
    return getProperty(record, name, text) && text.toInt(out);
  }

  KvbString getUnreadableValue() override { return KvbString(unreadable_); }
  // Keeps the first unreadable value of the operation.
  void noteUnreadable(const std::string& type, const std::string& uuid,
                      const std::string& key, const std::string& text) const {
    if (!unreadable_.empty()) return;
    unreadable_ = "The value \"" + text + "\" of " + key + " in the " + type +
                  (uuid.empty() ? std::string() : " " + uuid) +
                  " record cannot be read as a number";
  }

  void reset() override {
    unreadable_.clear();
    records_.clear();
    included_.clear();
    includedOrder_.clear();
    path_.clear();
    pathType_.clear();
    listener_ = nullptr;
    readInput_ = false;
  }
  void setObjectPath(const KvbString& objectPath,
                     const KvbString& typeName) override {
    path_ = objectPath.str();
    pathType_ = typeName.str();
  }
  void setActionListener(RepositoryActionEvent* listener) override {
    listener_ = listener;
  }
  void logEvent(int level, const KvbString& message) override {
    if (!listener_) return;
    listener_->onActionEvent(
        level, KvbString(path_.empty() ? pathType_ : path_), message);
  }

 private:
  static void markIncluded(RecordImpl* record, const IncludedKey& key) {
    record->included_ = true;
    record->includedKey_ = std::get<1>(key);
    record->includedValue_ = std::get<2>(key);
  }
  bool number(RecordImpl* record, std::map<RecordImpl*, int>& numbers,
              std::vector<RecordImpl*>& order, KvbString& errorText);
  static void write(KvDomNode node, RecordImpl* record, int id,
                    const std::map<RecordImpl*, int>& numbers);

  std::vector<std::unique_ptr<RecordImpl>> records_;
  std::map<IncludedKey, RecordImpl*> included_;
  std::vector<RecordImpl*> includedOrder_;
  std::string path_;
  std::string pathType_;
  RepositoryActionEvent* listener_ = nullptr;
  bool readInput_ = false;  // a deserialize of this operation succeeded
  // The first value of this operation that a typed read could not read.
  mutable std::string unreadable_;
};

template <typename Parse>
bool RecordImpl::read(const KvbString& key, Parse parse) {
  const std::string* value = find(values_, key.str());
  if (!value || value->empty()) return false;
  if (parse(KvbString(*value))) return true;
  context_->noteUnreadable(type_, uuid_, key.str(), *value);
  return false;
}

// Gives `record` and every record below it a number, children first; 0
// marks a record being numbered, so that meeting it again is a cycle.
bool ContextImpl::number(RecordImpl* record,
                         std::map<RecordImpl*, int>& numbers,
                         std::vector<RecordImpl*>& order,
                         KvbString& errorText) {
  auto found = numbers.find(record);
  if (found != numbers.end()) {
    if (found->second > 0) return true;
    errorText = kvbStringFormat(
        "The %s record \"%s\" cannot be written: it is its own descendant",
        record->type_.c_str(), record->uuid_.c_str());
    return false;
  }
  numbers[record] = 0;
  for (auto& section : record->sections_)
    for (RecordImpl* child : section.second)
      if (!number(child, numbers, order, errorText)) return false;
  order.push_back(record);
  numbers[record] = static_cast<int>(order.size());
  return true;
}

void ContextImpl::write(KvDomNode node, RecordImpl* record, int id,
                        const std::map<RecordImpl*, int>& numbers) {
  node.setAttribute("id", KvbString::fromInt(id));
  node.setAttribute("type", KvbString(record->type_));
  if (!record->uuid_.empty()) node.setAttribute("uuid", record->uuid_);
  if (record->included_) {
    node.setAttribute("key", record->includedKey_);
    node.setAttribute("keyValue", record->includedValue_);
  }
  for (auto& value : record->values_)
    node.addChild("value", value.second).setAttribute("key", value.first);
  for (auto& section : record->sections_) {
    KvDomNode element = node.addChild("section");
    element.setAttribute("name", section.first);
    for (RecordImpl* child : section.second)
      element.addChild("child").setAttribute(
          "ref", KvbString::fromInt(numbers.at(child)));
  }
}

bool ContextImpl::serialize(MetadataRecord* record, KvbString& output,
                            KvbString& errorText, bool pretty) {
  auto* root = static_cast<RecordImpl*>(record);
  if (!root || root->context_ != this) {
    errorText = "There is no record to write";
    return false;
  }
  std::map<RecordImpl*, int> numbers;
  std::vector<RecordImpl*> order;
  if (!number(root, numbers, order, errorText)) return false;
  for (RecordImpl* included : includedOrder_)
    if (!number(included, numbers, order, errorText)) return false;
  KvDom document;
  KvDomNode top = document.startDocument(kRootName);
  top.setAttribute("version", kFormatVersion);
  top.setAttribute("root", KvbString::fromInt(numbers.at(root)));
  if (!path_.empty()) top.setAttribute("path", path_);
  int id = 0;
  for (RecordImpl* each : order)
    write(top.addChild("record"), each, ++id, numbers);
  if (!document.saveXML(output, pretty)) {
    errorText = document.getErrorMessage();
    return false;
  }
  return true;
}

// Reads one export document into `read`; false with `problem` naming the
// fault.
class ExportReader {
 public:
  ExportReader(const ContextImpl* context, ReadRecords& read,
               KvbString& problem)
      : context_(context), read_(read), problem_(problem) {}

  bool readDocument(KvDomNode top) {
    KvbString version, rootRef;
    if (top.getName() != KvbString(kRootName))
      return fail("the root element is not \"kvExport\"");
    if (!top.getAttribute("version", version) || version != kFormatVersion)
      return fail("the format version is missing or not 1");
    for (KvDomNode node = top.getFirstChild(); !node.isNull();
         node = node.getNextSibling())
      if (!readRecord(node)) return false;
    int rootId = 0;
    if (!top.getAttribute("root", rootRef) || !rootRef.toInt(rootId) ||
        rootId < 1 || rootId > static_cast<int>(read_.records.size()))
      return fail("the root attribute names no record");
    read_.root = read_.records[rootId - 1].get();
    return true;
  }

 private:
  bool fail(const std::string& what) {
    problem_ = KvbString(what);
    return false;
  }
  bool failAt(const std::string& what) {
    return fail("record " + std::to_string(read_.records.size() + 1) + ": " +
                what);
  }

  bool readRecord(KvDomNode node) {
    KvbString id, type, uuid, key, keyValue;
    int number = 0;
    if (node.getName() != KvbString("record"))
      return fail("unexpected element \"" + node.getName().str() + "\"");
    if (!node.getAttribute("id", id) || !id.toInt(number) ||
        number != static_cast<int>(read_.records.size()) + 1)
      return failAt("its id is missing or out of sequence");
    if (!node.getAttribute("type", type) || type.isEmpty())
      return failAt("it has no type");
    node.getAttribute("uuid", uuid);
    auto record =
        std::make_unique<RecordImpl>(context_, type.str(), uuid.str());
    const bool hasKey = node.getAttribute("key", key);
    if (hasKey != node.getAttribute("keyValue", keyValue) ||
        (hasKey && key.isEmpty()))
      return failAt("its included key is incomplete");
    if (hasKey) {
      const IncludedKey triple{type.str(), key.str(), keyValue.str()};
      if (!read_.included.emplace(triple, record.get()).second)
        return failAt("its included key is given twice");
      record->included_ = true;
      record->includedKey_ = key.str();
      record->includedValue_ = keyValue.str();
    }
    for (KvDomNode part = node.getFirstChild(); !part.isNull();
         part = part.getNextSibling())
      if (!readPart(*record, part)) return false;
    read_.records.push_back(std::move(record));
    return true;
  }

  bool readPart(RecordImpl& record, KvDomNode part) {
    const KvbString name = part.getName();
    KvbString key;
    if (name == KvbString("value")) {
      if (!part.getAttribute("key", key) || key.isEmpty())
        return failAt("a value has no key");
      if (RecordImpl::find(record.values_, key.str()))
        return failAt("the value \"" + key.str() + "\" is given twice");
      record.values_.emplace_back(key.str(), part.getValue().str());
      return true;
    }
    if (name != KvbString("section"))
      return failAt("unexpected element \"" + name.str() + "\"");
    if (!part.getAttribute("name", key) || key.isEmpty())
      return failAt("a section has no name");
    if (RecordImpl::find(record.sections_, key.str()))
      return failAt("the section \"" + key.str() + "\" is given twice");
    RecordImpl::Section children;
    for (KvDomNode child = part.getFirstChild(); !child.isNull();
         child = child.getNextSibling()) {
      KvbString ref;
      int number = 0;
      if (child.getName() != KvbString("child") ||
          !child.getAttribute("ref", ref) || !ref.toInt(number) || number < 1 ||
          number > static_cast<int>(read_.records.size()))
        return failAt("the section \"" + key.str() +
                      "\" refers to no earlier record");
      RecordImpl* target = read_.records[number - 1].get();
      if (std::find(children.begin(), children.end(), target) != children.end())
        return failAt("the section \"" + key.str() + "\" holds a child twice");
      children.push_back(target);
    }
    record.sections_.emplace_back(key.str(), std::move(children));
    return true;
  }

  const ContextImpl* context_;
  ReadRecords& read_;
  KvbString& problem_;
};

MetadataRecord* ContextImpl::deserialize(const KvbString& input,
                                         KvbString& errorText) {
  KvDom document;
  ReadRecords read;
  KvbString problem;
  if (!document.loadXML(input)) {
    problem = document.getErrorMessage();
  } else if (!ExportReader(this, read, problem)
                  .readDocument(document.getRoot())) {
  } else {
    for (auto& record : read.records) {
      const IncludedKey key{record->type_, record->includedKey_,
                            record->includedValue_};
      if (record->included_ && included_.emplace(key, record.get()).second)
        includedOrder_.push_back(record.get());
      records_.push_back(std::move(record));
    }
    readInput_ = true;
    return read.root;
  }
  errorText = "The export text cannot be read: " + problem.str();
  return nullptr;
}

}  // namespace

MetadataSerializationContext* createRepositoryMetadataSerializationContext() {
  return new ContextImpl();
}
