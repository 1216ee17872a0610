#include "player/Translation.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <filesystem>
#include <set>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/Commands.h"
#include "player/Place.h"
#include "player/StoryFolder.h"

namespace {

constexpr size_t kMaxLanguageName = 60;

const TCommand* CommandAt(const TScriptLoader& script, int32_t i) { return FindCommand(script.CommandName(i)); }

// The page that waits at `wait`, having begun after `from`.
TStoryPage ReadPage(const TScriptLoader& script, int32_t from, int32_t wait) {
  TStoryPage page;
  page.Wait = wait;
  page.Key = PageKey(script, wait);
  int32_t start = from;  // the last CLEAR's, where the page's own lines begin
  for (int32_t i = wait - 1; i > from; --i) {
    const TCommand* c = CommandAt(script, i);
    if (c && c->Page == TPageEffect::Clear) {
      start = i;
      break;
    }
  }
  page.ScriptLine = script.CommandLine(wait);
  for (int32_t i = from + 1; i < wait; ++i) {
    const TCommand* c = CommandAt(script, i);
    if (!c) continue;
    if (c->Id == TCommandId::Speaker) {
      page.SpeakerCommand = i;
      page.Speaker = script.CommandParam(i);
    }
    if (i <= start) continue;
    if (c->Page == TPageEffect::Choice) page.Choice = true;
    if (c->Page == TPageEffect::AddText) {
      if (page.Lines.empty()) page.Lines.emplace_back();
      if (page.FirstText < 0) page.FirstText = i;
      page.Lines.back() += script.CommandParam(i);
      if (page.FirstText == i) page.ScriptLine = script.CommandLine(i);
    } else if (c->Page == TPageEffect::NewLine) {
      if (page.Lines.empty()) page.Lines.emplace_back();
      page.Lines.emplace_back();
    }
  }
  return page;
}

std::string Hex64(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, v);
  return text;
}

bool ParseHex64(std::string_view s, uint64_t& v) {
  if (s.size() != 16) return false;
  v = 0;
  for (const char c : s) {
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return false;
    v = v << 4 | uint64_t(d);
  }
  return true;
}

// The text after a line's marker: "< text" and "<text" are both "text"; "<" alone is empty.
WideString ValueAfter(std::string_view line, size_t marker) {
  std::string_view rest = line.substr(marker);
  if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
  // A story's text holds no line breaks nor other controls: a translation's keeps none.
  WideString text = Utf8ToWide(rest);
  std::replace_if(
      text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; }, u' ');
  return text;
}

void AppendLine(std::string& out, const char* marker, const WideString& text) {
  out += marker;
  if (!text.empty()) out += ' ' + WideToUtf8(text);
  out += '\n';
}

}  // namespace

std::vector<TStoryPage> ListPages(const TScriptLoader& script, bool everyOne) {
  std::vector<TStoryPage> pages;
  std::set<uint64_t> seen;
  int32_t from = -1;
  for (int32_t i = 0; i <= script.LastIndex(); ++i) {
    const TCommand* c = CommandAt(script, i);
    if (!c || c->Flow != TFlow::Waits) continue;
    TStoryPage page = ReadPage(script, from, i);
    from = i;
    if (page.HasText() && (everyOne || seen.insert(page.Key).second)) pages.push_back(std::move(page));
  }
  return pages;
}

bool TTranslationEntry::Translated() const {
  return std::any_of(Text.begin(), Text.end(), [](const WideString& t) { return !t.empty(); });
}

