// Throughput of the transfer control over the real WinINet, run under wine64
// against the loopback back office by scripts/bench:
// - StartDownload of a large file (the launcher's background fetch): a worker
//   thread reads, the calling thread waits in the message loop and writes;
// - the bare loop: the same query-read-write over WinINet with reads of up
//   to 64 KiB, sized as the worker sizes them, on one thread, with no window
//   and no control, over the same file: the baseline the download is held
//   against;
// - syncGET of a smaller body (the launcher's server requests).
// Each is measured `--runs` times and the best run counts. Given curl's
// figure for the same address (bytes per second, from the same run of the
// script), the ratio of the two is printed as well.
//
// Google Benchmark has no mingw-w64 build here, so this is a plain program.
//
//   transfer_bench_win --download URL --get URL [--curl-download BPS]
//                      [--curl-get BPS] [--runs N] [--folder DIR]
//
// The files are written in DIR (default: the temporary folder). On a disk,
// the write-back of one run's 50 MiB can fall into the next run, on either
// side: scripts/bench gives a folder in memory when the machine has one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transfer/http_address.h"
#include "transfer/internet_file.h"
#include "transfer/read_pace.h"
#include "win32/handles.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_http.h"
#include "win32/win32_message_pump.h"

// After windows.h, whose types it needs.
#include <wininet.h>

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

class Outcome final : public hta::InternetFileEvents {
 public:
  bool complete = false;
  std::string error;
  std::int32_t total = 0;

  void DownloadComplete() override { complete = true; }
  void DownloadProgress(std::int32_t& bytesRead) override { total = bytesRead; }
  void DownloadError(std::string& description) override { error = description; }
  void DownloadCancelled(std::int32_t&) override { error = "cancelled"; }
};

struct Run {
  double seconds = 0;
  std::uint64_t bytes = 0;
  double BytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds : 0; }
};

constexpr double kMiB = 1024.0 * 1024.0;

std::optional<Run> TimeDownload(const std::string& url, const std::string& localFile) {
  hta::win32::Win32MessagePump pump;
  hta::win32::Win32Http http(pump);
  hta::win32::Win32FileSystem files;
  Outcome outcome;
  hta::win32::Win32Clock clock;
  hta::InternetFile control(http, files, clock);
  control.InitProperties();
  control.SetEvents(&outcome);
  control.Url(url);
  control.LocalFile(localFile);
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
  return Run{Seconds(end - start), static_cast<std::uint64_t>(*length)};
}

