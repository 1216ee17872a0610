// Text conversions between the story files' code page (CP932, Shift-JIS with the NEC and
// IBM extensions), UTF-16 and UTF-8. Invalid input never fails: an undecodable byte becomes
// U+FFFD, a character CP932 lacks becomes '?', a lone surrogate becomes U+FFFD in UTF-8.
// Threads: the free functions may be called from any thread; a TCP932Decoder is used by
// one thread at a time.
#pragma once

#include <string>
#include <string_view>

#include "SysUtils.h"

SVP_API WideString CP932ToWide(std::string_view bytes);
SVP_API std::string WideToCP932(std::u16string_view text);
SVP_API WideString Utf8ToWide(std::string_view text);
SVP_API std::string WideToUtf8(std::u16string_view text);
SVP_API std::string CP932ToUtf8(std::string_view bytes);
SVP_API std::string Utf8ToCP932(std::string_view text);

// The control character (C0, DEL, or C1 written in UTF-8) that starts at text[at]: its
// code point in `code` and its length in bytes; 0 when none starts there. Text a story
// supplies is printed with these escaped, so that it can never drive a terminal.
SVP_API size_t ControlCharacterAt(std::string_view text, size_t at, uint8_t& code);
// The text with each control character written \xHH (its code point); `backslashes`
// doubles every backslash too, so that the escapes can be read back.
SVP_API std::string EscapeControls(std::string_view utf8, bool backslashes = false);
// A name from a story or a save as a log line shows it: valid UTF-8, controls escaped, at
// most `maxChars` characters and then "...".
SVP_API std::string LogName(std::string_view utf8, size_t maxChars = 200);

// How a story's script or scene file is written.
enum class TStoryEncoding : uint8_t { CP932, Utf8 };
// The head of a file that is looked at for its encoding.
constexpr size_t kEncodingSniffBytes = 64 * 1024;
// UTF-8 when the bytes begin with its byte order mark (its length goes to `bomLength`, else
// 0) or when their head declares it: a META tag whose charset is utf-8 (any case, quoted or
// not, also inside a content attribute) before BODY, </HEAD> or a scene file's root, within
// the first kEncodingSniffBytes and outside comments. CP932 otherwise.
SVP_API TStoryEncoding DetectStoryEncoding(std::string_view start, size_t& bomLength);

// Decodes CP932 arriving in pieces: a lead byte that ends one piece is kept and joined
// with the first byte of the next, so a character split between pieces decodes whole.
class SVP_API TCP932Decoder {
 public:
  TCP932Decoder();
  ~TCP932Decoder();
  TCP932Decoder(const TCP932Decoder&) = delete;
  TCP932Decoder& operator=(const TCP932Decoder&) = delete;

  // Appends the decoded text of `bytes` to `out`. With `last` set a pending lead byte is
  // flushed as U+FFFD instead of being kept for the next piece.
  void Decode(std::string_view bytes, bool last, WideString& out);
  void Reset() { FHasPending = false; }

 private:
  void* FCd;
  bool FHasPending = false;
  char FPending = 0;
};

// Decodes a story file arriving in pieces in its encoding: CP932 as TCP932Decoder does, or
// UTF-8, where an invalid byte becomes U+FFFD and a character split between pieces decodes
// whole.
class SVP_API TStoryDecoder {
 public:
  explicit TStoryDecoder(TStoryEncoding encoding) : FEncoding(encoding) {}
  void Decode(std::string_view bytes, bool last, WideString& out);
  TStoryEncoding Encoding() const { return FEncoding; }

 private:
  TStoryEncoding FEncoding;
  TCP932Decoder FCp932;
  std::string FPending;  // the start of a UTF-8 character the last piece ended in
};