void TTranslation::Parse(const std::string& text, std::vector<std::string>& notes) {
  FEntries.clear();
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  TTranslationEntry* entry = nullptr;
  int32_t lineNo = 0;
  auto note = [&](const std::string& what) { notes.push_back(std::to_string(lineNo) + ": " + what); };
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      uint64_t key;
      if (close == std::string_view::npos || !ParseHex64(line.substr(1, close - 1), key)) {
        entry = nullptr;
        note("a page's key is 16 hexadecimal digits in brackets");
        continue;
      }
      if (FEntries.size() >= kMaxEntries) {
        note("too many entries: the rest are passed over");
        break;
      }
      FEntries.emplace_back();
      entry = &FEntries.back();
      entry->Key = key;
      entry->Line = lineNo;
      const std::string_view marks = line.substr(close + 1);
      entry->Stale = marks.find("stale") != std::string_view::npos;
      entry->Unused = marks.find("unused") != std::string_view::npos;
      continue;
    }
    if (line.rfind("language:", 0) == 0 && !entry) {
      // A name to show: text without controls, its leading blanks and all past
      // kMaxLanguageName left out.
      WideString name = ValueAfter(line, 9);
      name.erase(0, name.find_first_not_of(u' '));
      if (name.size() > kMaxLanguageName) {
        name.resize(kMaxLanguageName);
        if (name.back() >= 0xD800 && name.back() < 0xDC00) name.pop_back();  // half a pair
      }
      FLanguage = WideToUtf8(name);
      continue;
    }
    if (!entry) {
      note("a line outside any page's entry");
      continue;
    }
    if (line.rfind("speaker<", 0) == 0) {
      entry->HasSpeaker = true;
      entry->OriginalSpeaker = ValueAfter(line, 8);
    } else if (line.rfind("speaker>", 0) == 0) {
      entry->HasSpeaker = true;
      entry->Speaker = ValueAfter(line, 8);
    } else if (line[0] == '<') {
      entry->Original.push_back(ValueAfter(line, 1));
    } else if (line[0] == '>') {
      entry->Text.push_back(ValueAfter(line, 1));
    } else {
      note(
          "a line of an entry begins with '<', '>', \"speaker<\" or "
          "\"speaker>\"");
    }
  }
  Index();
}

void TTranslation::Index() {
  FByKey.clear();
  for (size_t i = 0; i < FEntries.size(); ++i) FByKey.emplace(FEntries[i].Key, i);
}

const TTranslationEntry* TTranslation::Find(uint64_t key) const {
  const auto it = FByKey.find(key);
  return it == FByKey.end() ? nullptr : &FEntries[it->second];
}

std::string TTranslation::Format() const {
  std::string out =
      "# A translation of the story, for Sorvane. Each page: its "
      "key in brackets, its lines as the\n"
      "# story has them after \"<\", as translated after \">\"; "
      "a speaker after \"speaker<\" and\n"
      "# \"speaker>\". \"stale\" after a key: the original "
      "changed since; \"unused\": no page has it.\n";
  if (!FLanguage.empty()) out += "language: " + FLanguage + "\n";
  for (const TTranslationEntry& e : FEntries) {
    out += '\n';
    if (e.ScriptLine > 0) out += std::string("# ") + kStoryScript + ":" + std::to_string(e.ScriptLine) + '\n';
    out += "[" + Hex64(e.Key) + "]";
    if (e.Stale) out += " stale";
    if (e.Unused) out += " unused";
    out += '\n';
    if (e.HasSpeaker) {
      AppendLine(out, "speaker<", e.OriginalSpeaker);
      AppendLine(out, "speaker>", e.Speaker);
    }
    for (const WideString& line : e.Original) AppendLine(out, "<", line);
    for (const WideString& line : e.Text) AppendLine(out, ">", line);
  }
  return out;
}

bool ValidLanguage(const std::string& language) {
  if (language.empty() || language.size() > 32) return false;
  return std::all_of(language.begin(), language.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

std::string TranslationFile(const std::string& language) { return "tl/" + language + ".txt"; }

std::vector<std::string> StoryLanguages() {
  std::vector<std::string> languages;
  const std::string folder = ResolveFileName(std::string_view("tl"));
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error) || !InsideStoryFolder(folder)) return languages;
  // A folder of thousands of files is looked at only so far.
  constexpr int kMaxLooked = 4096;
  int looked = 0;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end && looked < kMaxLooked;
       it.increment(error), ++looked) {
    const std::string name = it->path().filename().string();
    if (name.size() < 5 || name.compare(name.size() - 4, 4, ".txt") != 0) continue;
    const std::string language = name.substr(0, name.size() - 4);
    if (ValidLanguage(language) && IsRegularFile(it->path().string())) languages.push_back(language);
  }
  std::sort(languages.begin(), languages.end());
  if (languages.size() > kMaxLanguages) languages.resize(kMaxLanguages);
  return languages;
}

