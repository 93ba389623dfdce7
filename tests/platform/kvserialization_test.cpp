// The serialization context: exports read back whole; bad input is refused.
#include "kvreposres/kvserialization.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Context {
  MetadataSerializationContext* context =
      createRepositoryMetadataSerializationContext();
  ~Context() { context->release(); }
  MetadataSerializationContext* operator->() { return context; }
};

std::vector<MetadataRecord*> children(MetadataRecord* record,
                                      const char* section) {
  std::vector<MetadataRecord*> found;
  MetadataRecordIterator* it = record->getChildRecords(section);
  if (!it) return found;
  while (it->next()) found.push_back(it->current());
  EXPECT_EQ(it->current(), nullptr);
  it->release();
  return found;
}

std::string value(MetadataRecord* record, const char* key) {
  KvbString out;
  record->getValue(key, out);
  return out.str();
}

const std::vector<std::string> kTexts = {"",
                                         "plain",
                                         "  two\r\nlines \n",
                                         "a<b>&\"c'",
                                         "<x a=\"1\"/>",
                                         "caf\xC3\xA9 \xE2\x82\xAC",
                                         "tab\tand\x01"
                                         "ctl",
                                         "]]>"};

// A rule with two fields, one of them included and shared with a custom
// metric, and a threshold that is included but sits in no section.
MetadataRecord* buildExport(MetadataSerializationContext* context) {
  MetadataRecord* rule = context->createRecord("Rule", "u-rule");
  for (size_t i = 0; i < kTexts.size(); ++i)
    rule->setValue(KvbString("K" + std::to_string(i)), KvbString(kTexts[i]));
  MetadataRecord* shared = context->includedRecord("Field", "FI_NAME", "f\n1");
  shared->setValue("FI_NAME", "f\n1");
  MetadataRecord* plain = context->createRecord("Field", "u-f2");
  rule->addChildRecord("Fields", shared);
  rule->addChildRecord("Fields", plain);
  rule->addChildRecord("Fields", shared);  // no second copy
  MetadataRecord* metric = context->createRecord("CustomMetric", "u-cm");
  rule->addChildRecord("CustomMetrics", metric);
  metric->addChildRecord("Fields", shared);
  context->includedRecord("Threshold", "THR_ID", "7")
      ->setValue("THR_NAME", "t");
  context->setIntProperty(rule, "TARGETID", 12);
  return rule;
}

TEST(SerializationContextTest, ExportReadsBackWholeInAFreshContext) {
  Context from, to;
  MetadataRecord* rule = buildExport(from.context);
  from->setObjectPath("Folder/My rule", "Rule");
  KvbString text, error;
  ASSERT_TRUE(from->serialize(rule, text, error, true)) << error.str();

  MetadataRecord* read = to->deserialize(text, error);
  ASSERT_NE(read, nullptr) << error.str();
  EXPECT_EQ(read->getTypeName().str(), "Rule");
  EXPECT_EQ(read->getUUID().str(), "u-rule");
  for (size_t i = 0; i < kTexts.size(); ++i)
    EXPECT_EQ(value(read, ("K" + std::to_string(i)).c_str()), kTexts[i]);
  const auto fields = children(read, "Fields");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(value(fields[0], "FI_NAME"), "f\n1");
  EXPECT_EQ(fields[1]->getUUID().str(), "u-f2");
  const auto metrics = children(read, "CustomMetrics");
  ASSERT_EQ(metrics.size(), 1u);
  EXPECT_EQ(children(metrics[0], "Fields"),
            std::vector<MetadataRecord*>{fields[0]});  // still one record
  EXPECT_EQ(to->includedRecord("Field", "FI_NAME", "f\n1"), fields[0]);
  MetadataRecord* threshold = to->includedRecord("Threshold", "THR_ID", "7");
  ASSERT_NE(threshold, nullptr);
  EXPECT_EQ(value(threshold, "THR_NAME"), "t");
  // After a read nothing is made up: an object the file lacks is absent.
  EXPECT_EQ(to->includedRecord("Threshold", "THR_ID", "8"), nullptr);
  int target = -1;
  EXPECT_FALSE(to->getIntProperty(read, "TARGETID", target));  // not written
  EXPECT_EQ(target, -1);

  KvbString again, compact;
  to->setObjectPath("Folder/My rule", "Rule");
  ASSERT_TRUE(to->serialize(read, again, error, true));
  EXPECT_EQ(again.str(), text.str());  // the same content, the same text
  ASSERT_TRUE(from->serialize(rule, compact, error, false));
  EXPECT_LT(compact.length(), text.length());
  EXPECT_NE(to->deserialize(compact, error), nullptr);
}

TEST(SerializationContextTest, IncludedRecordsAreMadeOnceUntilReset) {
  Context context;
  MetadataRecord* first = context->includedRecord("Rule", "RU_ID", "3");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(context->includedRecord("Rule", "RU_ID", "3"), first);
  EXPECT_NE(context->includedRecord("Rule", "RU_DESC", "3"), first);
  EXPECT_EQ(context->includedRecord("", "RU_ID", "3"), nullptr);
  context->reset();
  EXPECT_NE(context->includedRecord("Rule", "RU_ID", "3"), nullptr);
}

