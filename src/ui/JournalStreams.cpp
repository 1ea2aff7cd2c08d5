#include "ui/JournalStreams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace fas::ui {

PrefixingBuffer::int_type PrefixingBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize PrefixingBuffer::xsputn(const char* text, std::streamsize count) {
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

bool IsJournalStream(int fd) {
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

JournalStreams::JournalStreams() {
    if (IsJournalStream(STDERR_FILENO)) {
        redirect(std::cerr, "<3>");
        redirect(std::clog, "<4>");
    }
    if (IsJournalStream(STDOUT_FILENO)) {
        redirect(std::cout, "<6>");
    }
}

JournalStreams::~JournalStreams() {
    for (auto& r : redirects_) {
        r.stream->flush();
        r.stream->rdbuf(r.original);
    }
}

void JournalStreams::redirect(std::ostream& stream, const char* prefix) {
    auto buffer = std::make_unique<PrefixingBuffer>(stream.rdbuf(), prefix);
    std::streambuf* original = stream.rdbuf(buffer.get());
    redirects_.push_back({&stream, original, std::move(buffer)});
}

}  // namespace fas::ui
