#include "common/Calc2.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/CodePage.h"

namespace {

struct Vars {
  std::map<std::string, int32_t> Values;
  std::map<std::string, int> Reads;
  static void Proc(void* user, const AnsiString& token, int32_t& value) {
    auto* self = static_cast<Vars*>(user);
    ++self->Reads[token];
    value = self->Values.at(token.substr(1));
  }
};

int32_t Calc(const WideString& text) {
  TCalc c;
  c.Parse(text);
  return c.Result;
}

TEST(Calc, TableOfResults) {
  const struct {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"2 + 3 * 4", 14},      {u"( 2 + 3 ) * 4", 20},  {u"2 ^ 3 ^ 2", 64},      {u"10 - 2 - 3", 5},
      {u"7 / 2", 3},           {u"-7 / 2", -3},         {u"3 Root 16", 12},      {u"100 sin 0", 0},
      {u"100 sin 157", 100},   {u"15 MaxLimit 10", 10}, {u"4 MaxLimit 10", 4},   {u"-3 MinLimit 0", 0},
      {u"$10 + x10 + 0x10", 48}, {u"2 ^ -1", 0},        {u"3 ^ -1", 0},          {u"2 + 2 ^ 3 * 2", 18},
      {u"  1   +   1  ", 2},   {u"2147483647 + 1", INT32_MIN}, {u"65536 * 65536", 0}, {u"5 Root 2", 7},
      {u"( ( 1 ) )", 1},       {u"1 - ( 2 - 3 )", 2},   {u"2 * 3 MaxLimit 5", 5},
  };
  for (const auto& c : cases) EXPECT_EQ(Calc(c.text), c.value) << WideToUtf8(c.text);
}

void ExpectError(const WideString& text, const char* cls, const std::string& message) {
  TCalc c;
  try {
    c.Parse(text);
    ADD_FAILURE() << "no error for " << message;
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), cls);
    EXPECT_EQ(e.Message(), message);
  }
  // A fault of the text leaves no expression; an arithmetic one keeps it.
  EXPECT_EQ(c.Tree == nullptr, std::string(cls).rfind("ECalc", 0) == 0) << cls;
}

TEST(Calc, ErrorsAndTheirMessages) {
  ExpectError(u"", "ECalcSyntaxError", "SyntaxError (CT_L 0)\r\n");
  ExpectError(u"1 2", "ECalcSyntaxError", "SyntaxError (CT_O 1)\r\n1 2");
  ExpectError(u"1 + * 2", "ECalcSyntaxError", "SyntaxError (CT_L 2)\r\n1 + * 2");
  ExpectError(u"1+2", "ECalcUnknownOperand", "Unknown Operand: \"1+2\"");
  ExpectError(u"( 1 + 2", "ECalcSyntaxError", "SyntaxError (CT_O 4)\r\n( 1 + 2");
  ExpectError(u"1 + 2 )", "ECalcSyntaxError", "SyntaxError (CT_L 4)\r\n1 + 2 )");
  ExpectError(u"1 / 0", "EDivByZero", "Division by zero");
  ExpectError(u"-2147483648 / -1", "EIntOverflow", "Integer overflow");
  ExpectError(u"1 Root -4", "EInvalidOp", "Invalid floating point operation");
  ExpectError(u"10 ^ 20", "EInvalidOp", "Invalid floating point operation");
  ExpectError(u"0 sin 5", "EZeroDivide", "Floating point division by zero");
  ExpectError(u"0 sin 0", "EInvalidOp", "Invalid floating point operation");
  ExpectError(u"0 ^ -1", "EZeroDivide", "Floating point division by zero");
  WideString deep;
  for (int i = 0; i < 300; ++i) deep += u"( ";
  deep += u"1";
  TCalc c;
  EXPECT_THROW(c.Parse(deep), ECalcSyntaxError);
}

TEST(Calc, VariablesWithoutACallbackAreOne) {
  EXPECT_EQ(Calc(u"#X + #Y * 3"), 4);
  TCalc c;
  EXPECT_TRUE(c.Parse(u"1"));
  EXPECT_FALSE(c.Parse(u"2"));  // a calculator parses once
  EXPECT_EQ(c.Result, 1);
}

TEST(Calc, ForcedFirstComputationGivesEveryOperatorItsValue) {
  Vars v;
  v.Values = {{"A", 0}, {"B", 0}};
  TCalc c;
  c.OnVariable = Vars::Proc;
  c.UserData = &v;
  c.Parse(u"#A ^ #B");  // 0 ^ 0 = 1, although both variables kept their first value
  EXPECT_EQ(c.Result, 1);
}

TEST(Calc, LazyEvaluationReadsEveryVariableButRecomputesOnlyChangedBranches) {
  Vars v;
  v.Values = {{"A", 2}, {"B", 3}, {"C", 4}};
  TCalc c;
  c.OnVariable = Vars::Proc;
  c.UserData = &v;
  c.Parse(u"( #A + #B ) * ( #C MinLimit 0 )");
  EXPECT_EQ(c.Result, 20);
  TCalcTreeData* left = c.Tree->Left.get();
  TCalcTreeData* right = c.Tree->Right.get();
  // Tamper with a cached branch: while its inputs stay, it is not recomputed.
  left->Value = 100;
  v.Values["C"] = 5;
  c.Evaluate();
  EXPECT_EQ(right->Value, 5);
  EXPECT_EQ(c.Result, 500);
  EXPECT_EQ(v.Reads["#A"], 2);
  EXPECT_EQ(v.Reads["#B"], 2);
  EXPECT_EQ(v.Reads["#C"], 2);
  v.Values["A"] = 1;
  c.Evaluate();
  EXPECT_EQ(c.Result, 20);
  // Nothing changed: the root keeps its value without recomputing.
  c.Tree->Value = 77;
  c.Evaluate();
  EXPECT_EQ(c.Result, 77);
}

TEST(Calc, CallbackErrorsPropagate) {
  TCalc c;
  c.OnVariable = [](void*, const AnsiString& token, int32_t&) { throw EConvertError("no " + token); };
  try {
    c.Parse(u"1 + #Q");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "no #Q");
  }
  EXPECT_EQ(c.Tree, nullptr);
}

// A fault of the first computation keeps the expression: later computations give every
// branch its value, the ones after the fault too.
TEST(Calc, AnArithmeticFaultKeepsTheTreeAndTheNextComputationIsWhole) {
  for (const char16_t* text : {u"1000 / #t + 5", u"5 + 1000 / #t", u"3 * 7 + 1000 / #t - 2 * 8"}) {
    Vars v;
    v.Values["t"] = 0;
    TCalc c;
    c.UserData = &v;
    c.OnVariable = Vars::Proc;
    EXPECT_THROW(c.Parse(text), EDivByZero) << WideToUtf8(text);
    ASSERT_NE(c.Tree, nullptr) << WideToUtf8(text);
    v.Values["t"] = 10;
    c.Evaluate();
    EXPECT_EQ(c.Result, text[0] == u'3' ? 21 + 100 - 16 : 105) << WideToUtf8(text);
    v.Values["t"] = 20;
    c.Evaluate();
    EXPECT_EQ(c.Result, text[0] == u'3' ? 21 + 50 - 16 : 55) << WideToUtf8(text);
  }
}

TEST(Calc, LongChainsStayWithinTheStack) {
  WideString text = u"1";
  for (int i = 0; i < 30000; ++i) text += u" + 1";
  EXPECT_EQ(Calc(text), 30001);
}
}  // namespace
