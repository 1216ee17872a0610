#include "common/Calc2.h"

#include <cfenv>
#include <cmath>
#include <vector>

#include "common/WideStrLib.h"
#include "platform/CodePage.h"

namespace {

constexpr uint8_t kStrength[] = {6, 6, 2, 2, 3, 3, 4, 2, 2, 5, 5, 1, 1, 0};
constexpr int kMaxNesting = 256;      // parentheses inside parentheses
constexpr size_t kMaxTokens = 65536;  // keeps the tree's depth within the stack

struct TToken {
  uint8_t Kind;
  int32_t Value;
  AnsiString Name;
};

int32_t RoundToInt(double v) {
  // Nearest, ties to even; what cannot be an integer is an invalid operation.
  if (!std::isfinite(v)) throw EInvalidOp("Invalid floating point operation");
  const double r = std::nearbyint(v);
  if (r < -2147483648.0 || r > 2147483647.0) throw EInvalidOp("Invalid floating point operation");
  return int32_t(r);
}

int32_t Apply(uint8_t kind, int32_t l, int32_t r) {
  switch (kind) {
    case ckPlus: return int32_t(uint32_t(l) + uint32_t(r));
    case ckMinus: return int32_t(uint32_t(l) - uint32_t(r));
    case ckMultiply: return int32_t(uint32_t(l) * uint32_t(r));
    case ckDivide:
      if (r == 0) throw EDivByZero("Division by zero");
      if (l == INT32_MIN && r == -1) throw EIntOverflow("Integer overflow");
      return l / r;
    case ckSin:
      if (l == 0) {
        if (r == 0) throw EInvalidOp("Invalid floating point operation");
        throw EZeroDivide("Floating point division by zero");
      }
      return RoundToInt(double(l) * std::sin(double(r) / double(l)));
    case ckMaxLimit: return l < r ? l : r;
    case ckMinLimit: return l > r ? l : r;
    case ckPower:
      if (l == 0 && r < 0) throw EZeroDivide("Floating point division by zero");
      return RoundToInt(std::pow(double(l), double(r)));
    case ckRoot: return RoundToInt(double(l) * std::sqrt(double(r)));
    default: return 0;
  }
}

std::vector<TToken> Tokenize(const WideString& text) {
  static const struct {
    const char16_t* Text;
    uint8_t Kind;
  } kOperators[] = {{u"+", ckPlus},         {u"-", ckMinus},         {u"*", ckMultiply}, {u"/", ckDivide},
                    {u"sin", ckSin},        {u"MaxLimit", ckMaxLimit}, {u"MinLimit", ckMinLimit},
                    {u"^", ckPower},        {u"Root", ckRoot},       {u"(", ckOpen},     {u")", ckClose}};
  std::vector<TToken> tokens;
  for (const WideString& piece : SplitWideString(text, u' ')) {
    if (piece.empty()) continue;
    TToken t{ckNumber, 0, {}};
    bool op = false;
    for (const auto& o : kOperators)
      if (piece == o.Text) {
        t.Kind = o.Kind;
        op = true;
        break;
      }
    if (!op) {
      if (piece[0] == u'#') {
        t.Kind = ckVariable;
        t.Name = WideToUtf8(piece);
      } else if (!TryStrToInt(std::u16string_view(piece), t.Value)) {
        throw ECalcUnknownOperand("Unknown Operand: \"" + WideToUtf8(piece) + "\"");
      }
    }
    tokens.push_back(std::move(t));
  }
  tokens.push_back(TToken{ckEnd, 0, {}});
  return tokens;
}

// Precedence climbing over the tokens; all operators bind left to right.
class TTreeBuilder {
 public:
  TTreeBuilder(TCalc* calc, const std::vector<TToken>& tokens, const WideString& text)
      : FCalc(calc), FTokens(tokens), FText(WideToUtf8(text)) {}

  std::unique_ptr<TCalcTreeData> Build() { return Parse(0, 0); }

 private:
  [[noreturn]] void Fail(const char* where) const {
    throw ECalcSyntaxError("SyntaxError (" + std::string(where) + " " + std::to_string(FCursor) + ")\r\n" + FText);
  }

