// Integer expressions in a blank-separated token syntax ("#X * 2 + 1"), with variables
// supplied by a callback. An expression is parsed once into a tree and computed; later
// evaluations read every variable again but recompute only the branches whose inputs
// changed (scene objects evaluate their expressions every frame).
// Threads: a calculator is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/SysUtils.h"

SORVANE_DECLARE_EXCEPTION(, ECalcError, Exception);
SORVANE_DECLARE_EXCEPTION(, ECalcSyntaxError, ECalcError);
SORVANE_DECLARE_EXCEPTION(, ECalcUnknownOperand, ECalcError);

class TCalc;

// Supplies the value of a variable token (written with its '#').
using TCalcVariableProc = void (*)(void* userData, const AnsiString& token, int32_t& value);

enum TCalcKind : uint8_t {
  ckNumber, ckVariable, ckPlus, ckMinus, ckMultiply, ckDivide, ckSin, ckMaxLimit, ckMinLimit, ckPower, ckRoot,
  ckOpen, ckClose, ckEnd
};

class TCalcTreeData {
 public:
  TCalc* Calc = nullptr;
  std::unique_ptr<TCalcTreeData> Left, Right;
  int32_t Value = 0;
  uint8_t Kind = ckNumber;
  AnsiString Name;

  ~TCalcTreeData();
  // Computes the node; true when its value changed (or `force` is set).
  bool Compute(bool force);
};

class TCalc {
 public:
  std::unique_ptr<TCalcTreeData> Tree;
  int32_t Result = 0;
  TCalcVariableProc OnVariable = nullptr;
  void* UserData = nullptr;

  // Parses and computes, every branch forced; false (and nothing done) when a tree
  // exists already. Errors propagate: ECalcUnknownOperand, ECalcSyntaxError and the
  // callback's own leave no tree; an arithmetic fault (EDivByZero, EIntOverflow,
  // EInvalidOp, EZeroDivide) keeps it, and Evaluate then computes it whole again.
  bool Parse(const WideString& text);
  // Recomputes what changed since the last computation (everything after a fault).
  void Evaluate();

 private:
  bool FComputeAll = false;
};
