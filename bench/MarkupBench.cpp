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

const std::string& ScriptBytes() {
  static const std::string bytes = [] {
    WideString s = u"<HTML><HEAD><TITLE>bench</TITLE></HEAD><BODY>\r\n";
    int n = 0;
    // About 1.6 bytes per character once in Shift-JIS: stop a little past 10 MB.
    while (s.size() * 16 / 10 < 10'000'000) {
      s += u"<A name=l" + IntToWideStr(n) + u"></A>\r\n";
      s += u"<P>春の日差しが窓から差し込み、少女は静かに本を閉じた。「また明日ね」と彼女は言った。</P>\r\n";
      s += u"<!-- 場面 " + IntToWideStr(n) + u" -->\r\n";
      s += u"<CODE>SET #COUNT,#COUNT + 1</CODE>\r\n";
      if (n % 10 == 0)
        s += u"<UL>\r\n  <LI><A href=#l1>はい</A></LI>\r\n  <LI><A href=#l2>いいえ</A></LI>\r\n</UL>\r\n";
      ++n;
    }
    s += u"</BODY></HTML>\r\n";
    return WideToCP932(s);
  }();
  return bytes;
}

const std::string& ScriptFile() {
  static const std::string path = [] {
    std::string p = "/tmp/sorvane-bench-markup-" + std::to_string(::getpid()) + ".svx";
    std::ofstream(p, std::ios::binary) << ScriptBytes();
    return p;
  }();
  return path;
}

void BM_DecodeCP932Only(benchmark::State& state) {
  const std::string& bytes = ScriptBytes();
  for (auto _ : state) benchmark::DoNotOptimize(CP932ToWide(bytes));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_LoadFromFile(benchmark::State& state) {
  const std::string& path = ScriptFile();
  for (auto _ : state) {
    THTMLDoc doc;
    doc.LoadFromFile(path);
    benchmark::DoNotOptimize(doc.Root());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ScriptBytes().size()));
}

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

}  // namespace

int main(int argc, char** argv) {
  const int r = RunWithRatios(argc, argv,
                              {{"BM_LoadFromFile/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"},
                               {"BM_LoadFromFileNoFree/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"},
                               {"BM_ParseLines/min_time:2.000", "BM_DecodeCP932Only/min_time:2.000"}});
  ::unlink(ScriptFile().c_str());
  return r;
}
