#include "platform/LogStreams.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/ServiceHost.h"
#include "platform/win/ServiceConnection.h"
#include "platform/win/WideText.h"

// From a console, results lines go to standard output and errors to standard error as they are.
// A service has neither: what it writes goes to the Application event log under the program's
// own source, results lines as information, warnings as warnings and errors as errors, one event
// for each thing written (a message of several lines stays one event).
namespace fas::platform {

namespace {

// The event identities of the message table compiled into the program (EventMessages.mc).
constexpr DWORD kResultsEvent = 1;
constexpr DWORD kWarningEvent = 2;
constexpr DWORD kErrorEvent = 3;

class EventLogBuffer : public std::streambuf {
  public:
    EventLogBuffer(HANDLE source, WORD type, DWORD event)
        : source_(source), type_(type), event_(event) {}
    ~EventLogBuffer() override { report(); }
    EventLogBuffer(const EventLogBuffer&) = delete;
    EventLogBuffer& operator=(const EventLogBuffer&) = delete;

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            pending_ += traits_type::to_char_type(c);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        return count;
    }

    // std::endl and std::flush; an unbuffered stream flushes after every piece, so an event is
    // what was written up to a line end.
    int sync() override {
        if (!pending_.empty() && pending_.back() == '\n') {
            report();
        }
        return 0;
    }

  private:
    void report() {
        while (!pending_.empty() && (pending_.back() == '\n' || pending_.back() == '\r')) {
            pending_.pop_back();
        }
        if (pending_.empty()) {
            return;
        }
        const std::wstring text = Wide(pending_);
        const wchar_t* strings[] = {text.c_str()};
        ReportEventW(source_, type_, 0, event_, nullptr, 1, 0, strings, nullptr);
        pending_.clear();
    }

    HANDLE source_;
    WORD type_;
    DWORD event_;
    std::string pending_;
};

}  // namespace

struct LogStreams::Redirects {
    HANDLE source = nullptr;
    struct Redirect {
        std::ostream* stream;
        std::streambuf* original;
        std::unique_ptr<EventLogBuffer> buffer;
    };
    std::vector<Redirect> list;

    void redirect(std::ostream& stream, WORD type, DWORD event) {
        auto buffer = std::make_unique<EventLogBuffer>(source, type, event);
        std::streambuf* original = stream.rdbuf(buffer.get());
        list.push_back({&stream, original, std::move(buffer)});
    }
};

LogStreams::LogStreams() : redirects_(std::make_unique<Redirects>()) {
    if (!service::Running()) {
        return;
    }
    redirects_->source = RegisterEventSourceW(nullptr, Wide(kServiceName).c_str());
    if (redirects_->source == nullptr) {
        return;
    }
    redirects_->redirect(std::cout, EVENTLOG_INFORMATION_TYPE, kResultsEvent);
    redirects_->redirect(std::clog, EVENTLOG_WARNING_TYPE, kWarningEvent);
    redirects_->redirect(std::cerr, EVENTLOG_ERROR_TYPE, kErrorEvent);
}

LogStreams::~LogStreams() {
    for (auto& r : redirects_->list) {
        r.stream->flush();
        r.stream->rdbuf(r.original);
        r.buffer.reset();
    }
    if (redirects_->source != nullptr) {
        DeregisterEventSource(redirects_->source);
    }
}

}  // namespace fas::platform