  std::unique_ptr<TCalcTreeData> Node(const TToken& t) const {
    auto n = std::make_unique<TCalcTreeData>();
    n->Calc = FCalc;
    n->Kind = t.Kind;
    n->Value = t.Value;
    n->Name = t.Name;
    return n;
  }

  std::unique_ptr<TCalcTreeData> Parse(uint8_t minimum, int depth) {
    std::unique_ptr<TCalcTreeData> current;
    const TToken& first = FTokens[FCursor];
    if (first.Kind == ckNumber || first.Kind == ckVariable) {
      current = Node(first);
      ++FCursor;
    } else if (first.Kind == ckOpen && depth < kMaxNesting) {
      ++FCursor;
      current = Parse(1, depth + 1);
      // Past the closing token; a '(' that the expression never closes is an error.
      if (FTokens[FCursor].Kind == ckEnd) Fail("CT_O");
      ++FCursor;
    } else {
      Fail("CT_L");
    }
    for (;;) {
      const TToken& t = FTokens[FCursor];
      if (t.Kind == ckNumber || t.Kind == ckVariable) Fail("CT_O");
      const uint8_t strength = kStrength[t.Kind];
      if (minimum >= strength) return current;
      ++FCursor;
      auto op = Node(t);
      op->Left = std::move(current);
      op->Right = Parse(strength, depth);
      current = std::move(op);
    }
  }

  TCalc* FCalc;
  const std::vector<TToken>& FTokens;
  std::string FText;
  size_t FCursor = 0;
};

}  // namespace

TCalcTreeData::~TCalcTreeData() {
  // Long operator chains are deep trees: free them without deep recursion.
  std::vector<std::unique_ptr<TCalcTreeData>> pending;
  if (Left) pending.push_back(std::move(Left));
  if (Right) pending.push_back(std::move(Right));
  while (!pending.empty()) {
    std::unique_ptr<TCalcTreeData> n = std::move(pending.back());
    pending.pop_back();
    if (n->Left) pending.push_back(std::move(n->Left));
    if (n->Right) pending.push_back(std::move(n->Right));
  }
}

bool TCalcTreeData::Compute(bool force) {
  switch (Kind) {
    case ckNumber: return force;
    case ckVariable: {
      const int32_t old = Value;
      if (Calc && Calc->OnVariable) Calc->OnVariable(Calc->UserData, Name, Value);
      else Value = 1;
      // A forced computation counts every variable as changed, so that every operator
      // gets its first value from its operands.
      return force || Value != old;
    }
    default: {
      const bool left = Left->Compute(force);
      const bool right = Right->Compute(force);
      if (!left && !right) return false;
      const int32_t old = Value;
      Value = Apply(Kind, Left->Value, Right->Value);
      return force || Value != old;
    }
  }
}

bool TCalc::Parse(const WideString& text) {
  if (Tree) return false;
  const std::vector<TToken> tokens = Tokenize(text);
  if (tokens.size() > kMaxTokens)
    throw ECalcSyntaxError("SyntaxError (CT_O " + std::to_string(kMaxTokens) + ")\r\n" + WideToUtf8(text));
  auto tree = TTreeBuilder(this, tokens, text).Build();
  // An arithmetic fault belongs to this computation, not to the expression: the tree stays.
  try {
    tree->Compute(true);
  } catch (const Exception& e) {
    if (dynamic_cast<const EDivByZero*>(&e) || dynamic_cast<const EIntOverflow*>(&e) ||
        dynamic_cast<const EInvalidOp*>(&e) || dynamic_cast<const EZeroDivide*>(&e)) {
      Tree = std::move(tree);
      FComputeAll = true;
    }
    throw;
  }
  Result = tree->Value;
  Tree = std::move(tree);
  return true;
}

void TCalc::Evaluate() {
  if (!Tree) return;
  // A fault leaves the branches after it uncomputed: until one computation goes through,
  // each computes them all.
  Tree->Compute(FComputeAll);
  FComputeAll = false;
  Result = Tree->Value;
}
