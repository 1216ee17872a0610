// The script's command set, described once: each command's name, how its parameter splits
// into fields and what kind each field is, where the script goes after it and what it does
// to the message page. It stands on its own: the interpreter binds its handlers to the
// commands' ids, the linter checks through it, the tools learn from it what a command is
// without naming one.
// Threads: any (the table is constant).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "common/WideStrLib.h"
#include "engine/KinetraDLL.h"
#include "platform/SysUtils.h"

class TScriptLoader;

// The error a command raises for a value the script gave it.
SORVANE_DECLARE_EXCEPTION(, ESVXScriptError, Exception);

// What a field holds, and so how it converts and what a checker may ask of it.
enum class TFieldKind : uint8_t {
  Any,         // read as it stands, or not at all
  Integer,     // a decimal number
  Boolean,     // true/false, as the runtime converts it
  Expression,  // a calculator expression; #NAME reads a variable
  Variable,    // #NAME, set by the command
  Target,      // #LABEL, jumped to
  Comparison,  // == [= [[ ]= !=
  Channel,     // a sound channel: 0 or 1
  Layer,       // a scene layer: 0 or 1
  Scene,       // a scene's name in the scene file's index
  Transition,  // -2 cross-fade, -1 at once, 0.. a mask slot
  Duration,    // a transition's length in milliseconds
  SoundFile,   // a file in the story folder
};

// Where the script goes after the command.
enum class TFlow : uint8_t {
  Next,             // the command below
  Jump,             // to its target, or below when the label does not exist
  ConditionalJump,  // to its target when the condition holds, else below
  HoldsScript,      // below, but not before the layers are idle again (a transition)
  Waits,            // stays until the reader advances
  Ends,             // the story closes
  Label,            // a jump target; does nothing
};

// What the command does to the message page.
enum class TPageEffect : uint8_t { None, AddText, NewLine, Clear, Choice };

struct TFieldSpec {
  TFieldKind Kind = TFieldKind::Any;
  const char* What = "";  // how a report names the field
};

// Each command, as the interpreter binds its work to it.
enum class TCommandId : uint8_t {
  Text, Clear, Br, Speaker, ChangeScene, SetLayerVisible, Select, Jump, If, Set,
  LoadSound, PlaySound, StopSound, SeekSound, MaxValue, CreateProcess, Exit, Label, Wait,
  Count
};

struct TCommand {
  TCommandId Id;
  const char* Name;
  // 0: the parameter is one field as it stands; otherwise the number of comma-separated
  // fields (the least number when AtLeast, the last field's kind repeating).
  int8_t FieldCount;
  bool AtLeast;
  std::array<TFieldSpec, 4> Fields;
  // The order the runtime converts the fields in (field numbers; the rest follow in order).
  std::array<int8_t, 4> Order;
  TFlow Flow;
  TPageEffect Page;

  // The kind of field i (the last declared one repeats for AtLeast).
  const TFieldSpec& Field(size_t i) const;
  // The field that names the jump target, or -1.
  int32_t TargetField() const;
  // The fields of a parameter of `fields` fields, in the order the runtime converts them.
  std::vector<size_t> ConversionOrder(size_t fields) const;
};

// A #NAME reference (a variable set, a jump target): '#' and a name of one character or more.
bool IsReference(const WideString& field);

// Whether `text` converts as a field of that kind converts in the runtime, without raising:
// false, with what is wrong in English, when the runtime would refuse it. Kinds the command
// set cannot check alone (expressions, scenes, files) pass.
bool CheckField(const TFieldSpec& field, const WideString& text, std::string& why);

// Every command, in a fixed order; null for a name that is none.
std::span<const TCommand> CommandSet();
const TCommand* FindCommand(const AnsiString& name);

// The interpreter's one parser of parameters: the fields of `param` as `command` splits
// it, converted on request by their kinds, with the runtime's own exceptions (EConvertError
// for a number or flag, ESVXScriptError for a channel or layer out of range).
class TCommandArgs {
 public:
  TCommandArgs(const TCommand& command, const AnsiString& name, const WideString& param);

  // False when the parameter does not have the fields the command takes.
  bool CountMatches() const { return FCountMatches; }
  size_t Count() const { return FFields.size(); }
  const AnsiString& Name() const { return FName; }
  const WideString& Param() const { return FParam; }
  // "NAME PARAM", as reports quote the command.
  AnsiString Quoted() const;

  const WideString& Text(size_t i) const { return FFields[i]; }
  int32_t Integer(size_t i) const;
  bool Boolean(size_t i) const;
  int32_t Channel(size_t i) const;
  int32_t Layer(size_t i) const;
  // A Variable or Target field's name: the field without its first character ('#').
  AnsiString Reference(size_t i) const;
  // Converts every field that converts, in the command's conversion order, so that the
  // first bad field is the one reported.
  void ConvertAll() const;

 private:
  const TCommand& FCommand;
  const AnsiString& FName;
  const WideString& FParam;
  WideStringArray FFields;
  bool FCountMatches;
};

// Conversions shared by the runtime and the checkers.
bool IsComparison(const WideString& op);
// Both ends of the channel and layer ranges.
constexpr int32_t kChannelCount = 2, kSceneLayerCount = KN_LAYER_COUNT;

// The values an IF right after the WAIT at `wait` compares #LASTSELECT with (IF
// ==,#LASTSELECT,K): how a script reads the choice the reader made there.
// Each as (the IF's index, K).
std::vector<std::pair<int32_t, int32_t>> ChoicesTestedAfter(const TScriptLoader& script, int32_t wait);
