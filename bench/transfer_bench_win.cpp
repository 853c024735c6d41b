// Throughput of the transfer control over the real WinINet, run under wine64
// against the loopback back office by scripts/bench:
// - StartDownload of a large file (the launcher's background fetch), with the
//   longest gap between two message-pump calls: how long the window would
//   go without handling a message;
// - the same query-read-write loop over the same file without the control and
//   without any message pump: the baseline the download is held against;
// - syncGET of a smaller body (the launcher's server requests).
// Each is measured `--runs` times and the best run counts. Given curl's
// figure for the same address (bytes per second, from the same run of the
// script), the ratio of the two is printed as well; last comes the cost of a
// pump call with nothing to do.
//
// Google Benchmark has no mingw-w64 build here, so this is a plain program.
//
//   transfer_bench_win --download URL --get URL [--curl-download BPS]
//                      [--curl-get BPS] [--runs N]

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "transfer/internet_file.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_http.h"
#include "win32/win32_message_pump.h"

namespace {

double Seconds(std::int64_t ticks) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(ticks) / frequency;
}

std::int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The real pump, with the time of every call taken: the longest stretch
// between two calls is the longest the window went without its messages.
class TimingPump final : public hta::MessagePump {
 public:
  void DoEvents() override {
    const std::int64_t now = Now();
    if (calls_ > 0 && now - last_ > longestGap_) {
      longestGap_ = now - last_;
      longestGapBefore_ = calls_ + 1;
    }
    ++calls_;
    real_.DoEvents();
    // The pump's own time counts as the window's time, not as a gap.
    last_ = Now();
  }

  std::int64_t Calls() const { return calls_; }
  // The number of the call (from 1) that ended the longest gap.
  std::int64_t LongestGapBefore() const { return longestGapBefore_; }
  double LongestGapSeconds() const { return Seconds(longestGap_); }

 private:
  hta::win32::Win32MessagePump real_;
  std::int64_t calls_ = 0;
  std::int64_t last_ = 0;
  std::int64_t longestGap_ = 0;
  std::int64_t longestGapBefore_ = 0;
};

class Outcome final : public hta::InternetFileEvents {
 public:
  bool complete = false;
  std::string error;
  std::int32_t total = 0;

  void DownloadComplete() override { complete = true; }
  void DownloadProgress(std::int32_t& lBytesRead) override { total = lBytesRead; }
  void DownloadError(std::string& sErrorDescription) override { error = sErrorDescription; }
  void DownloadCancelled(std::int32_t&) override { error = "cancelled"; }
};

struct Run {
  double seconds = 0;
  std::uint64_t bytes = 0;
  double longestGap = 0;
  std::int64_t longestGapBefore = 0;
  std::int64_t pumpCalls = 0;
  double BytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds : 0; }
};

constexpr double kMiB = 1024.0 * 1024.0;

std::optional<Run> TimeDownload(const std::string& url, const std::string& localFile) {
  hta::win32::Win32Http http;
  TimingPump pump;
  hta::win32::Win32FileSystem files;
  Outcome outcome;
  hta::win32::Win32Clock clock;
  hta::InternetFile control(http, pump, files, clock);
  control.InitProperties();
  control.SetEvents(&outcome);
  control.Url(url);
  control.LocalFile(localFile);
  // Emptying the last run's 50 MiB would count as a pump gap of tens of ms.
  DeleteFileA(localFile.c_str());

  const std::int64_t start = Now();
  control.StartDownload();
  const std::int64_t end = Now();
  const auto length = files.FileLength(localFile);
  if (!outcome.complete || !length || *length != outcome.total) {
    std::fprintf(stderr, "download of %s failed: %s (%d bytes reported, %lld in the file)\n", url.c_str(),
                 outcome.error.c_str(), outcome.total, length ? static_cast<long long>(*length) : -1LL);
    return std::nullopt;
  }
  return Run{Seconds(end - start), static_cast<std::uint64_t>(*length), pump.LongestGapSeconds(),
             pump.LongestGapBefore(), pump.Calls()};
}

// The control's loop stripped bare: one request, then query what has arrived,
// read at most a block of it, write it; no pump, no events.
std::optional<Run> TimeBaseline(const std::string& url, const std::string& localFile) {
  const std::optional<hta::HttpAddress> address = hta::ParseHttpAddress(url);
  if (!address) {
    return std::nullopt;
  }
  hta::win32::Win32Http http;
  hta::win32::Win32FileSystem files;
  DeleteFileA(localFile.c_str());
  const std::int64_t start = Now();
  hta::OwnedInternetHandle session(http,
                                   http.Open("bench", hta::kInternetOpenTypeDirect, nullptr, nullptr, 0));
  hta::OwnedInternetHandle connection(http, http.Connect(session.get(), address->host.c_str(), address->port,
                                                         nullptr, nullptr, hta::kInternetServiceHttp, 0, 0));
  hta::OwnedInternetHandle request(
      http, http.OpenRequest(connection.get(), "GET", address->path.c_str(), nullptr,
                             hta::kInternetFlagReload | hta::kInternetFlagNoCacheWrite, 0));
  std::unique_ptr<hta::FileWriter> file = files.OpenForWrite(localFile, true);
  if (!request || !file || !http.SendRequest(request.get(), nullptr, 0)) {
    std::fprintf(stderr, "baseline request for %s failed\n", url.c_str());
    return std::nullopt;
  }
  std::uint64_t total = 0;
  std::byte buffer[2048];
  for (;;) {
    std::uint32_t available = 0;
    if (!http.QueryDataAvailable(request.get(), available)) {
      return std::nullopt;
    }
    if (available == 0) {
      break;
    }
    std::uint32_t read = 0;
    const std::size_t want = std::min<std::size_t>(available, sizeof buffer);
    if (!http.ReadFile(request.get(), std::span(buffer, want), read) ||
        !file->Write(std::span(buffer, read))) {
      return std::nullopt;
    }
    total += read;
  }
  file.reset();
  return Run{Seconds(Now() - start), total, 0, 0, 0};
}

