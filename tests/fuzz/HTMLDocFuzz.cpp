// Arbitrary bytes, decoded as the story files are and fed in pieces whose sizes the
// input chooses.
#include <cstddef>
#include <cstdint>

#include "common/HTMLDoc.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (SetMessageDlgHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons) {
                               return int(mrOk);
                             }),
                             true);
  (void)quiet;
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  const WideString text = CP932ToWide(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  THTMLDoc doc;
  for (size_t pos = 0; pos < text.size(); pos += piece) {
    try {
      doc.Parse(std::u16string_view(text).substr(pos, piece));
    } catch (const Exception&) {
    }
  }
  try {
    THTMLTag tag(text);
  } catch (const Exception&) {
  }
  return 0;
}
