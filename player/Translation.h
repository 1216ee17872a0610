// A story's translations. Each is a UTF-8 text file tl/<language>.txt in the story folder
// that maps pages, by the key their read marks have (the commands around each page's wait,
// so that pages added elsewhere leave it be), to their text, speaker and choice lines in
// the language. A line-based format, for an ordinary editor and a diff:
//
//   # comments begin with '#'
//   language: English         the name the reader chooses it by (else the file's)
//   [0123456789abcdef]        a page's key; after it "stale": its original has changed,
//                             "unused": no page of the story has it
//   speaker< 春香              the page's speaker, as the story has it and translated
//   speaker> Haruka
//   < ようこそ。                the page's lines as the story has them,
//   > Welcome.                 and translated (as many as the translation needs)
//
// A page without translated lines shows its own; so does a choice whose translation does
// not have a line per choice.
// Threads: any, one thread per object.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "player/ScriptLoader.h"

// A page of the script as a translation sees it.
struct TStoryPage {
  uint64_t Key = 0;
  int32_t Wait = -1;              // the command the page waits on
  int32_t FirstText = -1;         // its first TEXT (-1: none), which shows the translation
  int32_t SpeakerCommand = -1;    // the SPEAKER it sets (-1: none)
  int32_t ScriptLine = 0;         // where its text begins in the script
  std::vector<WideString> Lines;  // its text, a line per BR
  WideString Speaker;
  bool Choice = false;
  bool HasText() const { return FirstText >= 0 || SpeakerCommand >= 0; }
};
// The pages with text or a speaker, in script order (each key once, unless `everyOne`): a
// page is what runs from the wait before it to its own; its lines are those after the last
// CLEAR in it.
std::vector<TStoryPage> ListPages(const TScriptLoader& script, bool everyOne = false);

struct TTranslationEntry {
  uint64_t Key = 0;
  int32_t Line = 0;        // of its key in the file
  int32_t ScriptLine = 0;  // where the page stands in the script (0: not known), for the reader
  bool Stale = false, Unused = false;
  bool HasSpeaker = false;
  WideString OriginalSpeaker, Speaker;
  std::vector<WideString> Original, Text;
  // Some translated line holds text: the page is translated.
  bool Translated() const;
};

class TTranslation {
 public:
  // Reads the file's text; every line that is not understood is told in `notes` ("LINE:
  // what") and passed over. At most kMaxEntries are kept.
  static constexpr size_t kMaxEntries = 1u << 20;
  void Parse(const std::string& text, std::vector<std::string>& notes);
  std::string Format() const;

  const std::string& Language() const { return FLanguage; }
  void SetLanguage(const std::string& name) { FLanguage = name; }
  const std::vector<TTranslationEntry>& Entries() const { return FEntries; }
  std::vector<TTranslationEntry>& Entries() { return FEntries; }
  // The entry of a key (null: none); the first of the file's entries with it.
  const TTranslationEntry* Find(uint64_t key) const;
  void Index();

 private:
  std::string FLanguage;
  std::vector<TTranslationEntry> FEntries;
  std::map<uint64_t, size_t> FByKey;
};

// The translation's file for a language, and the languages the story has files for (at most
// kMaxLanguages, by name order). A language is a name of letters, digits, '-' and '_'.
constexpr size_t kMaxLanguages = 64;
bool ValidLanguage(const std::string& language);
std::string TranslationFile(const std::string& language);
std::vector<std::string> StoryLanguages();
// The name a translation gives itself in its "language:" line, else the language.
std::string LanguageName(const std::string& language);
// Reads tl/<language>.txt; false (why in `notes`) when it cannot be read.
bool LoadTranslation(const std::string& language, TTranslation& out, std::vector<std::string>& notes);

// The file a template writes: each page of the script with its original, an existing
// translation's entries kept, those whose original changed marked stale (an entry whose key
// is gone takes the new page in its place when one stands there), those no page has kept at
// the end. Counts what it did.
struct TTemplateCounts {
  size_t Pages = 0, Kept = 0, Added = 0, Stale = 0, Unused = 0;
};
TTranslation UpdateTranslation(const std::vector<TStoryPage>& pages, const TTranslation& old, TTemplateCounts& counts);
// The entry no longer matches its page: marked so, or its original differs.
bool EntryStale(const TTranslationEntry& entry, const TStoryPage& page);

// What a translation shows in place of the script's own text, command by command: the first
// TEXT of a translated page shows all its lines, the page's other TEXT and BR after it show
// nothing, its SPEAKER the translated name.
class TTranslatedScript {
 public:
  void Build(const TScriptLoader& script, const TTranslation& translation);
  void Clear();
  bool Active() const { return !FSlots.empty(); }
  // Null: the command's own text stands. Else the lines it shows (none: nothing).
  const std::vector<WideString>* Lines(int32_t command) const {
    if (command < 0 || size_t(command) >= FSlots.size() || FSlots[size_t(command)] < 0) return nullptr;
    return &FTexts[size_t(FSlots[size_t(command)])];
  }

 private:
  void Put(int32_t command, std::vector<WideString> lines);
  std::vector<int32_t> FSlots;  // by command: an index into FTexts, or -1
  std::vector<std::vector<WideString>> FTexts;
};
