#include "CodePage.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

iconv_t OpenOrDie(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) throw EConvertError(std::string("code page conversion unavailable: ") + from + " to " + to);
  return cd;
}

// One converter per thread and direction; iconv descriptors carry state and must not be
// shared between threads.
struct ThreadConverters {
  iconv_t toWide = OpenOrDie("UTF-16LE", "CP932");
  iconv_t fromWide = OpenOrDie("CP932", "UTF-16LE");
  ~ThreadConverters() {
    iconv_close(toWide);
    iconv_close(fromWide);
  }
};

ThreadConverters& Converters() {
  thread_local ThreadConverters c;
  return c;
}

// Decodes as much of [in, in + len) as possible into `out` (room for len units).
// Returns the number of bytes left undecoded at the end because they form an incomplete
// character (0 or 1); invalid bytes are replaced and skipped.
size_t DecodeRun(iconv_t cd, const char* in, size_t len, WideString& out) {
  const size_t start = out.size();
  out.resize(start + len);  // CP932 never yields more UTF-16 units than bytes
  char* outp = reinterpret_cast<char*>(out.data() + start);
  size_t outLeft = len * 2;
  char* inp = const_cast<char*>(in);
  size_t inLeft = len;
  size_t pending = 0;
  while (inLeft > 0) {
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1)) break;
    if (errno == EINVAL) {  // incomplete character at the end
      pending = inLeft;
      break;
    }
    // EILSEQ (or anything unexpected): one byte becomes U+FFFD.
    const char16_t r = kReplacement;
    std::memcpy(outp, &r, 2);
    outp += 2;
    outLeft -= 2;
    ++inp;
    --inLeft;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(start + (len * 2 - outLeft) / 2);
  return pending;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

WideString CP932ToWide(std::string_view bytes) {
  WideString out;
  iconv_t cd = Converters().toWide;
  const size_t pending = DecodeRun(cd, bytes.data(), bytes.size(), out);
  out.append(pending, kReplacement);
  return out;
}

std::string WideToCP932(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  iconv_t cd = Converters().fromWide;
  char* inp = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inLeft = text.size() * 2;
  char* outp = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1)) break;
    // A character without a CP932 form (or a broken surrogate) becomes '?'.
    size_t skip = 2;
    if (inLeft >= 4) {
      char16_t u, v;
      std::memcpy(&u, inp, 2);
      std::memcpy(&v, inp + 2, 2);
      if (u >= 0xD800 && u < 0xDC00 && v >= 0xDC00 && v < 0xE000) skip = 4;
    }
    if (inLeft < skip) skip = inLeft;
    *outp++ = '?';
    --outLeft;
    inp += skip;
    inLeft -= skip;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(out.size() - outLeft);
  return out;
}

WideString Utf8ToWide(std::string_view text) {
  WideString out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out += char16_t(b);
      ++i;
      continue;
    }
    int len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    char32_t c = len == 4 ? (b & 0x07) : len == 3 ? (b & 0x0F) : (b & 0x1F);
    bool ok = len > 0 && b < 0xF5 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (s[i + k] & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))) ok = false;
    if (!ok) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
    i += size_t(len);
  }
  return out;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string CP932ToUtf8(std::string_view bytes) { return WideToUtf8(CP932ToWide(bytes)); }
std::string Utf8ToCP932(std::string_view text) { return WideToCP932(Utf8ToWide(text)); }

TCP932Decoder::TCP932Decoder() : FCd(OpenOrDie("UTF-16LE", "CP932")) {}

TCP932Decoder::~TCP932Decoder() { iconv_close(static_cast<iconv_t>(FCd)); }

void TCP932Decoder::Decode(std::string_view bytes, bool last, WideString& out) {
  iconv_t cd = static_cast<iconv_t>(FCd);
  if (FHasPending && !bytes.empty()) {
    // Join the kept lead byte with the first byte of this piece.
    const char pair[2] = {FPending, bytes[0]};
    const size_t before = out.size();
    const size_t left = DecodeRun(cd, pair, 2, out);
    FHasPending = false;
    if (left == 0 && out.size() == before + 1 && out.back() != kReplacement) {
      bytes.remove_prefix(1);  // the pair was one character
    } else {
      // The lead byte did not start a character with this trail: it stands alone and
      // the trail byte is decoded again on its own.
      out.resize(before);
      out += kReplacement;
    }
  }
  const size_t left = DecodeRun(cd, bytes.data(), bytes.size(), out);
  if (left > 0) {
    if (last) {
      out.append(left, kReplacement);
    } else {
      FPending = bytes[bytes.size() - 1];
      FHasPending = true;
    }
  } else if (last && FHasPending) {
    out += kReplacement;
    FHasPending = false;
  }
}

namespace {

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiLower(s[at + i]) != word[i]) return false;
  return true;
}

