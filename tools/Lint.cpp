#include "tools/Lint.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "common/Calc2.h"
#include "common/HTMLDoc.h"
#include "common/WideStrLib.h"
#include "engine/KNSceneLoader.h"
#include "engine/KinetraDLL.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/Commands.h"
#include "player/MainScriptLoader.h"
#include "player/ResStr.h"
#include "player/StoryFolder.h"
#include "player/TextLayer.h"
#include "player/Translation.h"

namespace {

// The story's files as findings name them ('/' as separator).
const std::string kScript = kStoryScript;
const std::string kSceneFile = WithSlashes(kStorySceneFile);

// A message on one line: line breaks become blanks, runs of blanks one.
std::string OneLine(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const char d = c == '\r' || c == '\n' ? ' ' : c;
    if (d == ' ' && !out.empty() && out.back() == ' ') continue;
    out += d;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

class TLinter {
 public:
  std::vector<TLintFinding> Run() {
    CheckEncoding(kScript);
    CompileScript();
    ReadScenes();
    CheckFont();
    if (FCompiled) {
      CheckCommands();
      CheckLabels();
      CheckFlow();
      CheckVariables();
      CheckButtonChoices();
      CheckOverflow();
      CheckGlyphs();
      CheckTranslations();
    }
    std::stable_sort(FFindings.begin(), FFindings.end(), [](const TLintFinding& a, const TLintFinding& b) {
      return a.File != b.File ? a.File < b.File : a.Line < b.Line;
    });
    AddCounts();
    return std::move(FFindings);
  }

 private:
  // At most kPerCheck findings of one check: a story that repeats a fault thousands of
  // times needs the first few and a count, not pages of the same line.
  static constexpr int kPerCheck = 50;
  void Add(const std::string& file, int line, bool error, const std::string& message, const char* check) {
    const int n = ++FCounts[check];
    if (n <= kPerCheck) FFindings.push_back(TLintFinding{file, line, error, OneLine(message), check});
  }
  void AddCounts() {
    for (const auto& [check, n] : FCounts)
      if (n > kPerCheck)
        FFindings.push_back(TLintFinding{"", 0, false, std::to_string(n - kPerCheck) + " more findings of this kind", check});
  }
  void AddAt(int32_t command, bool error, const std::string& message, const char* check) {
    Add(kScript, FLoader.CommandLine(command), error, message, check);
  }

  // ---- the bytes
  void CheckEncoding(const std::string& file) {
    std::string bytes;  // as story files are read: regular files only, within the story limit
    if (ReadFileBytes(ResolveFileName(std::string_view(file)), bytes) != TFileRead::Ok) return;
    size_t bom;
    if (DetectStoryEncoding(bytes, bom) == TStoryEncoding::Utf8) return CheckUtf8(file, bytes, bom);
    int line = 1, reported = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint8_t b = uint8_t(bytes[i]);
      if (b == '\n') ++line;
      if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
      const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
      const uint8_t t = i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) : 0;
      if (lead && ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))) {
        ++i;
        continue;
      }
      // A few are enough to find the place; a file of another encoding would give thousands.
      if (++reported > 10) break;
      char text[96];
      std::snprintf(text, sizeof text, "byte 0x%02X at offset %zu is not Shift-JIS", b, i);
      Add(file, line, true, text, "encoding");
    }
  }

  void CheckUtf8(const std::string& file, const std::string& bytes, size_t from) {
    int line = 1, reported = 0;
    for (size_t i = from; i < bytes.size();) {
      const uint8_t b = uint8_t(bytes[i]);
      if (b == '\n') ++line;
      const size_t len = Utf8SequenceLength(bytes, i);
      if (len > 0) {
        i += len;
        continue;
      }
      if (++reported > 10) break;
      char text[96];
      std::snprintf(text, sizeof text, "byte 0x%02X at offset %zu is not UTF-8: it shows as U+FFFD", b, i);
      Add(file, line, true, text, "encoding");
      ++i;
    }
  }
  // The length of the valid UTF-8 character at bytes[i], or 0.
  static size_t Utf8SequenceLength(const std::string& bytes, size_t i) {
    const uint8_t b = uint8_t(bytes[i]);
    if (b < 0x80) return 1;
    const size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (len == 0 || b > 0xF4 || i + len > bytes.size()) return 0;
    return Utf8ToWide(std::string_view(bytes).substr(i, len)).find(u'\uFFFD') == WideString::npos ? len : 0;
  }

  // ---- the script, through the real compiler
  void CompileScript() {
    std::vector<AnsiString> notes;
    FLoader.OnLog = [&notes](const AnsiString& note) { notes.push_back(note); };
    try {
      FLoader.Load(kScript);
      FCompiled = true;
    } catch (const Exception& e) {
      Add(kScript, 0, true, std::string(e.ClassName()) + ": " + e.Message(), "command");
    }
    FLoader.OnLog = nullptr;
    // The element limit is named where it is reached, before the player ever says it.
    const AnsiString limitNote =
        Format(ResStr::TooManyElements, {kScript, IntToStr(int64_t(FLoader.ElementsPassedOver()))});
    for (const AnsiString& note : notes) {
      if (FLoader.ElementLimitLine() > 0 && note == limitNote) {
        const bool utf8 = FLoader.Encoding() == TStoryEncoding::Utf8;
        Add(kScript, FLoader.ElementLimitLine(), true,
            std::string(utf8 ? "more elements are open at once than a script can hold (65,534)"
                             : "a Shift-JIS script holds at most 4,999 elements") +
                ": this one and the " + std::to_string(FLoader.ElementsPassedOver() - 1) +
                " after it are not read (write each page as one <P>, or the story in UTF-8)",
            "element-limit");
        continue;
      }
      Add(kScript, 0, false, note, "command");
    }
  }

  static WideStringArray Fields(const WideString& param) { return SplitWideString(param, u','); }

  bool ExpectFields(int32_t i, const WideStringArray& f, size_t count, bool atLeast = false) {
    if (atLeast ? f.size() >= count : f.size() == count) return true;
    AddAt(i, true,
          FLoader.CommandName(i) + " takes " + (atLeast ? "at least " : "") + std::to_string(count) + " fields, not " +
              std::to_string(f.size()),
          "command");
    return false;
  }

  // A field as the runtime converts it: false, with the finding added, when it would refuse it.
  bool Valid(int32_t i, const TFieldSpec& field, const WideString& text) {
    std::string why;
    if (CheckField(field, text, why)) return true;
    AddAt(i, true, why, "command");
    return false;
  }

  // The expression through the real calculator; the variables it reads are noted.
  void Expression(int32_t i, const WideString& text) {
    TCalc calc;
    try {
      calc.Parse(text);
    } catch (const Exception& e) {
      AddAt(i, true, "expression '" + WideToUtf8(text) + "': " + e.Message(), "command");
      return;
    }
    for (const WideString& token : SplitWideString(text, u' '))
      if (IsReference(token)) Read(i, WideToUtf8(std::u16string_view(token).substr(1)));
  }

  void Read(int32_t i, const AnsiString& name) { FReads.emplace(name, i); }
  void Set(const WideString& reference) {
    if (!reference.empty()) FSets.insert(WideToUtf8(std::u16string_view(reference).substr(1)));
  }

  void Target(int32_t i, const TFieldSpec& field, const WideString& target) {
    if (!Valid(i, field, target)) return;
    const AnsiString label = WideToUtf8(std::u16string_view(target).substr(1));
    FTargets.emplace(label, i);
    int32_t index;
    if (!FLoader.Labels().TryGetInt(label, index))
      AddAt(i, true, "label '" + label + "' is not defined", "undefined-label");
  }

  void CheckCommands() {
    for (int32_t i = 0; i <= FLoader.LastIndex(); ++i) {
      const TCommand* command = FindCommand(FLoader.CommandName(i));
      if (!command) AddAt(i, true, "unknown command '" + FLoader.CommandName(i) + "'", "command");
      else CheckFields(i, *command);
    }
  }

  // What the fields of one command gave, for checks that read more than one of them.
  struct TFieldValues {
    bool HaveTransition = false, HaveDuration = false, ToldLength = false;
    int32_t Transition = 0, Duration = 0;
  };

  void CheckFields(int32_t i, const TCommand& command) {
    const WideString& param = FLoader.CommandParam(i);
    if (command.FieldCount <= 0) {
      if (command.Fields[0].Kind == TFieldKind::Target) Target(i, command.Fields[0], param);
      return;
    }
    const WideStringArray f = Fields(param);
    if (!ExpectFields(i, f, size_t(command.FieldCount), command.AtLeast)) return;
    // In the order the runtime converts them, so that findings come as its reports would.
    TFieldValues values;
    for (const size_t k : command.ConversionOrder(f.size())) LintField(i, command.Field(k), f[k], values);
    if (FScenesRead && values.HaveTransition && IsMaskSlot(values.Transition) && !FScenes.Masks[size_t(values.Transition)].Mask)
      AddAt(i, false, "mask slot " + std::to_string(values.Transition) + " is empty: the scene changes at once", "scene");
  }

  static bool IsMaskSlot(int32_t transition) { return transition >= 0 && transition < kKNMaskCount; }

  void LintField(int32_t i, const TFieldSpec& field, const WideString& text, TFieldValues& values) {
    int32_t n;
    switch (field.Kind) {
      case TFieldKind::Transition:
        values.HaveTransition = Valid(i, field, text) && TryStrToInt(std::u16string_view(text), values.Transition);
        CheckTransitionLength(i, values);
        break;
      case TFieldKind::Duration:
        values.HaveDuration = Valid(i, field, text) && TryStrToInt(std::u16string_view(text), values.Duration);
        CheckTransitionLength(i, values);
        break;
      case TFieldKind::Expression: Expression(i, text); break;
      case TFieldKind::Variable: Set(text); break;
      case TFieldKind::Target: Target(i, field, text); break;
      case TFieldKind::Scene: {
        const AnsiString scene = WideToUtf8(text);
        if (FScenesRead && !FScenes.Index.TryGetInt(scene, n))
          AddAt(i, true, "scene '" + scene + "' is not declared in " + kSceneFile, "scene");
        break;
      }
      case TFieldKind::SoundFile: CheckFile(kScript, FLoader.CommandLine(i), WideToUtf8(text), field.What); break;
      default: Valid(i, field, text); break;
    }
  }

  // A transition holds the script until it ends, and no click cuts it short.
  void CheckTransitionLength(int32_t i, TFieldValues& v) {
    constexpr int32_t kLongTransitionMs = 60 * 1000;
    if (v.ToldLength || !v.HaveDuration || !v.HaveTransition) return;
    v.ToldLength = true;
    if (v.Duration > kLongTransitionMs && (v.Transition == KN_TRANSITION_CROSSFADE || IsMaskSlot(v.Transition)))
      AddAt(i, false,
            "the transition lasts " + std::to_string(v.Duration / 1000) +
                " s: the script waits for it, and no click ends it", "scene");
  }

  // ---- labels and flow
  void CheckLabels() {
    std::map<AnsiString, int32_t> first;
    for (int32_t i = 0; i <= FLoader.LastIndex(); ++i) {
      if (FlowOf(i) != TFlow::Label) continue;
      const AnsiString label = WideToUtf8(FLoader.CommandParam(i));
      if (!first.emplace(label, i).second) {
        AddAt(i, true, "label '" + label + "' is defined again (line " + std::to_string(FLoader.CommandLine(first[label])) +
                           " has it first)",
              "duplicate-label");
      } else if (!FTargets.count(label)) {
        AddAt(i, false, "label '" + label + "' is never jumped to", "unused-label");
      }
    }
  }

  std::optional<TFlow> FlowOf(int32_t i) const {
    const TCommand* c = FindCommand(FLoader.CommandName(i));
    return c ? std::optional<TFlow>(c->Flow) : std::nullopt;
  }

  // The field a jump goes to, when the command has its fields.
  std::optional<WideString> TargetOf(int32_t i) const {
    const TCommand* c = FindCommand(FLoader.CommandName(i));
    if (!c || c->TargetField() < 0) return std::nullopt;
    if (c->FieldCount <= 0) return FLoader.CommandParam(i);
    const WideStringArray f = Fields(FLoader.CommandParam(i));
    if (f.size() != size_t(c->FieldCount)) return std::nullopt;
    return f[size_t(c->TargetField())];
  }

  std::vector<int32_t> Successors(int32_t i) const {
    const std::optional<TFlow> flow = FlowOf(i);
    std::vector<int32_t> next;
    if (flow == TFlow::Ends) return next;
    // A jump to a label that is not there changes nothing: the script goes on below it.
    if (const std::optional<WideString> target = TargetOf(i)) {
      int32_t index;
      if (target->size() >= 2 && FLoader.Labels().TryGetInt(WideToUtf8(std::u16string_view(*target).substr(1)), index)) {
        next.push_back(index);
        if (flow == TFlow::Jump) return next;
      }
    }
    if (i < FLoader.LastIndex()) next.push_back(i + 1);
    return next;
  }

  // Commands at which a run of commands stops for this update.
  bool Holds(int32_t i) const {
    const std::optional<TFlow> flow = FlowOf(i);
    return flow == TFlow::Waits || flow == TFlow::HoldsScript || flow == TFlow::Ends;
  }

  void CheckFlow() {
    const int32_t n = FLoader.LastIndex() + 1;
    if (n <= 0) return;
    std::vector<bool> reached(size_t(n), false);
    std::vector<int32_t> pending{0};
    reached[0] = true;
    while (!pending.empty()) {
      const int32_t i = pending.back();
      pending.pop_back();
      for (const int32_t s : Successors(i))
        if (!reached[size_t(s)]) reached[size_t(s)] = true, pending.push_back(s);
    }
    // The closing WAIT the compiler adds (line 0) is no author's.
    for (int32_t i = 0; i < n; ++i)
      if (!reached[size_t(i)] && (i == 0 || reached[size_t(i - 1)]) && FLoader.CommandLine(i) > 0)
        AddAt(i, false, FLoader.CommandName(i) + " is never reached", "unreachable");
    FindLoopsWithoutWait(n, reached);
  }

  // Strongly connected parts of the graph of commands that do not hold the script: any
  // with a cycle would run until the update's budget is spent. Tarjan's walk with a stack of
  // its own, so that a script of any length cannot exhaust the call stack.
  void FindLoopsWithoutWait(int32_t n, const std::vector<bool>& reached) {
    std::vector<int32_t> index(size_t(n), -1), low(size_t(n), 0), parts;
    std::vector<bool> onStack(size_t(n), false);
    struct TFrame {
      int32_t Node;
      std::vector<int32_t> Next;
      size_t At = 0;
    };
    std::vector<TFrame> walk;
    int32_t counter = 0;
    auto enter = [&](int32_t v) {
      index[size_t(v)] = low[size_t(v)] = counter++;
      parts.push_back(v);
      onStack[size_t(v)] = true;
      walk.push_back(TFrame{v, Successors(v)});
    };
    for (int32_t root = 0; root < n; ++root) {
      if (index[size_t(root)] >= 0 || Holds(root)) continue;
      enter(root);
      while (!walk.empty()) {
        TFrame& f = walk.back();
        if (f.At < f.Next.size()) {
          const int32_t w = f.Next[f.At++];
          if (Holds(w)) continue;
          if (index[size_t(w)] < 0) enter(w);
          else if (onStack[size_t(w)]) low[size_t(f.Node)] = std::min(low[size_t(f.Node)], index[size_t(w)]);
          continue;
        }
        const int32_t v = f.Node;
        const bool selfLoop = std::find(f.Next.begin(), f.Next.end(), v) != f.Next.end();
        walk.pop_back();
        if (!walk.empty()) low[size_t(walk.back().Node)] = std::min(low[size_t(walk.back().Node)], low[size_t(v)]);
        if (low[size_t(v)] != index[size_t(v)]) continue;
        int32_t first = v, size = 0, w;
        do {
          w = parts.back();
          parts.pop_back();
          onStack[size_t(w)] = false;
          first = std::min(first, w);
          ++size;
        } while (w != v);
        if ((size > 1 || selfLoop) && reached[size_t(v)])
          AddAt(first, true, "these commands loop without a WAIT: the loop would run away in one update", "no-wait-loop");
      }
    }
  }

  void CheckVariables() {
    std::set<AnsiString> told;
    for (const auto& [name, command] : FReads)
      if (name != "LASTSELECT" && !FSets.count(name) && told.insert(name).second)
        AddAt(command, false, "variable #" + name + " is read but never set", "variable");
  }

  // ---- files
  void CheckFile(const std::string& file, int line, const AnsiString& name, const char* what) {
    if (name.empty()) return;
    std::vector<std::string> notes;
    std::string path;
    {
      const TFileNameLogScope log([&](const std::string& note) { notes.push_back(note); });
      path = ResolveFileName(std::string_view(name));
    }
    std::string written = name;
    std::replace(written.begin(), written.end(), '\\', '/');
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);  // links followed
    if (!std::filesystem::exists(status)) {
      Add(file, line, true, std::string(what) + " '" + name + "' does not exist", "file");
    } else if (!std::filesystem::is_regular_file(status)) {
      Add(file, line, true, std::string(what) + " '" + name + "' is not a regular file", "file");
    } else if (!InsideStoryFolder(path)) {
      Add(file, line, true, std::string(what) + " '" + name + "' lies outside the story folder", "file");
    } else if (path != written) {
      Add(file, line, false, std::string(what) + " '" + name + "' is found only as '" + path +
                                 "' (by ignoring case or through Shift-JIS bytes), which other systems may not do",
          "file");
    }
    for (const std::string& note : notes) Add(file, line, false, note, "file");
  }

  // The story's own font is optional; a folder for it without the file, or a name that
  // matches only by ignoring case, is worth saying.
  void CheckFont() {
    std::error_code error;
    const std::string path = ResolveFileName(std::string_view(kStoryFontFile));
    if (std::filesystem::is_regular_file(path, error) || std::filesystem::is_directory(kStoryFontFolder, error))
      CheckFile(WithSlashes(kStoryFontFile), 0, kStoryFontFile, "font");
  }

  // ---- the scene file, through the real loader, and its elements for their lines
  void ReadScenes() {
    const std::string path = ResolveFileName(std::string_view(kStorySceneFile));
    if (!IsRegularFile(path)) {
      Add(kSceneFile, 0, false, "there is no scene file: the story shows no pictures", "file");
      return;
    }
    CheckEncoding(kSceneFile);
    CheckSceneFiles(path);
    // Each box the loader raises is placed at the element it was reading.
    std::vector<std::pair<int32_t, std::string>> boxes;
    int32_t reading = 0;
    {
      const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons b) {
        boxes.emplace_back(reading, text);
        return AnswerFirstButton(text, type, b);
      });
      const int32_t result = FScenes.Load(kStorySceneFile, 0, [&reading](int32_t line) { reading = line; });
      const TKNSceneArray& scenes = FScenes.Scenes;
      FScenesRead = true;
      for (size_t m = 0; m < scenes.size(); ++m) {
        if (!scenes[m] || !scenes[m]->Control()) continue;
        const bool button = std::any_of(scenes[m]->Objects().begin(), scenes[m]->Objects().end(), [](const auto& o) {
          return dynamic_cast<const TKNSceneObjectButton*>(o.get()) != nullptr;
        });
        if (!button)
          Add(kSceneFile, m < FSceneLines.size() ? FSceneLines[m] : 0, true,
              "scene " + std::to_string(m) + " takes input but has no button: the story waits forever", "scene");
        std::vector<int32_t> indexes;
        for (const auto& o : scenes[m]->Objects())
          if (auto* b = dynamic_cast<const TKNSceneObjectButton*>(o.get())) indexes.push_back(b->Index());
        FButtons[int32_t(m)] = indexes;
      }
      if (result != 0 && boxes.empty())
        Add(kSceneFile, 0, true, "the scene file holds no scene", "scene");
    }
    for (const auto& [line, box] : boxes) Add(kSceneFile, line, true, BoxMessage(box), "scene");
  }

  // What a report box says, without the box's own words: "TYPE: details", on one line.
  static std::string BoxMessage(const std::string& box) {
    static const std::string kType = "エラータイプ: ", kPlace = "  エラー発生箇所: ", kDetails = "**詳細**\r\n";
    std::string message = box;
    const size_t type = box.find(kType), place = box.find(kPlace), details = box.find(kDetails);
    if (type != std::string::npos && place != std::string::npos && details != std::string::npos && type < place)
      message = box.substr(type + kType.size(), place - type - kType.size()) + ": " + box.substr(details + kDetails.size());
    for (size_t at; (at = message.find("\r\n")) != std::string::npos;) message.replace(at, 2, " ");
    return message;
  }


  // The file's elements for their lines: where each scene starts (scene numbers count the
  // scene elements of the first kn), and the pictures every element names.
  void CheckSceneFiles(const std::string& path) {
    THTMLDoc doc;
    try {
      doc.LoadFromFile(path);
    } catch (const Exception&) {
      return;  // the real load says why
    }
    const THTMLTag* kn = nullptr;
    ForEachChild(*doc.Root(), [&](const THTMLTag& child) {
      if (!kn && child.TagName == "kn") kn = &child;
    });
    if (kn)
      ForEachChild(*kn, [&](const THTMLTag& child) {
        if (child.TagName == "scene") FSceneLines.push_back(child.Line);
      });
    // Every element in document order, with a stack of its own (nesting is the file's).
    std::vector<const THTMLTag*> pending{doc.Root()}, children;
    while (!pending.empty()) {
      const THTMLTag& tag = *pending.back();
      pending.pop_back();
      WideString value;
      if (tag.TagName == "transrule" && tag.Attributes.TryGetStr("src", value))
        CheckFile(kSceneFile, tag.Line, WideToUtf8(value), "mask image");
      if (tag.TagName == "knobject") {
        if (tag.Attributes.TryGetStr("src", value)) CheckFile(kSceneFile, tag.Line, WideToUtf8(value), "image");
        if (tag.Attributes.TryGetStr("hover", value)) CheckFile(kSceneFile, tag.Line, WideToUtf8(value), "hover image");
      }
      children.clear();
      ForEachChild(tag, [&](const THTMLTag& child) { children.push_back(&child); });
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }

  // After a scene that takes input is shown, the script waits and then tests LASTSELECT:
  // a button whose index no such test names does what the script does for none.
  void CheckButtonChoices() {
    auto check = [&](int32_t from, int32_t scene, int32_t line) {
      const auto buttons = FButtons.find(scene);
      if (buttons == FButtons.end() || buttons->second.empty()) return;
      int32_t wait = from;
      while (wait <= FLoader.LastIndex() && FlowOf(wait) != TFlow::Waits) ++wait;
      std::set<int32_t> tested;
      for (const auto& [command, value] : ChoicesTestedAfter(FLoader, wait)) tested.insert(value);
      if (tested.empty()) return;  // the choice is read some other way
      for (const int32_t index : buttons->second)
        if (!tested.count(index))
          Add(kScript, line, false,
              "button " + std::to_string(index) + " of scene " + std::to_string(scene) +
                  " is tested by no IF after the WAIT that follows it",
              "scene");
    };
    check(0, 0, 1);  // the first scene is shown from the start
    for (int32_t i = 0; i <= FLoader.LastIndex(); ++i) {
      const TCommand* c = FindCommand(FLoader.CommandName(i));
      if (!c || c->FieldCount <= 0) continue;
      for (size_t k = 0; k < size_t(c->FieldCount); ++k) {
        if (c->Fields[k].Kind != TFieldKind::Scene) continue;
        const WideStringArray f = Fields(FLoader.CommandParam(i));
        int32_t scene;
        if (f.size() == size_t(c->FieldCount) && FScenes.Index.TryGetInt(WideToUtf8(f[k]), scene))
          check(i, scene, FLoader.CommandLine(i));
      }
    }
  }

  // Pages as they are typed: the real text layer, font and wrapping of the message window.
  void CheckOverflow() {
    TTextLayer layer(kMessageWidth, kMessageHeight);
    PlaceMessageLayer(layer);
    SetWriting(layer);
    const int32_t room = layer.Height() - layer.MarginTop - layer.MarginBottom;
    bool told = false;
    for (int32_t i = 0; i <= FLoader.LastIndex(); ++i) {
      const TCommand* c = FindCommand(FLoader.CommandName(i));
      const TPageEffect effect = c ? c->Page : TPageEffect::None;
      if (effect == TPageEffect::Clear) {
        layer.ClearText();
        told = false;
        continue;
      }
      if (effect == TPageEffect::AddText) {
        const WideString& text = FLoader.CommandParam(i);
        layer.AddText(SString2{text, text, nullptr});
      } else if (effect == TPageEffect::NewLine) {
        layer.NewLine();
      } else {
        continue;
      }
      if (!told && layer.State().LineTops.back() + layer.Font.Height > room) {
        AddAt(i, false, "the page runs past the bottom of the message window: its text is not all seen", "overflow");
        told = true;
      }
    }
  }

  TMainScriptLoader FLoader;
  std::vector<int32_t> FSceneLines;
  std::map<int32_t, std::vector<int32_t>> FButtons;
  // The text layer as the story's text is laid out in it.
  void SetWriting(TTextLayer& layer) const {
    const bool utf8 = FLoader.Encoding() == TStoryEncoding::Utf8;
    layer.BreakByRules = utf8;
    layer.SetAsWritten(utf8);
  }

  // ---- characters that no font can show
  void CheckGlyphs() {
    TTextLayer layer;
    SetWriting(layer);
    const bool utf8 = FLoader.Encoding() == TStoryEncoding::Utf8;
    std::set<char32_t> checked;  // each character is asked about once, told at its first place
    for (int32_t i = 0; i <= FLoader.LastIndex(); ++i) {
      const TCommand* c = FindCommand(FLoader.CommandName(i));
      if (!c || (c->Page != TPageEffect::AddText && c->Id != TCommandId::Speaker)) continue;
      const WideString& text = FLoader.CommandParam(i);
      for (size_t k = 0; k < text.size(); ++k) {
        char32_t ch = text[k];
        if (ch >= 0xD800 && ch < 0xDC00 && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000)
          ch = 0x10000 + ((ch - 0xD800) << 10) + (text[++k] - 0xDC00);
        else if (!utf8)
          ch = CodePageChar(text[k])[0];  // a story in Shift-JIS is drawn as the code page carries it
        if (!checked.insert(ch).second || FontHasCharacter(layer.Font, ch)) continue;
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", unsigned(ch));
        AddAt(i, false, std::string("no installed font has the character ") + code + ": it shows as an empty box",
              "glyph");
      }
    }
  }

  // ---- the story's translations against its pages
  void CheckTranslations() {
    const std::vector<TStoryPage> pages = ListPages(FLoader);
    for (const std::string& language : StoryLanguages()) {
      const std::string file = TranslationFile(language);
      TTranslation translation;
      std::vector<std::string> notes;
      if (!LoadTranslation(language, translation, notes)) {
        for (const std::string& note : notes) Add(file, 0, true, note, "translation");
        continue;
      }
      for (const std::string& note : notes) {
        // "FILE:LINE: what"
        const size_t colon = note.find(':', file.size() + 1);
        Add(file, std::atoi(note.c_str() + file.size() + 1), false, note.substr(colon + 2), "translation");
      }
      std::set<uint64_t> keys;
      for (const TStoryPage& page : pages) {
        keys.insert(page.Key);
        const TTranslationEntry* e = translation.Find(page.Key);
        if (!e || (!e->Translated() && !(e->HasSpeaker && !e->Speaker.empty()))) {
          AddAt(page.FirstText >= 0 ? page.FirstText : page.SpeakerCommand, false,
                "this page has no translation in " + file, "translation-missing");
          continue;
        }
        if (EntryStale(*e, page))
          Add(file, e->Line, false,
              e->Stale && e->Original == page.Lines ? "marked stale: check the translation, then take the mark away"
                                                    : "stale: the page's text has changed since it was translated",
              "translation-stale");
        if (page.Choice && e->Translated() && e->Text.size() != page.Lines.size())
          Add(file, e->Line, true,
              "a choice of " + std::to_string(page.Lines.size()) + " lines is translated in " +
                  std::to_string(e->Text.size()) + ": it shows untranslated",
              "translation");
      }
      for (const TTranslationEntry& e : translation.Entries())
        if (!keys.count(e.Key)) Add(file, e.Line, false, "no page of the story has this key", "translation-unused");
    }
  }

  bool FCompiled = false;
  bool FScenesRead = false;
  TErrorReport FReport;  // no log: the linter writes nothing
  TKNSceneFile FScenes{FReport};
  std::multimap<AnsiString, int32_t> FReads;
  std::set<AnsiString> FSets;
  std::multimap<AnsiString, int32_t> FTargets;
  std::vector<TLintFinding> FFindings;
  std::map<std::string, int> FCounts;
};

}  // namespace

std::vector<TLintFinding> LintStory() { return TLinter().Run(); }
