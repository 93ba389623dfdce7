// Fuzz target: the reader of the key=value configuration file, with the
// shape of each option it yields and of each warning it gives. Seeds:
// corpus/config/ (bom.cfg begins with a UTF-8 byte-order mark).
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kvbase/kvbase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kvb_detail::ConfigFile file = kvb_detail::parseConfigText(
      std::string(reinterpret_cast<const char*>(data), size), "fuzz.cfg");
  int previous = 0;
  for (const kvb_detail::ConfigLine& line : file.lines) {
    for (const KvbString* text : {&line.key, &line.value})
      require(!text->isNull() && KvbString(*text).trim() == *text &&
                  text->find('\n') == KvbString::npos,
              "keys and values are trimmed single-line texts");
    require(!line.key.isEmpty() && line.line > previous,
            "each option has a key and a line of its own, in order");
    previous = line.line;
  }
  for (const std::string& warning : file.warnings) {
    require(warning.rfind("The configuration file \"fuzz.cfg\", line ", 0) ==
                0,
            "each warning names the file and the line");
    // Its quote is cut to 80 bytes, with NUL bytes shown as "<NUL>".
    require(warning.size() < 80 * 5 + 200 &&
                warning.find('\0') == std::string::npos,
            "each warning's quote is short and holds no NUL byte");
  }
  return 0;
}