// The tag's name at head[at] is `word` (then a blank, '/', '>' or the end).
bool IsTagNamed(std::string_view head, size_t at, std::string_view word) {
  if (!StartsWithNoCase(head, at, word)) return false;
  const size_t end = at + word.size();
  return end == head.size() || !std::isalnum(static_cast<unsigned char>(head[end]));
}

// The tag's text from its '<' to its '>' (or the end) declares charset=utf-8 or utf8.
bool DeclaresUtf8(std::string_view tag) {
  for (size_t at = 0; (at = tag.find_first_of("cC", at)) != std::string_view::npos; ++at) {
    if (!StartsWithNoCase(tag, at, "charset")) continue;
    size_t i = at + 7;
    while (i < tag.size() && IsAsciiSpace(tag[i])) ++i;
    if (i == tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && IsAsciiSpace(tag[i])) ++i;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) ++i;
    if (StartsWithNoCase(tag, i, "utf-8") || StartsWithNoCase(tag, i, "utf8")) {
      const size_t end = i + (StartsWithNoCase(tag, i, "utf-8") ? 5 : 4);
      if (end == tag.size() || !std::isalnum(static_cast<unsigned char>(tag[end]))) return true;
    }
  }
  return false;
}

}  // namespace

TStoryEncoding DetectStoryEncoding(std::string_view start, size_t& bomLength) {
  bomLength = 0;
  if (start.substr(0, 3) == "\xEF\xBB\xBF") {
    bomLength = 3;
    return TStoryEncoding::Utf8;
  }
  // '<' and '>' are never the second byte of a CP932 character, so the tags of the head
  // can be found in the bytes before knowing how they are written.
  const std::string_view head = start.substr(0, kEncodingSniffBytes);
  for (size_t at = 0; (at = head.find('<', at)) != std::string_view::npos;) {
    if (head.compare(at, 4, "<!--") == 0) {
      const size_t end = head.find("-->", at + 4);
      if (end == std::string_view::npos) break;
      at = end + 3;
      continue;
    }
    const size_t close = head.find('>', at);
    if (close == std::string_view::npos) break;  // a tag never closed declares nothing
    const std::string_view tag = head.substr(at, close - at + 1);
    size_t name = at + 1;
    while (name < head.size() && IsAsciiSpace(head[name])) ++name;
    if (IsTagNamed(head, name, "body") || IsTagNamed(head, name, "/head") || IsTagNamed(head, name, "kn")) break;
    if (IsTagNamed(head, name, "meta") && DeclaresUtf8(tag)) return TStoryEncoding::Utf8;
    at = close + 1;
  }
  return TStoryEncoding::CP932;
}

void TStoryDecoder::Decode(std::string_view bytes, bool last, WideString& out) {
  if (FEncoding == TStoryEncoding::CP932) return FCp932.Decode(bytes, last, out);
  std::string_view text = bytes;
  std::string joined;
  if (!FPending.empty()) {
    joined = FPending;
    joined.append(bytes);
    FPending.clear();
    text = joined;
  }
  if (!last) {
    // Keep a character the piece ends inside of: a lead byte among its last three whose
    // sequence is longer than what follows it.
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
      const auto b = static_cast<unsigned char>(text[text.size() - back]);
      if ((b & 0xC0) == 0x80) continue;
      const size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      if (len > back) {
        FPending.assign(text.substr(text.size() - back));
        text.remove_suffix(back);
      }
      break;
    }
  }
  out += Utf8ToWide(text);
}

size_t ControlCharacterAt(std::string_view text, size_t at, uint8_t& code) {
  const auto c = static_cast<uint8_t>(text[at]);
  if (c < 0x20 || c == 0x7F) {
    code = c;
    return 1;
  }
  // U+0080 to U+009F are C2 80 to C2 9F.
  if (c == 0xC2 && at + 1 < text.size()) {
    const auto next = static_cast<uint8_t>(text[at + 1]);
    if (next >= 0x80 && next <= 0x9F) {
      code = next;
      return 2;
    }
  }
  return 0;
}

std::string EscapeControls(std::string_view utf8, bool backslashes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    uint8_t code;
    if (const size_t n = ControlCharacterAt(utf8, i, code)) {
      out += "\\x";
      out += kHex[code >> 4];
      out += kHex[code & 15];
      i += n;
    } else {
      if (backslashes && utf8[i] == '\\') out += '\\';
      out += utf8[i++];
    }
  }
  return out;
}

std::string LogName(std::string_view utf8, size_t maxChars) {
  WideString text = Utf8ToWide(utf8);
  const bool cut = text.size() > maxChars;
  if (cut) {
    text.resize(maxChars);
    if (!text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00) text.pop_back();  // half a pair
  }
  return EscapeControls(WideToUtf8(text)) + (cut ? "..." : "");
}
