// Fuzz target: the reader of the key=value configuration file.
#include <cstdint>
#include <string>

#include "kvbase/kvbase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvb_detail::parseConfigText(
      std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
