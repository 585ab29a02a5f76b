#pragma once
// Reading and writing that a stop request ends: a script read from a pipe whose writer stays open,
// a report opened on a FIFO that nobody reads, a standard output that is not being read. None of
// them may keep a run that was told to stop from ending.
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace map27test {

// Asked for once, from any thread; a descriptor that becomes readable then, for poll().
class StopRequest {
public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    void Request();
    bool Requested() const;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// The whole file; nothing, with why in error, when it cannot be read or a stop came first.
std::optional<std::string> ReadWholeFile(const std::string& path, const StopRequest& stop,
                                         std::string& error);

// Creates or empties the file and opens it for writing (non-blocking); a FIFO is waited on until
// it has a reader. -1, with why in error, when it cannot be opened or a stop came first.
int OpenForWriting(const std::string& path, const StopRequest& stop, std::string& error);

// Writes all of data unless a stop is asked for while the descriptor cannot take more; false
// when not all of it was written.
bool WriteAll(int fd, std::string_view data, const StopRequest& stop);

// A stream onto a descriptor through WriteAll: once a write gives up, the rest is dropped.
class StoppableOutput : public std::streambuf {
public:
    StoppableOutput(int fd, const StopRequest& stop) : fd_(fd), stop_(stop) {}
    ~StoppableOutput() override { sync(); }
    bool Failed() const { return failed_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override;

private:
    int fd_;
    const StopRequest& stop_;
    std::string pending_;
    bool failed_ = false;
};

}  // namespace map27test
