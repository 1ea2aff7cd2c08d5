#include "platform/LogStreams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

namespace fas::platform {

namespace {

// Writes through to another stream buffer and puts `prefix` in front of every line.
class PrefixingBuffer : public std::streambuf {
  public:
    PrefixingBuffer(std::streambuf* target, std::string prefix)
        : target_(target), prefix_(std::move(prefix)) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        std::streamsize done = 0;
        while (done < count) {
            if (atLineStart_) {
                const auto size = static_cast<std::streamsize>(prefix_.size());
                if (target_->sputn(prefix_.data(), size) != size) {
                    return done;
                }
                atLineStart_ = false;
            }
            std::streamsize end = done;
            while (end < count && text[end] != '\n') {
                ++end;
            }
            if (end < count) {
                ++end;  // the line feed belongs to the line it ends
                atLineStart_ = true;
            }
            const std::streamsize written = target_->sputn(text + done, end - done);
            done += written;
            if (done != end) {
                return done;
            }
        }
        return done;
    }

    int sync() override { return target_->pubsync(); }

  private:
    std::streambuf* target_;
    std::string prefix_;
    bool atLineStart_ = true;
};

// Whether file descriptor `fd` is the stream JOURNAL_STREAM ("<device>:<inode>") names.
bool isJournalStream(int fd) {
    const char* value = std::getenv("JOURNAL_STREAM");
    if (value == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(value, "%llu:%llu", &device, &inode) != 2) {
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return false;
    }
    return static_cast<unsigned long long>(status.st_dev) == device &&
           static_cast<unsigned long long>(status.st_ino) == inode;
}

}  // namespace

struct LogStreams::Redirects {
    struct Redirect {
        std::ostream* stream;
        std::streambuf* original;
        std::unique_ptr<PrefixingBuffer> buffer;
    };
    std::vector<Redirect> list;

    void redirect(std::ostream& stream, const char* prefix) {
        auto buffer = std::make_unique<PrefixingBuffer>(stream.rdbuf(), prefix);
        std::streambuf* original = stream.rdbuf(buffer.get());
        list.push_back({&stream, original, std::move(buffer)});
    }
};

// Errors <3>, warnings <4>, results lines and the step report <6>.
LogStreams::LogStreams() : redirects_(std::make_unique<Redirects>()) {
    if (isJournalStream(STDERR_FILENO)) {
        redirects_->redirect(std::cerr, "<3>");
        redirects_->redirect(std::clog, "<4>");
    }
    if (isJournalStream(STDOUT_FILENO)) {
        redirects_->redirect(std::cout, "<6>");
    }
}

LogStreams::~LogStreams() {
    for (auto& r : redirects_->list) {
        r.stream->flush();
        r.stream->rdbuf(r.original);
    }
}

}  // namespace fas::platform
