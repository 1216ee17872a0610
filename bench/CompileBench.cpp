// Compiling a generated 5 MB script (a tenth of it choice menus) beside parsing the same
// file's markup alone, read and decoded line by line the same way.
#include <unistd.h>

#include <memory>

#include "../tests/TestSupport.h"
#include "BenchRatios.h"
#include "common/HTMLDoc.h"
#include "platform/CodePage.h"
#include "player/MainScriptLoader.h"

namespace {

struct Script {
  std::string Path;
  size_t Bytes = 0;
};

// A script of `units` scenes (every tenth a choice menu), or, with units = 0, of about 5 MB.
// A document reaches at most 4999 elements, so of the 5 MB script only the beginning
// compiles; the smaller one stays within that limit and compiles whole.
Script MakeScript(int units) {
  {
    int n = 0;
    std::string bytes;
    WideString s = u"<HTML><BODY>\r\n";
    while (units > 0 ? n < units : s.size() * 16 / 10 < 5'000'000) {
      if (n % 10 == 9) {
        // About a tenth of the text is choice menus.
        s += u"<UL>\r\n  <LI><A href=#a" + IntToWideStr(n) + u">右の道を行く</A></LI>\r\n  <LI><A href=#b" +
             IntToWideStr(n) + u">左の道を行く</A></LI>\r\n  <LI><A href=#c" + IntToWideStr(n) +
             u">引き返す</A></LI>\r\n</UL>\r\n";
      } else {
        s += u"<A name=s" + IntToWideStr(n) + u"></A><CODE>SPEAKER 春香</CODE>\r\n";
        s += u"<P>春の日差しが窓から差し込み、少女は静かに本を閉じた。<BR>「また明日ね」と彼女は言った。</P>\r\n";
        s += u"<CODE>SET #COUNT,#COUNT + 1</CODE>\r\n";
      }
      ++n;
    }
    s += u"</BODY></HTML>\r\n";
    Script r;
    r.Path = "/tmp/sorvane-bench-compile-" + std::to_string(::getpid()) + "-" + std::to_string(units) + ".svx";
    bytes = WideToCP932(s);
    r.Bytes = bytes.size();
    WriteFile(r.Path, bytes);
    return r;
  }
}

const Script& TheScript(int units) {
  static const Script big = MakeScript(0), fits = MakeScript(700);
  return units == 0 ? big : fits;
}

// The compiler's first step alone: lines read, decoded and parsed.
struct ParseOnly : TScriptLoader {
  void Compile() override {
    THTMLDoc doc;
    WideString line;
    while (!ReadLine(line)) doc.Parse(line);
    benchmark::DoNotOptimize(doc.Root());
  }
};

void BM_ParseMarkupOnly(benchmark::State& state) {
  const Script& script = TheScript(int(state.range(0)));
  for (auto _ : state) {
    ParseOnly loader;
    loader.Load(script.Path);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(script.Bytes));
}

void BM_Compile(benchmark::State& state) {
  const Script& script = TheScript(int(state.range(0)));
  int64_t commands = 0;
  for (auto _ : state) {
    TMainScriptLoader loader;
    loader.Load(script.Path);
    commands += loader.LastIndex() + 1;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(script.Bytes));
  state.counters["commands/s"] = benchmark::Counter(double(commands), benchmark::Counter::kIsRate);
  state.counters["commands"] = double(commands) / double(state.iterations());
}

// Argument: 0 for the 5 MB script, 700 for the one within the element limit.
BENCHMARK(BM_ParseMarkupOnly)->Arg(0)->Arg(700)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Compile)->Arg(0)->Arg(700)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  const int r = RunWithRatios(argc, argv,
                              {{"BM_Compile/0/min_time:2.000", "BM_ParseMarkupOnly/0/min_time:2.000"},
                               {"BM_Compile/700/min_time:2.000", "BM_ParseMarkupOnly/700/min_time:2.000"}});
  ::unlink(TheScript(0).Path.c_str());
  ::unlink(TheScript(700).Path.c_str());
  return r;
}
