#include "player/Commands.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "player/ResStr.h"
#include "player/ScriptLoader.h"
#include "player/SubThread.h"

namespace {
using K = TFieldKind;
constexpr std::array<int8_t, 4> kInOrder{0, 1, 2, 3};
}  // namespace

std::span<const TCommand> CommandSet() {
  using T = TSubThread;
  static const TCommand kCommands[] = {
      {"TEXT", 0, false, {{{K::Any, "text"}}}, kInOrder, TFlow::Next, TPageEffect::AddText, &T::CmdText},
      {"CLEAR", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::Clear, &T::CmdClear},
      {"BR", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::NewLine, &T::CmdBr},
      {"SPEAKER", 0, false, {{{K::Any, "speaker"}}}, kInOrder, TFlow::Next, TPageEffect::None, &T::CmdSpeaker},
      // The fields convert from the last: the first bad one found is the one reported.
      {"CHANGESCENE", 4, false,
       {{{K::Layer, "layer"}, {K::Scene, "scene"}, {K::Transition, "transition"}, {K::Duration, "duration"}}},
       {3, 2, 0, 1}, TFlow::HoldsScript, TPageEffect::None, &T::CmdChangeScene},
      {"SETLAYERVISIBLE", 4, false, {{{K::Any, "layer"}, {K::Boolean, "visibility"}, {}, {}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdSetLayerVisible},
      {"SELECT", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::Choice, &T::CmdSelect},
      {"JUMP", 0, false, {{{K::Target, "jump target"}}}, kInOrder, TFlow::Jump, TPageEffect::None, &T::CmdJump},
      {"IF", 4, false,
       {{{K::Comparison, "comparison"}, {K::Expression, "expression"}, {K::Expression, "expression"},
         {K::Target, "jump target"}}},
       kInOrder, TFlow::ConditionalJump, TPageEffect::None, &T::CmdIf},
      {"SET", 2, false, {{{K::Variable, "variable"}, {K::Expression, "expression"}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdSet},
      {"LOADSOUND", 2, false, {{{K::Channel, "channel"}, {K::SoundFile, "sound"}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdLoadSound},
      {"PLAYSOUND", 2, false, {{{K::Channel, "channel"}, {K::Boolean, "loop flag"}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdPlaySound},
      {"STOPSOUND", 2, false, {{{K::Channel, "channel"}, {K::Boolean, "keep-position flag"}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdStopSound},
      {"SEEKSOUND", 2, false, {{{K::Channel, "channel"}, {K::Integer, "position"}}}, kInOrder, TFlow::Next,
       TPageEffect::None, &T::CmdSeekSound},
      {"MAXVALUE", 4, true,
       {{{K::Variable, "variable"}, {K::Variable, "variable"}, {K::Expression, "expression"}, {K::Expression, "expression"}}},
       kInOrder, TFlow::Next, TPageEffect::None, &T::CmdMaxValue},
      {"CREATEPROCESS", 0, false, {{{K::Any, "command line"}}}, kInOrder, TFlow::Next, TPageEffect::None,
       &T::CmdCreateProcess},
      {"EXIT", 0, false, {}, kInOrder, TFlow::Ends, TPageEffect::None, &T::CmdExit},
      {"LABEL", 0, false, {{{K::Any, "label"}}}, kInOrder, TFlow::Label, TPageEffect::None, &T::CmdLabel},
      {"WAIT", 0, false, {}, kInOrder, TFlow::Waits, TPageEffect::None, nullptr},
  };
  return kCommands;
}

const TCommand* FindCommand(const AnsiString& name) {
  for (const TCommand& c : CommandSet())
    if (name == c.Name) return &c;
  return nullptr;
}

const TFieldSpec& TCommand::Field(size_t i) const {
  const size_t declared = FieldCount <= 0 ? 1 : size_t(FieldCount);
  return Fields[std::min(i, declared - 1)];
}

int32_t TCommand::TargetField() const {
  for (size_t i = 0; i < (FieldCount <= 0 ? 1 : size_t(FieldCount)); ++i)
    if (Fields[i].Kind == TFieldKind::Target) return int32_t(i);
  return -1;
}

// ---------------------------------------------------------------- arguments

TCommandArgs::TCommandArgs(const TCommand& command, const AnsiString& name, const WideString& param)
    : FCommand(command), FName(name), FParam(param) {
  if (command.FieldCount <= 0) {
    FFields.push_back(param);
    // A jump target is '#' and a name of at least one character.
    FCountMatches = command.Fields[0].Kind != TFieldKind::Target || param.size() >= 2;
    return;
  }
  FFields = SplitWideString(param, u',');
  const size_t wanted = size_t(command.FieldCount);
  FCountMatches = command.AtLeast ? FFields.size() >= wanted : FFields.size() == wanted;
}

AnsiString TCommandArgs::Quoted() const { return FName + " " + WideToUtf8(FParam); }

int32_t TCommandArgs::Integer(size_t i) const { return StrToInt(std::u16string_view(FFields[i])); }

bool TCommandArgs::Boolean(size_t i) const { return StrToBool(std::u16string_view(FFields[i])); }

int32_t TCommandArgs::Channel(size_t i) const {
  const int32_t c = Integer(i);
  if (c < 0 || c >= kChannelCount) throw ESVXScriptError(ResStr::InvalidValue);
  return c;
}

int32_t TCommandArgs::Layer(size_t i) const {
  const int32_t l = Integer(i);
  if (l < 0 || l >= kSceneLayerCount) throw ESVXScriptError(ResStr::InvalidValue);
  return l;
}

AnsiString TCommandArgs::Reference(size_t i) const {
  const WideString& f = FFields[i];
  return WideToUtf8(std::u16string_view(f).substr(f.empty() ? 0 : 1));
}

void TCommandArgs::ConvertAll() const {
  for (const int8_t i : FCommand.Order) {
    if (size_t(i) >= FFields.size()) continue;
    switch (FCommand.Field(size_t(i)).Kind) {
      case TFieldKind::Integer:
      case TFieldKind::Transition:
      case TFieldKind::Duration: Integer(size_t(i)); break;
      case TFieldKind::Boolean: Boolean(size_t(i)); break;
      case TFieldKind::Channel: Channel(size_t(i)); break;
      case TFieldKind::Layer: Layer(size_t(i)); break;
      default: break;
    }
  }
}

// ---------------------------------------------------------------- checks shared with tools

bool IsComparison(const WideString& op) {
  return op == u"==" || op == u"[=" || op == u"[[" || op == u"]=" || op == u"!=";
}

std::vector<std::pair<int32_t, int32_t>> ChoicesTestedAfter(const TScriptLoader& script, int32_t wait) {
  std::vector<std::pair<int32_t, int32_t>> tested;
  for (int32_t i = wait + 1; i <= script.LastIndex(); ++i) {
    const TCommand* c = FindCommand(script.CommandName(i));
    if (!c || c->Flow != TFlow::ConditionalJump) break;
    const WideStringArray f = SplitWideString(script.CommandParam(i), u',');
    int32_t v;
    if (f.size() == 4 && f[0] == u"==" && f[1] == u"#LASTSELECT" && TryStrToInt(std::u16string_view(f[2]), v))
      tested.emplace_back(i, v);
  }
  return tested;
}
