// The calculator and the integer and boolean conversions on arbitrary text.
#include "FuzzSupport.h"
#include "common/Calc2.h"
#include "platform/CodePage.h"

namespace {
void Variable(void*, const AnsiString& token, int32_t& value) {
  if (token.size() > 3) throw EConvertError("unknown " + token);
  value = int32_t(token.size() * 1000003u);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const WideString text = CP932ToWide(bytes);
  TCalc calc;
  calc.OnVariable = Variable;
  try {
    if (calc.Parse(text)) calc.Evaluate();
  } catch (const Exception&) {
  }
  int32_t v;
  TryStrToInt(bytes, v);
  TryStrToInt(std::u16string_view(text), v);
  try {
    (void)StrToBool(std::u16string_view(text));
  } catch (const Exception&) {
  }
  return 0;
}
