// Fuzz target: the reader of export files. A refusal must say why; a file
// it accepts must write back into a text that reads again and writes back
// to the same text, so that nothing accepted is lost on the next export.
#include "fuzz/fuzz_input.h"
#include "kvreposres/kvserialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MetadataSerializationContext* context =
      createRepositoryMetadataSerializationContext();
  KvbString error, first, second;
  MetadataRecord* root = context->deserialize(
      KvbString(reinterpret_cast<const char*>(data), size), error);
  if (!root) {
    require(!error.isEmpty(), "a refusal has a reason");
  } else {
    require(context->serialize(root, first, error, false),
            "an accepted file writes back");
    context->reset();
    MetadataRecord* again = context->deserialize(first, error);
    require(again != nullptr, "what was written reads again");
    require(context->serialize(again, second, error, false) &&
                second.str() == first.str(),
            "the second writing gives the same text");
  }
  context->release();
  return 0;
}
