// Throughput of the reply markup scan over generated replies of 100 KB, 1 MB
// and 10 MB. Prints MB/s for each size and the time ratio 10 MB / 1 MB: a
// scan that stays linear gives about 10.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "markup/markup.h"

namespace {

// Counts what the scan hands on, so nothing is optimised away.
class CountingTarget : public hta::ApplicationTarget,
                       public hta::DownloadTarget,
                       public hta::MessageTarget,
                       public hta::ActionUrlTarget,
                       public hta::ActionTarget {
 public:
  std::size_t count = 0;
  void SetAppParam(const std::string& p) override { count += p.size(); }
  void FillMenuEntry(int, const std::string& c, const std::string&, const std::string&) override {
    count += c.size();
  }
  void SetMainAppIndex(int n) override { count += static_cast<std::size_t>(n); }
  void DownloadNewVersion(const std::string& f, const std::string&) override { count += f.size(); }
  void ShowMessage(const std::string& t) override { count += t.size(); }
  void SetActionUrl(const std::string& a) override { count += a.size(); }
  void DispatchAction(const std::string& t, const std::string&, const std::string&,
                      const std::string& x) override {
    count += t.size() + x.size();
  }
};

// A reply with every element kind, repeated with line breaks and filler
// text between elements, as a busy back office would send it.
std::string GenerateReply(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 512);
  for (std::size_t i = 0; text.size() < bytes; ++i) {
    const std::string n = std::to_string(i);
    text += "<application filename=\"app" + n + ".hta\" param=\"p" + n + "\" main=\"" +
            (i % 7 == 0 ? "yes" : "no") + "\">Application " + n + "</application>\r\n";
    text += "<download filename=\"app" + n + ".hta\" href=\"http://backoffice.example/files/app" + n +
            ".hta\"/>\r\n";
    text += "<!-- filler that is not markup -->\r\n";
    text += "<message>Notice " + n + ": the back office says hello &amp; goodbye</message>\r\n";
    text += "<action type=\"popup\" url=\"http://backoffice.example/a" + n + "\" filename=\"a" + n +
            "\">Popup text number " + n + "</action>\r\n";
    text += "<actionurl>http://backoffice.example/actions.php</actionurl>\r\n";
  }
  return text;
}

void BM_ScanReply(benchmark::State& state) {
  const std::string reply = GenerateReply(static_cast<std::size_t>(state.range(0)));
  CountingTarget target;
  for (auto _ : state) {
    bool ok = hta::ProcessApplications(reply, target) == hta::MarkupResult::Ok;
    ok &= hta::ProcessDownloads(reply, target) == hta::MarkupResult::Ok;
    ok &= hta::ProcessMessages(reply, target) == hta::MarkupResult::Ok;
    ok &= hta::ProcessActionUrl(reply, target) == hta::MarkupResult::Ok;
    ok &= hta::ProcessActions(reply, target) == hta::MarkupResult::Ok;
    if (!ok) {
      state.SkipWithError("generated reply did not scan");
    }
    benchmark::DoNotOptimize(target.count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(reply.size()));
}
BENCHMARK(BM_ScanReply)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so the summary can compare sizes.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  std::map<std::string, double> bytesPerSecond;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) {
        bytesPerSecond[run.benchmark_name()] = it->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const char* names[] = {"BM_ScanReply/102400", "BM_ScanReply/1048576", "BM_ScanReply/10485760"};
  const char* labels[] = {"100 KB", "1 MB", "10 MB"};
  for (int i = 0; i < 3; ++i) {
    if (reporter.bytesPerSecond.count(names[i])) {
      std::printf("markup scan %-6s: %8.1f MB/s\n", labels[i], reporter.bytesPerSecond[names[i]] / 1e6);
    }
  }
  if (reporter.seconds.count(names[1]) && reporter.seconds.count(names[2])) {
    std::printf("time ratio 10 MB / 1 MB: %.2f (linear is about 10)\n",
                reporter.seconds[names[2]] / reporter.seconds[names[1]]);
  }
  return 0;
}
