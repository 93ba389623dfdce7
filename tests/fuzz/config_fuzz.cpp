// Fuzz target: the reader of the key=value configuration file, with the
// shape of each option it yields.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kvbase/kvbase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const kvb_detail::ConfigLine& line : kvb_detail::parseConfigText(
           std::string(reinterpret_cast<const char*>(data), size))) {
    for (const KvbString* text : {&line.key, &line.value})
      require(!text->isNull() && KvbString(*text).trim() == *text &&
                  text->find('\n') == KvbString::npos,
              "keys and values are trimmed single-line texts");
  }
  return 0;
}
