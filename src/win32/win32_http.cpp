#include "win32/win32_http.h"

#include <optional>
#include <utility>

#include "transfer/exchange_queue.h"
#include "win32/http_worker.h"
#include "win32/unique_handle.h"

namespace hta::win32 {
namespace {

// What the GUI thread and a worker share. Each holds a reference, so it
// lives as long as the longer of the two: an abandoned worker still pushes
// into a queue and signals an event that exist.
struct SharedExchange {
  explicit SharedExchange(const HttpRequest& what)
      : request(what),
        wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        queue([this] { SetEvent(wake.get()); }) {}

  const HttpRequest request;
  const UniqueHandle wake;  // set by the worker after each push
  ExchangeQueue queue;
};

DWORD WINAPI WorkerMain(void* parameter) {
  const std::unique_ptr<std::shared_ptr<SharedExchange>> shared(
      static_cast<std::shared_ptr<SharedExchange>*>(parameter));
  RunHttpRequest((*shared)->request, (*shared)->queue);
  return 0;
}

HttpEvent EventOf(HttpEvent::Kind kind, std::string reason = std::string()) {
  HttpEvent event;
  event.kind = kind;
  event.reason = std::move(reason);
  return event;
}

class Win32Exchange final : public HttpExchange {
 public:
  Win32Exchange(std::shared_ptr<SharedExchange> shared, Win32MessagePump& pump)
      : shared_(std::move(shared)), pump_(pump) {}
  // One that could not be started: it fails at once.
  explicit Win32Exchange(Win32MessagePump& pump, std::string reason)
      : pump_(pump), last_(EventOf(HttpEvent::Kind::Failed, std::move(reason))) {}

  // Never waits for the worker: it learns at its next step that nobody
  // wants its bytes, closes its handles and ends.
  ~Win32Exchange() override {
    if (shared_) {
      shared_->queue.Abandon();
    }
  }

  HttpEvent Next() override {
    for (;;) {
      if (interrupted_) {
        return EventOf(HttpEvent::Kind::Interrupted);
      }
      if (last_) {
        return *last_;
      }
      if (std::optional<HttpEvent> event = shared_->queue.Take()) {
        return Taken(std::move(*event));
      }
      const std::optional<DWORD> quietLeft = QuietLeft();
      if (quietLeft == 0u) {
        // The worker may be blocked in a read for a long while yet; it
        // learns at its next step that nobody wants its bytes.
        shared_->queue.Abandon();
        last_ = EventOf(HttpEvent::Kind::Failed, "the body went quiet");
        continue;
      }
      // The program is ending: nobody is left to use the transfer.
      if (!pump_.WaitFor(shared_->wake.get(), quietLeft.value_or(INFINITE))) {
        interrupted_ = true;
      }
    }
  }

  // Called from a handler inside Next()'s wait (or between waits): the wait
  // looks at the flag as soon as that handler has returned.
  void Interrupt() override { interrupted_ = true; }

 private:
  HttpEvent Taken(HttpEvent event) {
    if (event.kind == HttpEvent::Kind::End || event.kind == HttpEvent::Kind::Failed) {
      last_ = EventOf(event.kind, event.reason);
    }
    responded_ = responded_ || event.kind == HttpEvent::Kind::Response;
    lastTaken_ = GetTickCount64();
    return event;
  }

  // How long the body may stay quiet from now; nullopt before the response.
  std::optional<DWORD> QuietLeft() const {
    if (!responded_) {
      return std::nullopt;
    }
    const ULONGLONG quiet = GetTickCount64() - lastTaken_;
    const ULONGLONG limit = shared_->request.quietMilliseconds;
    return static_cast<DWORD>(quiet >= limit ? 0 : limit - quiet);
  }

  std::shared_ptr<SharedExchange> shared_;
  Win32MessagePump& pump_;
  std::optional<HttpEvent> last_;
  bool interrupted_ = false;
  bool responded_ = false;
  ULONGLONG lastTaken_ = 0;  // GetTickCount64 when the last event was taken
};

}  // namespace

std::unique_ptr<HttpExchange> Win32Http::Start(const HttpRequest& request) {
  auto shared = std::make_shared<SharedExchange>(request);
  if (!shared->wake) {
    return std::make_unique<Win32Exchange>(pump_, "CreateEvent failed");
  }
  auto parameter = std::make_unique<std::shared_ptr<SharedExchange>>(shared);
  // A thread of the process's pool: starting one costs a few milliseconds
  // under Wine, taking an idle one next to nothing. Blocked for long in a
  // slow read, a worker only makes the pool start another.
  if (!QueueUserWorkItem(WorkerMain, parameter.get(), WT_EXECUTELONGFUNCTION)) {
    return std::make_unique<Win32Exchange>(pump_, "QueueUserWorkItem failed");
  }
  parameter.release();  // the worker's now
  return std::make_unique<Win32Exchange>(std::move(shared), pump_);
}

}  // namespace hta::win32
