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
        if (event->kind == HttpEvent::Kind::End || event->kind == HttpEvent::Kind::Failed) {
          last_ = EventOf(event->kind, event->reason);
        }
        return std::move(*event);
      }
      // The program is ending: nobody is left to use the transfer.
      if (!pump_.WaitFor(shared_->wake.get())) {
        interrupted_ = true;
      }
    }
  }

  // Called from a handler inside Next()'s wait (or between waits): the wait
  // looks at the flag as soon as that handler has returned.
  void Interrupt() override { interrupted_ = true; }

 private:
  std::shared_ptr<SharedExchange> shared_;
  Win32MessagePump& pump_;
  std::optional<HttpEvent> last_;
  bool interrupted_ = false;
};

}  // namespace

std::unique_ptr<HttpExchange> Win32Http::Start(const HttpRequest& request) {
  auto shared = std::make_shared<SharedExchange>(request);
  if (!shared->wake) {
    return std::make_unique<Win32Exchange>(pump_, "CreateEvent failed");
  }
  auto parameter = std::make_unique<std::shared_ptr<SharedExchange>>(shared);
  // The worker is never joined: its handle goes at once.
  const UniqueHandle thread(CreateThread(nullptr, 0, WorkerMain, parameter.get(), 0, nullptr));
  if (!thread) {
    return std::make_unique<Win32Exchange>(pump_, "CreateThread failed");
  }
  parameter.release();  // the worker's now
  return std::make_unique<Win32Exchange>(std::move(shared), pump_);
}

}  // namespace hta::win32
