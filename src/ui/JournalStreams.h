#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace fas::ui {

// Writes through to another stream buffer and puts `prefix` in front of every line.
class PrefixingBuffer : public std::streambuf {
  public:
    PrefixingBuffer(std::streambuf* target, std::string prefix)
        : target_(target), prefix_(std::move(prefix)) {}

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override { return target_->pubsync(); }

  private:
    std::streambuf* target_;
    std::string prefix_;
    bool atLineStart_ = true;
};

// When standard output or standard error is the journal (JOURNAL_STREAM names it), every line
// gets its syslog priority, so that `journalctl -p err` shows the errors alone: std::cerr lines
// are errors (<3>), std::clog lines warnings (<4>), std::cout lines (results lines, the step
// report) information (<6>). Elsewhere the streams are left as they are. The streams are put
// back when the object goes.
class JournalStreams {
  public:
    JournalStreams();
    ~JournalStreams();
    JournalStreams(const JournalStreams&) = delete;
    JournalStreams& operator=(const JournalStreams&) = delete;

  private:
    struct Redirect {
        std::ostream* stream;
        std::streambuf* original;
        std::unique_ptr<PrefixingBuffer> buffer;
    };
    void redirect(std::ostream& stream, const char* prefix);
    std::vector<Redirect> redirects_;
};

// Whether file descriptor `fd` is the stream JOURNAL_STREAM ("<device>:<inode>") names.
bool IsJournalStream(int fd);

}  // namespace fas::ui