std::optional<Run> TimeSyncGet(const std::string& url) {
  hta::win32::Win32Http http;
  TimingPump pump;
  hta::win32::Win32FileSystem files;
  hta::win32::Win32Clock clock;
  hta::InternetFile control(http, pump, files, clock);
  control.InitProperties();

  const std::int64_t start = Now();
  const std::string body = control.syncGET(url);
  const std::int64_t end = Now();
  if (body.empty()) {
    std::fprintf(stderr, "syncGET of %s returned nothing\n", url.c_str());
    return std::nullopt;
  }
  return Run{Seconds(end - start), body.size(), pump.LongestGapSeconds(), pump.LongestGapBefore(),
             pump.Calls()};
}

// The fastest of the runs; every run is listed.
template <typename Measure>
std::optional<Run> Best(const char* what, int runs, Measure measure) {
  std::optional<Run> best;
  for (int i = 0; i < runs; ++i) {
    const std::optional<Run> run = measure();
    if (!run) {
      return std::nullopt;
    }
    std::printf(
        "  %s run %d: %.1f MiB in %.3f s = %.2f MiB/s; longest pump gap %.2f ms, before call %lld of %lld\n",
        what, i + 1, static_cast<double>(run->bytes) / kMiB, run->seconds, run->BytesPerSecond() / kMiB,
        run->longestGap * 1000.0, static_cast<long long>(run->longestGapBefore),
        static_cast<long long>(run->pumpCalls));
    std::fflush(stdout);
    if (!best || run->BytesPerSecond() > best->BytesPerSecond()) {
      best = run;
    }
  }
  return best;
}

void Report(const char* what, const Run& best, double curlBytesPerSecond) {
  std::printf("%s: %.2f MiB/s (best run), longest pump gap %.2f ms", what, best.BytesPerSecond() / kMiB,
              best.longestGap * 1000.0);
  if (curlBytesPerSecond > 0) {
    std::printf("; curl %.2f MiB/s; ratio control/curl %.3f", curlBytesPerSecond / kMiB,
                best.BytesPerSecond() / curlBytesPerSecond);
  }
  std::printf("\n");
}

// What one pump call costs with nothing to dispatch: why the control runs
// the pump at most once in 2 ms.
double PumpCallSeconds() {
  hta::win32::Win32MessagePump pump;
  constexpr int kCalls = 100000;
  const std::int64_t start = Now();
  for (int i = 0; i < kCalls; ++i) {
    pump.DoEvents();
  }
  return Seconds(Now() - start) / kCalls;
}

// What one reading of the monotonic clock costs: the control reads it at
// every yield to decide whether the pump is due.
double ClockCallSeconds() {
  hta::win32::Win32Clock clock;
  constexpr int kCalls = 100000;
  std::uint64_t sink = 0;
  const std::int64_t start = Now();
  for (int i = 0; i < kCalls; ++i) {
    sink += clock.MonotonicMicroseconds();
  }
  const double seconds = Seconds(Now() - start) / kCalls;
  return sink == 0 ? 0 : seconds;
}

int Usage() {
  std::fprintf(stderr,
               "usage: transfer_bench_win --download URL --get URL [--curl-download BPS] [--curl-get BPS] "
               "[--runs N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string downloadUrl;
  std::string getUrl;
  double curlDownload = 0;
  double curlGet = 0;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--download") {
      downloadUrl = value;
    } else if (name == "--get") {
      getUrl = value;
    } else if (name == "--curl-download") {
      curlDownload = std::atof(value);
    } else if (name == "--curl-get") {
      curlGet = std::atof(value);
    } else if (name == "--runs") {
      runs = std::max(1, std::atoi(value));
    } else {
      return Usage();
    }
  }
  if (argc % 2 == 0 || downloadUrl.empty() || getUrl.empty()) {
    return Usage();
  }

  char temp[MAX_PATH + 1] = {};
  if (GetTempPathA(sizeof temp, temp) == 0) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  const std::string localFile =
      std::string(temp) + "hta-transfer-bench-" + std::to_string(GetCurrentProcessId()) + ".bin";

  std::printf("StartDownload of %s\n", downloadUrl.c_str());
  const std::optional<Run> download =
      Best("StartDownload", runs, [&] { return TimeDownload(downloadUrl, localFile); });
  std::printf("baseline loop of %s\n", downloadUrl.c_str());
  const std::optional<Run> baseline =
      Best("baseline", runs, [&] { return TimeBaseline(downloadUrl, localFile); });
  DeleteFileA(localFile.c_str());
  std::printf("syncGET of %s\n", getUrl.c_str());
  const std::optional<Run> get = Best("syncGET", runs, [&] { return TimeSyncGet(getUrl); });
  if (!download || !baseline || !get) {
    return 1;
  }
  Report("StartDownload", *download, curlDownload);
  Report("baseline loop", *baseline, 0);
  std::printf("StartDownload vs baseline: ratio %.3f, longest pump gap %.2f ms\n",
              download->BytesPerSecond() / baseline->BytesPerSecond(), download->longestGap * 1000.0);
  Report("syncGET", *get, curlGet);
  std::printf("message pump alone: %.2f us a call with no messages\n", PumpCallSeconds() * 1e6);
  std::printf("monotonic clock alone: %.3f us a reading\n", ClockCallSeconds() * 1e6);
  return 0;
}
