// ui::strToInt against an independent parse: accepted texts give the same
// value, everything else throws ConvertError with the framework's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Check.h"
#include "ui/Convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto expected = fuzz::referenceInt(text);
  try {
    const std::int32_t value = ui::strToInt(text);
    FUZZ_CHECK(expected.has_value());
    FUZZ_CHECK(value == *expected);
  } catch (const ui::ConvertError& e) {
    FUZZ_CHECK(!expected.has_value());
    // A zero byte would end what(): it is shown as U+FFFD.
    std::string shown;
    for (const char c : text) shown += c == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    FUZZ_CHECK(std::string(e.what()) == "'" + shown + "' is not a valid integer value");
  }
  return 0;
}