std::string LanguageName(const std::string& language) {
  // The name stands in the file's head: only that is read.
  constexpr size_t kHead = 4096;
  std::string bytes;
  if (!ValidLanguage(language) ||
      ReadFileStart(ResolveFileName(std::string_view(TranslationFile(language))), bytes, kHead) != TFileRead::Ok)
    return language;
  const size_t cut = bytes.rfind('\n');
  TTranslation head;
  std::vector<std::string> notes;
  head.Parse(bytes.substr(0, cut == std::string::npos ? 0 : cut), notes);
  return head.Language().empty() ? language : head.Language();
}

bool LoadTranslation(const std::string& language, TTranslation& out, std::vector<std::string>& notes) {
  out = TTranslation();
  if (!ValidLanguage(language)) {
    notes.push_back("not a language's name: " + LogName(language));
    return false;
  }
  const std::string file = TranslationFile(language);
  std::string bytes;
  if (ReadFileBytes(ResolveFileName(std::string_view(file)), bytes) != TFileRead::Ok) {
    notes.push_back(file + ": " + SysErrorMessage(errno));
    return false;
  }
  std::vector<std::string> lines;
  out.Parse(bytes, lines);
  for (const std::string& l : lines) notes.push_back(file + ":" + l);
  if (out.Language().empty()) out.SetLanguage(language);
  return true;
}

bool EntryStale(const TTranslationEntry& entry, const TStoryPage& page) {
  return entry.Stale || entry.Original != page.Lines || (entry.HasSpeaker && entry.OriginalSpeaker != page.Speaker);
}

namespace {

TTranslationEntry EntryFor(const TStoryPage& page) {
  TTranslationEntry e;
  e.Key = page.Key;
  e.ScriptLine = page.ScriptLine;
  e.HasSpeaker = page.SpeakerCommand >= 0 && !page.Speaker.empty();
  e.OriginalSpeaker = page.Speaker;
  e.Original = page.Lines;
  e.Text.assign(page.Lines.size(), WideString());
  return e;
}

// The new page's entry made from an old one: its translation kept, the original brought up
// to date, stale when the original changed.
TTranslationEntry Carried(const TStoryPage& page, const TTranslationEntry& old) {
  TTranslationEntry e = EntryFor(page);
  // Nothing translated yet: nothing went stale.
  e.Stale = old.Translated() && EntryStale(old, page);
  e.Text = old.Text;
  if (old.HasSpeaker) e.Speaker = old.Speaker;
  return e;
}

}  // namespace

constexpr ptrdiff_t kOrphanReach = 64;

