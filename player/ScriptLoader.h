// A compiled script: a flat list of commands (an 8-bit name and one wide parameter each),
// the label table from label names to command indices, and the position of the command
// that runs next. Descendants turn a script file into commands in Compile; the base class
// supplies line reading, the list and the walk over it.
// Threads: main thread only.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "common/Tables.h"
#include "platform/CodePage.h"
#include "platform/SysUtils.h"

// The command-list debug window as the loader sees it: one row per command, the current
// one selected.
class ISCLDebugView {
 public:
  virtual ~ISCLDebugView() = default;
  // Appends a row to both lists (LiOperation, LiParam).
  virtual void AddRow(const AnsiString& operation, const AnsiString& param) = 0;
  // Selects row `index` in both lists.
  virtual void SelectRow(int index) = 0;
  virtual void SetVisible(bool visible) = 0;
};

// The longest line a script may have; a longer one is a read failure.
constexpr size_t kMaxScriptLineBytes = size_t(16) * 1024 * 1024;

// A fatal start-up error whose box has been shown: the program ends through its normal
// shutdown (destructors, the log's end line) with exit status 1.
SORVANE_DECLARE_EXCEPTION(, EStartupAborted, Exception);

class TScriptLoader {
 public:
  // The debug view is created hidden by the owner's factory; null means none.
  explicit TScriptLoader(std::unique_ptr<ISCLDebugView> debugView = nullptr);
  virtual ~TScriptLoader();
  TScriptLoader(const TScriptLoader&) = delete;
  TScriptLoader& operator=(const TScriptLoader&) = delete;

  // Opens the file, compiles it and sets the position to the first command. Open and
  // read errors raise EInOutError (a file that is not regular, or larger than a story
  // file may be, is an open error); errors of Compile pass through.
  virtual void Load(const AnsiString& fileName);
  virtual void Clear();

  // One line of the open script, decoded from Shift-JIS or, for a script that says it is
  // written so, UTF-8 (the byte order mark left out), without its CR LF or LF.
  // True (and an empty line) at the end of the file. A read failure, or a line longer
  // than kMaxScriptLineBytes, is a fatal start-up error.
  bool ReadLine(WideString& line);
  void AddCommand(const AnsiString& name, const WideString& parameter);
  // Appends LABEL with the name and records name -> its index (the first one stays).
  void AddLabel(const AnsiString& name);
  void GetCommand(AnsiString& name, WideString& parameter) const;
  void GetCommandName(AnsiString& name) const;
  // Moves to the next command; true when the end was reached (position -1).
  bool Next();
  // Moves to command `index` (-1: past the end); false for one that does not exist.
  bool SetPosition(int32_t index);
  // Moves to the label's LABEL command; false (position unchanged) for an unknown label.
  bool JumpTo(const AnsiString& labelName);

  int32_t Position() const { return FPosition; }
  int32_t LastIndex() const { return FLastIndex; }
  int32_t Capacity() const { return int32_t(FNames.size()); }
  const AnsiString& CommandName(int32_t index) const { return FNames[size_t(index)]; }
  const WideString& CommandParam(int32_t index) const { return FParams[size_t(index)]; }
  // The script line the command was compiled from (counted from 1; 0 for none).
  int32_t CommandLine(int32_t index) const { return FLines[size_t(index)]; }
  const TIntTable& Labels() const { return FLabels; }
  ISCLDebugView* DebugView() const { return FDebugView.get(); }
  // How the script loaded last is written.
  TStoryEncoding Encoding() const { return FEncoding; }

  // Where the loader's notes go (the owner's log); may be empty.
  std::function<void(const AnsiString&)> OnLog;

 protected:
  // Turns the open script into commands; the base lists them in the debug view.
  virtual void Compile();
  void Log(const AnsiString& text) const;
  const AnsiString& FileName() const { return FFileName; }
  // The line the commands added from now on come from.
  void SetSourceLine(int32_t line) { FSourceLine = line; }

 private:
  bool FillBuffer();

  std::vector<AnsiString> FNames;
  std::vector<WideString> FParams;
  std::vector<int32_t> FLines;
  int32_t FSourceLine = 0;
  int32_t FLastIndex = -1;
  int32_t FPosition = -1;
  TIntTable FLabels;
  std::unique_ptr<ISCLDebugView> FDebugView;

  AnsiString FFileName;
  std::FILE* FFile = nullptr;
  std::vector<char> FReadBuffer;
  size_t FReadPos = 0;
  size_t FReadEnd = 0;
  std::string FLineBytes;
  TStoryEncoding FEncoding = TStoryEncoding::CP932;
};

// Shows the fatal start-up message with its cause and location code, then raises
// EStartupAborted carrying that message.
[[noreturn]] void FatalStartupError(const char* cause, const char* location);