struct CloseInternet {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using OwnedInternet = hta::win32::Owned<HINTERNET, CloseInternet>;

// The download stripped bare: one request, then query what has arrived,
// read as much as the worker would (at most 64 KiB), write it; one thread,
// no window, no events.
std::optional<Run> TimeBaseline(const std::string& url, const std::string& localFile) {
  const std::optional<hta::HttpAddress> address = hta::ParseHttpAddress(url);
  if (!address) {
    return std::nullopt;
  }
  hta::win32::Win32FileSystem files;
  DeleteFileA(localFile.c_str());
  const std::int64_t start = Now();
  const OwnedInternet session(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  const OwnedInternet connection(InternetConnectA(session.get(), address->host.c_str(), address->port,
                                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  const OwnedInternet request(HttpOpenRequestA(connection.get(), "GET", address->path.c_str(), nullptr,
                                               nullptr, nullptr,
                                               INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  std::unique_ptr<hta::FileWriter> file = files.OpenForWrite(localFile, true);
  if (!request || !file || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
    std::fprintf(stderr, "baseline request for %s failed\n", url.c_str());
    return std::nullopt;
  }
  std::uint64_t total = 0;
  std::vector<std::byte> buffer(hta::kLargestRead);
  hta::win32::Win32Clock clock;
  std::optional<std::uint64_t> began;
  for (;;) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
      return std::nullopt;
    }
    if (available == 0) {
      break;
    }
    const std::uint64_t now = clock.MonotonicMicroseconds();
    began = began.value_or(now);
    DWORD read = 0;
    const DWORD want = hta::PacedReadSize(available, total, now - *began);
    if (!InternetReadFile(request.get(), buffer.data(), want, &read) ||
        !file->Write(std::span(buffer.data(), read))) {
      return std::nullopt;
    }
    total += read;
  }
  file.reset();
  return Run{Seconds(Now() - start), total};
}

std::optional<Run> TimeSyncGet(const std::string& url) {
  hta::win32::Win32MessagePump pump;
  hta::win32::Win32Http http(pump);
  hta::win32::Win32FileSystem files;
  hta::win32::Win32Clock clock;
  hta::InternetFile control(http, files, clock);
  control.InitProperties();

  const std::int64_t start = Now();
  const std::string body = control.syncGET(url);
  const std::int64_t end = Now();
  if (body.empty()) {
    std::fprintf(stderr, "syncGET of %s returned nothing\n", url.c_str());
    return std::nullopt;
  }
  return Run{Seconds(end - start), body.size()};
}

// One measured run, listed; `best` keeps the fastest so far. False when it
// failed.
bool Keep(const char* what, int number, const std::optional<Run>& run, std::optional<Run>& best) {
  if (!run) {
    return false;
  }
  std::printf("  %s run %d: %.1f MiB in %.3f s = %.2f MiB/s\n", what, number,
              static_cast<double>(run->bytes) / kMiB, run->seconds, run->BytesPerSecond() / kMiB);
  std::fflush(stdout);
  if (!best || run->BytesPerSecond() > best->BytesPerSecond()) {
    best = run;
  }
  return true;
}

// The fastest of the runs; every run is listed.
template <typename Measure>
std::optional<Run> Best(const char* what, int runs, Measure measure) {
  std::optional<Run> best;
  for (int i = 0; i < runs; ++i) {
    if (!Keep(what, i + 1, measure(), best)) {
      return std::nullopt;
    }
  }
  return best;
}

void Report(const char* what, const Run& best, double curlBytesPerSecond) {
  std::printf("%s: %.2f MiB/s (best run)", what, best.BytesPerSecond() / kMiB);
  if (curlBytesPerSecond > 0) {
    std::printf("; curl %.2f MiB/s; ratio control/curl %.3f", curlBytesPerSecond / kMiB,
                best.BytesPerSecond() / curlBytesPerSecond);
  }
  std::printf("\n");
}

int Usage() {
  std::fprintf(stderr,
               "usage: transfer_bench_win --download URL --get URL [--curl-download BPS] [--curl-get BPS] "
               "[--runs N] [--folder DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string downloadUrl;
  std::string getUrl;
  double curlDownload = 0;
  double curlGet = 0;
  int runs = 3;
  std::string folder;
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
    } else if (name == "--folder") {
      folder = value;
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
  if (folder.empty() && GetTempPathA(sizeof temp, temp) != 0) {
    folder = temp;
  }
  if (folder.empty()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  if (folder.back() != '\\') {
    folder += '\\';
  }
  const std::string localFile =
      folder + "hta-transfer-bench-" + std::to_string(GetCurrentProcessId()) + ".bin";

  // The download and its bare loop take turns, so a load that comes and goes
  // on the machine weighs on both alike.
  std::printf("StartDownload and the bare loop of %s, in turn\n", downloadUrl.c_str());
  // One pair first, not counted: the first transfers of a process pay for
  // loading WinINet, a cold page cache and a fresh file.
  if (!TimeDownload(downloadUrl, localFile) || !TimeBaseline(downloadUrl, localFile)) {
    return 1;
  }
  std::optional<Run> download;
  std::optional<Run> baseline;
  for (int i = 0; i < runs; ++i) {
    if (!Keep("StartDownload", i + 1, TimeDownload(downloadUrl, localFile), download) ||
        !Keep("bare loop", i + 1, TimeBaseline(downloadUrl, localFile), baseline)) {
      return 1;
    }
  }
  DeleteFileA(localFile.c_str());
  std::printf("syncGET of %s\n", getUrl.c_str());
  const std::optional<Run> get = Best("syncGET", runs, [&] { return TimeSyncGet(getUrl); });
  if (!download || !baseline || !get) {
    return 1;
  }
  Report("StartDownload", *download, curlDownload);
  Report("bare loop", *baseline, 0);
  std::printf("StartDownload vs bare loop: ratio %.3f\n",
              download->BytesPerSecond() / baseline->BytesPerSecond());
  Report("syncGET", *get, curlGet);
  return 0;
}