TTranslation UpdateTranslation(const std::vector<TStoryPage>& pages, const TTranslation& old, TTemplateCounts& counts) {
  counts = TTemplateCounts{};
  counts.Pages = pages.size();
  const std::vector<TTranslationEntry>& entries = old.Entries();
  std::set<uint64_t> keys;
  for (const TStoryPage& p : pages) keys.insert(p.Key);
  // Where each page's own entry stands in the old file (-1: none).
  std::vector<ptrdiff_t> own(pages.size(), -1);
  for (size_t i = 0; i < pages.size(); ++i)
    if (const TTranslationEntry* e = old.Find(pages[i].Key)) own[i] = e - entries.data();
  std::vector<bool> used(entries.size(), false);
  for (ptrdiff_t at : own)
    if (at >= 0) used[size_t(at)] = true;
  // The entry of the next page after each that has one (the file's end: none).
  std::vector<ptrdiff_t> nextOwn(pages.size(), ptrdiff_t(entries.size()));
  for (size_t i = pages.size(); i-- > 1;) nextOwn[i - 1] = own[i] >= 0 ? own[i] : nextOwn[i];
  // An entry whose key is gone was most likely for the page now standing where it stood: a
  // page without an entry takes one of those between the entries of the pages around it.
  TTranslation out;
  out.SetLanguage(old.Language());
  ptrdiff_t previous = -1;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (own[i] >= 0) {
      out.Entries().push_back(Carried(pages[i], entries[size_t(own[i])]));
      ++(out.Entries().back().Stale ? counts.Stale : counts.Kept);
      previous = std::max(previous, own[i]);
      continue;
    }
    // Of the entries there whose keys are gone, the one with the page's very text, else the
    // first (the page's text was changed, which changed its key). It stands near: the
    // search goes only so far, so that a file far from its story is not read over and over.
    const ptrdiff_t next = std::min(nextOwn[i], previous + 1 + kOrphanReach);
    ptrdiff_t orphan = -1;
    for (ptrdiff_t k = previous + 1; k < next; ++k) {
      const TTranslationEntry& e = entries[size_t(k)];
      if (used[size_t(k)] || keys.count(e.Key)) continue;
      if (orphan < 0) orphan = k;
      if (e.Original == pages[i].Lines) {
        orphan = k;
        break;
      }
    }
    if (orphan >= 0) {
      used[size_t(orphan)] = true;
      previous = orphan;
      out.Entries().push_back(Carried(pages[i], entries[size_t(orphan)]));
      ++(out.Entries().back().Stale ? counts.Stale : counts.Kept);
    } else {
      out.Entries().push_back(EntryFor(pages[i]));
      ++counts.Added;
    }
  }
  // What no page took is kept, for the translator to use or drop.
  for (size_t k = 0; k < entries.size(); ++k) {
    if (used[k] || keys.count(entries[k].Key)) continue;
    TTranslationEntry e = entries[k];
    e.Unused = true;
    out.Entries().push_back(std::move(e));
    ++counts.Unused;
  }
  out.Index();
  return out;
}

void TTranslatedScript::Clear() {
  FSlots = std::vector<int32_t>();
  FTexts = std::vector<std::vector<WideString>>();
}

void TTranslatedScript::Put(int32_t command, std::vector<WideString> lines) {
  FSlots[size_t(command)] = int32_t(FTexts.size());
  FTexts.push_back(std::move(lines));
}

void TTranslatedScript::Build(const TScriptLoader& script, const TTranslation& file) {
  Clear();
  // Entries are matched to pages as a template's update would: a page whose key changed
  // because one was added after it keeps its translation.
  TTemplateCounts counts;
  const TTranslation translation = UpdateTranslation(ListPages(script), file, counts);
  FSlots.assign(size_t(script.LastIndex() + 1), -1);
  FTexts.emplace_back();  // slot 0: shows nothing
  for (const TStoryPage& page : ListPages(script, true)) {
    const TTranslationEntry* e = translation.Find(page.Key);
    if (!e) continue;
    if (e->HasSpeaker && page.SpeakerCommand >= 0 && !e->Speaker.empty()) Put(page.SpeakerCommand, {e->Speaker});
    // A choice is chosen by its line: its translation has as many.
    if (page.FirstText < 0 || !e->Translated() || (page.Choice && e->Text.size() != page.Lines.size())) continue;
    // The lines before the first TEXT (breaks the page begins with) are the script's own.
    size_t before = 0;
    for (int32_t i = page.FirstText - 1; i >= 0; --i) {
      const TCommand* c = CommandAt(script, i);
      if (!c || c->Page == TPageEffect::Clear || c->Flow == TFlow::Waits) break;
      if (c->Page == TPageEffect::NewLine) ++before;
    }
    std::vector<WideString> lines(e->Text.begin() + ptrdiff_t(std::min(before, e->Text.size())), e->Text.end());
    if (lines.empty()) lines.emplace_back();
    Put(page.FirstText, std::move(lines));
    for (int32_t i = page.FirstText + 1; i < page.Wait; ++i) {
      const TCommand* c = CommandAt(script, i);
      if (c && (c->Page == TPageEffect::AddText || c->Page == TPageEffect::NewLine)) FSlots[size_t(i)] = 0;
    }
  }
}
