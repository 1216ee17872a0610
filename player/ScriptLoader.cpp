#include "player/ScriptLoader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/ResStr.h"

namespace {
constexpr size_t kReadBlock = 64 * 1024;
static_assert(kReadBlock >= kEncodingSniffBytes);
}

void FatalStartupError(const char* cause, const char* location) {
  const AnsiString text = Format(ResStr::FatalStartup, {cause, location});
  MessageDlg(text, mtError, mbOKOnly);
  throw EStartupAborted(text);
}

TScriptLoader::TScriptLoader(std::unique_ptr<ISCLDebugView> debugView) : FDebugView(std::move(debugView)) {}

TScriptLoader::~TScriptLoader() {
  Clear();
  if (FFile) std::fclose(FFile);
}

void TScriptLoader::Log(const AnsiString& text) const {
  if (OnLog) OnLog(text);
}

void TScriptLoader::Load(const AnsiString& fileName) {
  FLastIndex = -1;
  FPosition = -1;
  FFileName = fileName;
  const std::string path = ResolveFileName(std::string_view(fileName));
  FFile = OpenRegularFileStream(path);
  struct stat st;
  if (FFile && ::fstat(::fileno(FFile), &st) == 0 && uint64_t(st.st_size) > kMaxStoryFileBytes) {
    std::fclose(FFile);
    FFile = nullptr;
    errno = EFBIG;
  }
  if (!FFile) throw EInOutError("Cannot open file \"" + fileName + "\". " + SysErrorMessage(errno));
  FReadBuffer.resize(kReadBlock);
  FReadPos = FReadEnd = 0;
  FEncoding = TStoryEncoding::CP932;
  struct Closer {
    TScriptLoader* self;
    ~Closer() {
      std::fclose(self->FFile);
      self->FFile = nullptr;
      self->FReadBuffer = std::vector<char>();
    }
  } closer{this};
  // The first block tells how the script is written (kReadBlock covers what is sniffed).
  if (FillBuffer()) FEncoding = DetectStoryEncoding(std::string_view(FReadBuffer.data(), FReadEnd), FReadPos);
  Compile();
  if (FLastIndex >= 0) FPosition = 0;
}

bool TScriptLoader::FillBuffer() {
  FReadPos = 0;
  FReadEnd = std::fread(FReadBuffer.data(), 1, FReadBuffer.size(), FFile);
  if (FReadEnd == 0 && std::ferror(FFile)) FatalStartupError(ResStr::ScriptReadFailed, "SL-GL_1");
  return FReadEnd > 0;
}

bool TScriptLoader::ReadLine(WideString& line) {
  line.clear();
  if (!FFile) FatalStartupError(ResStr::ScriptReadFailed, "SL-GL_1");
  FLineBytes.clear();
  bool any = false;
  for (;;) {
    if (FReadPos == FReadEnd && !FillBuffer()) {
      if (!any) return true;  // end of file
      break;                  // a last line without a break
    }
    any = true;
    const char* start = FReadBuffer.data() + FReadPos;
    const void* lf = std::memchr(start, '\n', FReadEnd - FReadPos);
    const size_t n = lf ? size_t(static_cast<const char*>(lf) - start) : FReadEnd - FReadPos;
    if (FLineBytes.size() + n > kMaxScriptLineBytes) FatalStartupError(ResStr::ScriptReadFailed, "SL-GL_1");
    FLineBytes.append(start, n);
    if (lf) {
      FReadPos += n + 1;
      break;
    }
    FReadPos = FReadEnd;
  }
  if (!FLineBytes.empty() && FLineBytes.back() == '\r') FLineBytes.pop_back();
  line = FEncoding == TStoryEncoding::Utf8 ? Utf8ToWide(FLineBytes) : CP932ToWide(FLineBytes);
  return false;
}

void TScriptLoader::AddCommand(const AnsiString& name, const WideString& parameter) {
  try {
    if (size_t(FLastIndex + 1) >= FNames.size()) {
      FNames.resize(size_t(FLastIndex + 100));
      FParams.resize(size_t(FLastIndex + 100));
      FLines.resize(size_t(FLastIndex + 100));
    }
    FNames[size_t(FLastIndex + 1)] = name;
    FParams[size_t(FLastIndex + 1)] = parameter;
    FLines[size_t(FLastIndex + 1)] = FSourceLine;
  } catch (const std::bad_alloc&) {
    FatalStartupError(ResStr::OutOfMemory, "SL-AO_1");
  } catch (const std::length_error&) {
    FatalStartupError(ResStr::OutOfMemory, "SL-AO_1");
  }
  ++FLastIndex;
}

void TScriptLoader::AddLabel(const AnsiString& name) {
  AddCommand("LABEL", Utf8ToWide(name));
  FLabels.SetInt(name, FLastIndex);
}

void TScriptLoader::GetCommand(AnsiString& name, WideString& parameter) const {
  if (FPosition < 0) {
    name.clear();
    parameter.clear();
    return;
  }
  name = FNames[size_t(FPosition)];
  parameter = FParams[size_t(FPosition)];
}

void TScriptLoader::GetCommandName(AnsiString& name) const {
  if (FPosition < 0) name.clear();
  else name = FNames[size_t(FPosition)];
}

bool TScriptLoader::Next() {
  ++FPosition;
  const bool ended = FPosition > FLastIndex || FPosition <= 0;
  if (ended) FPosition = -1;
  else if (FDebugView) FDebugView->SelectRow(FPosition);
  return ended;
}

bool TScriptLoader::SetPosition(int32_t index) {
  if (index < -1 || index > FLastIndex) return false;
  FPosition = index;
  if (FDebugView && index >= 0) FDebugView->SelectRow(index);
  return true;
}

bool TScriptLoader::JumpTo(const AnsiString& labelName) {
  int32_t index;
  if (!FLabels.TryGetInt(labelName, index) || index < 0 || index > FLastIndex) return false;
  FPosition = index;
  return true;
}

void TScriptLoader::Clear() {
  FNames = std::vector<AnsiString>();
  FParams = std::vector<WideString>();
  FLines = std::vector<int32_t>();
  FSourceLine = 0;
  // Nothing is left to point at.
  FLastIndex = -1;
  FPosition = -1;
}

void TScriptLoader::Compile() {
  if (!FDebugView) return;
  for (int32_t i = 0; i <= FLastIndex; ++i) FDebugView->AddRow(FNames[size_t(i)], WideToUtf8(FParams[size_t(i)]));
}
