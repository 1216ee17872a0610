#include "player/Commands.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "player/ResStr.h"
#include "player/ScriptLoader.h"

namespace {
using K = TFieldKind;
constexpr std::array<int8_t, 4> kInOrder{0, 1, 2, 3};
}  // namespace

std::span<const TCommand> CommandSet() {
  using I = TCommandId;
  static const TCommand kCommands[] = {
      {I::Text, "TEXT", 0, false, {{{K::Any, "text"}}}, kInOrder, TFlow::Next, TPageEffect::AddText},
      {I::Clear, "CLEAR", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::Clear},
      {I::Br, "BR", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::NewLine},
      {I::Speaker, "SPEAKER", 0, false, {{{K::Any, "speaker"}}}, kInOrder, TFlow::Next, TPageEffect::None},
      // The fields convert from the last: the first bad one found is the one reported.
      {I::ChangeScene, "CHANGESCENE", 4, false,
       {{{K::Layer, "layer"}, {K::Scene, "scene"}, {K::Transition, "transition"}, {K::Duration, "duration"}}},
       {3, 2, 0, 1}, TFlow::HoldsScript, TPageEffect::None},
      {I::SetLayerVisible, "SETLAYERVISIBLE", 4, false, {{{K::Any, "layer"}, {K::Boolean, "visibility"}, {}, {}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::Select, "SELECT", 0, false, {}, kInOrder, TFlow::Next, TPageEffect::Choice},
      {I::Jump, "JUMP", 0, false, {{{K::Target, "jump target"}}}, kInOrder, TFlow::Jump, TPageEffect::None},
      {I::If, "IF", 4, false,
       {{{K::Comparison, "comparison"}, {K::Expression, "expression"}, {K::Expression, "expression"},
         {K::Target, "jump target"}}},
       kInOrder, TFlow::ConditionalJump, TPageEffect::None},
      {I::Set, "SET", 2, false, {{{K::Variable, "variable"}, {K::Expression, "expression"}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::LoadSound, "LOADSOUND", 2, false, {{{K::Channel, "channel"}, {K::SoundFile, "sound"}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::PlaySound, "PLAYSOUND", 2, false, {{{K::Channel, "channel"}, {K::Boolean, "loop flag"}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::StopSound, "STOPSOUND", 2, false, {{{K::Channel, "channel"}, {K::Boolean, "keep-position flag"}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::SeekSound, "SEEKSOUND", 2, false, {{{K::Channel, "channel"}, {K::Integer, "position"}}}, kInOrder, TFlow::Next,
       TPageEffect::None},
      {I::MaxValue, "MAXVALUE", 4, true,
       {{{K::Variable, "variable"}, {K::Variable, "variable"}, {K::Expression, "expression"}, {K::Expression, "expression"}}},
       kInOrder, TFlow::Next, TPageEffect::None},
      {I::CreateProcess, "CREATEPROCESS", 0, false, {{{K::Any, "command line"}}}, kInOrder, TFlow::Next, TPageEffect::None},
      {I::Exit, "EXIT", 0, false, {}, kInOrder, TFlow::Ends, TPageEffect::None},
      {I::Label, "LABEL", 0, false, {{{K::Any, "label"}}}, kInOrder, TFlow::Label, TPageEffect::None},
      {I::Wait, "WAIT", 0, false, {}, kInOrder, TFlow::Waits, TPageEffect::None},
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

std::vector<size_t> TCommand::ConversionOrder(size_t fields) const {
  std::vector<size_t> order;
  for (const int8_t k : Order)
    if (size_t(k) < fields) order.push_back(size_t(k));
  for (size_t k = Order.size(); k < fields; ++k) order.push_back(k);
  return order;
}

bool IsReference(const WideString& field) { return field.size() >= 2 && field[0] == u'#'; }

bool CheckField(const TFieldSpec& field, const WideString& text, std::string& why) {
  int32_t n = 0;
  const auto integer = [&] {
    if (TryStrToInt(std::u16string_view(text), n)) return true;
    why = std::string(field.What) + " '" + WideToUtf8(text) + "' is not an integer";
    return false;
  };
  switch (field.Kind) {
    case TFieldKind::Integer:
    case TFieldKind::Transition:
    case TFieldKind::Duration: return integer();
    case TFieldKind::Boolean:
      try {
        StrToBool(std::u16string_view(text));
        return true;
      } catch (const Exception&) {
        why = std::string(field.What) + " '" + WideToUtf8(text) + "' is not a boolean";
        return false;
      }
    case TFieldKind::Channel:
    case TFieldKind::Layer: {
      const int32_t count = field.Kind == TFieldKind::Channel ? kChannelCount : kSceneLayerCount;
      if (!integer()) return false;
      if (n >= 0 && n < count) return true;
      const std::string range = count == 2 ? "0 or 1" : "0 to " + std::to_string(count - 1);
      why = std::string(field.What) + " " + std::to_string(n) + " does not exist (" + range + ")";
      return false;
    }
    case TFieldKind::Comparison:
      if (IsComparison(text)) return true;
      why = "unknown comparison '" + WideToUtf8(text) + "'";
      return false;
    case TFieldKind::Target:
      if (IsReference(text)) return true;
      why = "jump target '" + WideToUtf8(text) + "' is not #LABEL";
      return false;
    default: return true;
  }
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
    FCountMatches = command.Fields[0].Kind != TFieldKind::Target || IsReference(param);
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
  for (const int8_t k : FCommand.Order) {
    const size_t i = size_t(k);
    if (i >= FFields.size()) continue;
    switch (FCommand.Field(i).Kind) {
      case TFieldKind::Integer:
      case TFieldKind::Transition:
      case TFieldKind::Duration: Integer(i); break;
      case TFieldKind::Boolean: Boolean(i); break;
      case TFieldKind::Channel: Channel(i); break;
      case TFieldKind::Layer: Layer(i); break;
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