TEST(SerializationContextTest, ValuesPropertiesAndEvents) {
  struct Listener : RepositoryActionEvent {
    std::vector<std::string> lines;
    bool onActionEvent(int level, const KvbString& source,
                       const KvbString& message) override {
      lines.push_back(std::to_string(level) + " " + source.str() + " " +
                      message.str());
      return true;
    }
    void release() override {}
  } listener;
  Context context;
  MetadataRecord* record = context->createRecord("Rule", "");
  record->setValue("N", " 42 ");
  record->setValue("D", "0.1");
  record->setValue("B", "0");
  record->setValue("E", "");
  record->setValue("X", "4x");
  int number = -1;
  double real = -1;
  bool flag = true;
  EXPECT_TRUE(record->getIntValue("N", number) && number == 42);
  EXPECT_TRUE(record->getRealValue("D", real) && real == 0.1);
  EXPECT_TRUE(record->getBoolValue("B", flag) && !flag);
  for (const char* key : {"E", "X", "missing"}) {
    number = -1;
    EXPECT_FALSE(record->getIntValue(key, number));
    EXPECT_EQ(number, -1) << key;  // the preset stays
  }
  KvbString text = "preset";
  EXPECT_FALSE(record->getValue("missing", text));
  EXPECT_EQ(text.str(), "");
  EXPECT_FALSE(context->getProperty(record, "TARGETUUID", text));
  context->setProperty(record, "TARGETUUID", "u");
  EXPECT_TRUE(context->getProperty(record, "TARGETUUID", text));
  EXPECT_EQ(text.str(), "u");
  EXPECT_EQ(record->getChildRecords("none"), nullptr);
  EXPECT_FALSE(record->addChildRecord("self", record));

  context->logEvent(2, "dropped: no listener yet");
  context->setActionListener(&listener);
  context->setObjectPath("F/R", "Rule");
  context->logEvent(0, "bad");
  context->reset();
  context->logEvent(1, "dropped: reset forgets the listener");
  EXPECT_EQ(listener.lines, std::vector<std::string>{"0 F/R bad"});
}

TEST(SerializationContextTest, ACycleOfSectionsIsNotWritten) {
  Context context;
  MetadataRecord* a = context->createRecord("A", "");
  MetadataRecord* b = context->createRecord("B", "");
  a->addChildRecord("s", b);
  b->addChildRecord("s", a);
  KvbString text, error;
  EXPECT_FALSE(context->serialize(a, text, error, true));
  EXPECT_NE(error.str().find("its own descendant"), std::string::npos);
  // Nor is a record that is not the context's own.
  Context other;
  EXPECT_FALSE(other->serialize(a, text, error, true));
  EXPECT_EQ(error.str(), "There is no record to write");
  EXPECT_FALSE(other->serialize(nullptr, text, error, true));
}

std::string wrap(const std::string& records, const char* root = "1") {
  return std::string("<kvExport version=\"1\" root=\"") + root + "\">" +
         records + "</kvExport>";
}

TEST(SerializationContextTest, InputThatIsNoWholeExportIsRefusedWithAReason) {
  const std::string one = "<record id=\"1\" type=\"Field\"/>";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"not xml", "The export text cannot be read: "},
      {"<other/>", "the root element is not"},
      {"<kvExport root=\"1\">" + one + "</kvExport>", "format version"},
      {wrap(one, "2"), "the root attribute names no record"},
      {wrap("<record id=\"2\" type=\"A\"/>"),
       "id is missing or out of sequence"},
      {wrap("<record id=\"1\"/>"), "record 1: it has no type"},
      {wrap("<record id=\"1\" type=\"A\"><section name=\"s\"><child "
            "ref=\"1\"/></section></record>"),
       "record 1: the section \"s\" refers to no earlier record"},
      {wrap(one + "<record id=\"2\" type=\"A\"><section name=\"s\"><child "
                  "ref=\"1\"/><child ref=\"1\"/></section></record>",
            "2"),
       "holds a child twice"},
      {wrap("<record id=\"1\" type=\"A\"><value key=\"K\"/><value "
            "key=\"K\"/></record>"),
       "the value \"K\" is given twice"},
      {wrap("<record id=\"1\" type=\"A\" key=\"K\"/>"), "incomplete"},
      {wrap("<record id=\"1\" type=\"A\" key=\"K\" keyValue=\"v\"/><record "
            "id=\"2\" type=\"A\" key=\"K\" keyValue=\"v\"/>"),
       "record 2: its included key is given twice"},
      {"<!DOCTYPE kvExport [<!ENTITY e SYSTEM \"/etc/passwd\">]>" +
           wrap("<record id=\"1\" type=\"A\"><value key=\"K\">&e;</value>"
                "</record>"),
       "document type declarations are not accepted"},
      {wrap("<record id=\"1\" type=\"A\"><junk/></record>"),
       "unexpected element \"junk\""},
      {wrap(one + "<junk/>"), "unexpected element \"junk\""},
      {wrap("<record id=\"1\" type=\"A\"><value/></record>"),
       "record 1: a value has no key"},
      {wrap("<record id=\"1\" type=\"A\"><section/></record>"),
       "record 1: a section has no name"},
      {wrap("<record id=\"1\" type=\"A\"><section name=\"s\"/><section "
            "name=\"s\"/></record>"),
       "record 1: the section \"s\" is given twice"},
  };
  for (const auto& [input, expected] : cases) {
    Context context;
    KvbString error;
    EXPECT_EQ(context->deserialize(KvbString(input), error), nullptr) << input;
    EXPECT_NE(error.str().find(expected), std::string::npos) << input << "\n"
                                                             << error.str();
  }
}

TEST(SerializationContextTest, EveryTruncationOfAnExportIsRefused) {
  Context context;
  KvbString text, error;
  ASSERT_TRUE(
      context->serialize(buildExport(context.context), text, error, false));
  for (size_t length = 0; length + 1 < text.length(); ++length) {
    Context reader;
    EXPECT_EQ(reader->deserialize(text.substr(0, length), error), nullptr)
        << length;
    EXPECT_FALSE(error.isEmpty());
  }
}

}  // namespace
