// Markup parsing of a generated 10 MB Shift-JIS script, beside decoding the same bytes
// from CP932 alone.
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "BenchRatios.h"
#include "common/HTMLDoc.h"
#include "platform/CodePage.h"

namespace {

// A script of `units` scenes, each a label, a paragraph, a comment and a command, with a
// choice list every tenth; unlimited units run to a little past 10 MB.
std::string MakeScript(int units) {
  WideString s = u"<HTML><HEAD><TITLE>bench</TITLE></HEAD><BODY>\r\n";
  // About 1.6 bytes per character once in Shift-JIS.
  for (int n = 0; units < 0 ? s.size() * 16 / 10 < 10'000'000 : n < units; ++n) {
    s += u"<A name=l" + IntToWideStr(n) + u"></A>\r\n";
    s += u"<P>春の日差しが窓から差し込み、少女は静かに本を閉じた。「また明日ね」と彼女は言った。</P>\r\n";
    s += u"<!-- 場面 " + IntToWideStr(n) + u" -->\r\n";
    s += u"<CODE>SET #COUNT,#COUNT + 1</CODE>\r\n";
    if (n % 10 == 0)
      s += u"<UL>\r\n  <LI><A href=#l1>はい</A></LI>\r\n  <LI><A href=#l2>いいえ</A></LI>\r\n</UL>\r\n";
  }
  s += u"</BODY></HTML>\r\n";
  return WideToCP932(s);
}

const std::string& ScriptBytes() {
  static const std::string bytes = MakeScript(-1);
  return bytes;
}

// Within the element table: every element is kept and reachable (about 150 KB).
const std::string& ListedBytes() {
  static const std::string bytes = MakeScript(1100);
  return bytes;
}

std::string WriteTemp(const char* name, const std::string& bytes) {
  std::string p = "/tmp/sorvane-bench-" + std::string(name) + "-" + std::to_string(::getpid()) + ".svx";
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

const std::string& ScriptFile() {
  static const std::string path = WriteTemp("markup", ScriptBytes());
  return path;
}

const std::string& ListedFile() {
  static const std::string path = WriteTemp("listed", ListedBytes());
  return path;
}

void Decode(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) benchmark::DoNotOptimize(CP932ToWide(bytes));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void Load(benchmark::State& state, const std::string& path, const std::string& bytes, bool allListed) {
  for (auto _ : state) {
    THTMLDoc doc;
    doc.LoadFromFile(path);
    if (allListed && doc.UnlistedCount() != 0) state.SkipWithError("the script outgrew the element table");
    benchmark::DoNotOptimize(doc.Root());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_DecodeCP932Only(benchmark::State& state) { Decode(state, ScriptBytes()); }
void BM_LoadFromFile(benchmark::State& state) { Load(state, ScriptFile(), ScriptBytes(), false); }

// The same without the document's destruction, which frees every element.
void BM_LoadFromFileNoFree(benchmark::State& state) {
  const std::string& path = ScriptFile();
  for (auto _ : state) {
    auto doc = std::make_unique<THTMLDoc>();
    doc->LoadFromFile(path);
    benchmark::DoNotOptimize(doc->Root());
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ScriptBytes().size()));
}

void BM_DecodeListedOnly(benchmark::State& state) { Decode(state, ListedBytes()); }
void BM_LoadListedFile(benchmark::State& state) { Load(state, ListedFile(), ListedBytes(), true); }

// The way scripts are read: line by line, each line decoded and parsed.
void BM_ParseLines(benchmark::State& state) {
  const std::string& bytes = ScriptBytes();
  for (auto _ : state) {
    THTMLDoc doc;
    WideString line;
    size_t pos = 0;
    while (pos < bytes.size()) {
      size_t end = bytes.find('\n', pos);
      if (end == std::string::npos) end = bytes.size();
      size_t stop = end > pos && bytes[end - 1] == '\r' ? end - 1 : end;
      line = CP932ToWide(std::string_view(bytes).substr(pos, stop - pos));
      doc.Parse(line);
      pos = end + 1;
    }
    benchmark::DoNotOptimize(doc.Root());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

BENCHMARK(BM_DecodeCP932Only)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LoadFromFileNoFree)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ParseLines)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DecodeListedOnly)->Unit(benchmark::kMicrosecond)->MinTime(1);
BENCHMARK(BM_LoadListedFile)->Unit(benchmark::kMicrosecond)->MinTime(1);

}  // namespace

int main(int argc, char** argv) {
  const int r = RunWithRatios(argc, argv,
                              {{"BM_LoadFromFile/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"},
                               {"BM_LoadFromFileNoFree/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"},
                               {"BM_ParseLines/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"},
                               {"BM_LoadListedFile/min_time:1.000", "BM_DecodeListedOnly/min_time:1.000"}});
  ::unlink(ScriptFile().c_str());
  ::unlink(ListedFile().c_str());
  return r;
}
