// Fuzz target: the XML layer. A document it accepts is walked whole, and
// what it writes of that document must read back.
#include "fuzz/fuzz_input.h"
#include "kvxmldom/kvxmldom.h"

namespace {
// Visits every element and attribute; gives the number of elements.
int walk(KvDomNode node) {
  int count = 0;
  for (; !node.isNull(); node = node.getNextSibling()) {
    ++count;
    node.getValue();
    std::vector<KvbString> names;
    node.getAttributeNames(names);
    KvbString value;
    for (const KvbString& name : names)
      require(node.getAttribute(name, value), "a listed attribute is there");
    count += walk(node.getFirstChild());
  }
  return count;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KvDom dom;
  if (!dom.loadXML(KvbString(reinterpret_cast<const char*>(data), size))) {
    require(!dom.getErrorMessage().isEmpty(), "a refusal has a reason");
    return 0;
  }
  const int elements = walk(dom.getRoot());
  const std::string copy = inputFile("copy.xml", nullptr, 0);
  require(dom.createFile(copy.c_str(), false), "a read document is written");
  KvDom again;
  require(again.loadFile(copy.c_str()), "a written document reads back");
  require(walk(again.getRoot()) == elements, "it keeps its elements");
  return 0;
}
