// Arbitrary bytes, decoded as the story files are (Shift-JIS or UTF-8) and fed in pieces
// whose sizes the input chooses.
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
  // The first byte chooses the pieces' size and the decoder; the bytes are decoded in
  // pieces of that size too, as a file's blocks are.
  const size_t piece = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t bom;
  (void)DetectStoryEncoding(bytes, bom);
  TStoryDecoder decoder(data[0] & 0x80 ? TStoryEncoding::Utf8 : TStoryEncoding::CP932);
  WideString text;
  for (size_t pos = 0; pos < bytes.size(); pos += piece)
    decoder.Decode(bytes.substr(pos, piece), pos + piece >= bytes.size(), text);
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
