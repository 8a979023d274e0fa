// The writing side of an extraction. Each lane has a sink with a thread of its own, so that
// inflating the next data overlaps the CRC-32 and the writes of the data before it; the lanes
// share one pool of flushing threads. Buffers come from a small fixed pool per sink, so memory
// stays bounded whatever the archive holds.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/file_system.h"

namespace unzip {

// A temporary file written whole, checked and flushed, waiting to replace its final file.
struct WrittenFile {
    std::size_t index = 0;  // the entry's place in the archive
    std::string temp;
    std::string path;
    std::string shown;  // the entry's name for messages
};

// The failure an extraction reports: of all the entries that failed, on whatever thread, the
// first in archive order, so that an archive gives the same refusal on every run.
class FirstFailure {
public:
    static constexpr std::size_t kNone = SIZE_MAX;

    // Keeps failure when it concerns an earlier entry than the one kept so far.
    void Record(std::size_t index, std::exception_ptr failure) noexcept;
    // The entry of the failure kept (kNone while there is none): later entries need no work.
    std::size_t Index() const noexcept { return m_index.load(std::memory_order_acquire); }
    // Raises the failure kept, if any.
    void ThrowIfAny() const;

private:
    mutable std::mutex m_mutex;
    std::atomic<std::size_t> m_index{kNone};
    std::exception_ptr m_failure;
};

// Complete files flushed by several threads at once: the file systems gather concurrent flushes
// into one journal commit, where one at a time each would wait for a commit of its own.
class Flushers {
public:
    static constexpr std::size_t kMaxWaiting = 64;  // complete files waiting, still open

    // Starts threads flushing threads (at least one).
    Flushers(FirstFailure& failures, std::size_t threads);
    ~Flushers();
    Flushers(const Flushers&) = delete;
    Flushers& operator=(const Flushers&) = delete;

    // Hands over the complete file of entry index; waits while kMaxWaiting files wait.
    void Add(std::size_t index, std::unique_ptr<core::FileWriter> file, std::string shown);
    // Waits until every file handed over is flushed (or, past a failure, closed), then ends the threads.
    void Stop() noexcept;

private:
    struct Waiting {
        std::size_t index;
        std::unique_ptr<core::FileWriter> file;
        std::string shown;
    };
    void Run() noexcept;

    FirstFailure& m_failures;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Waiting> m_waiting;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

class FileSink {
public:
    static constexpr std::size_t kBuffers = 4;

    // Failures are recorded in failures with their entry; complete files go to flushers.
    FileSink(core::FileSystem& fs, std::size_t bufferSize, Flushers& flushers, FirstFailure& failures);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Starts the file of entry index: its bytes go to temp, which must end with size bytes of
    // this CRC (checked here, or by the caller when it gives none).
    void Open(std::size_t index, std::string temp, std::string path, std::string shown, std::uint64_t size,
              std::optional<std::uint32_t> crc);
    // A free buffer of BufferSize() bytes for the open file; waits while all are in use.
    unsigned char* Buffer();
    std::size_t BufferSize() const { return m_bufferSize; }
    // Hands the buffer from Buffer() over with its first length bytes; last ends the file.
    void Submit(std::size_t length, bool last);
    // Waits for everything handed over; raises the first failure of the writing thread.
    void Finish();
    // Ends the writing thread once it has done what it was given; returns the files opened, in
    // order (on failure too, for their removal).
    std::vector<WrittenFile>& Files();

private:
    struct Job {
        bool stop = false;
        std::size_t index = 0;
        std::string path;   // with first: the temporary file
        std::string shown;  // the name for messages
        unsigned char* buffer = nullptr;
        std::size_t length = 0;
        bool first = false, last = false;
        std::uint64_t size = 0;  // expected, checked with last
        std::uint32_t crc = 0;
        bool checkCrc = true;
    };

    void Push(Job job);
    void Run() noexcept;
    void Fail(std::size_t index, std::exception_ptr failure);
    void Do(Job& job);
    void Stop() noexcept;

    core::FileSystem& m_fs;
    std::size_t m_bufferSize;
    Flushers& m_flushers;
    FirstFailure& m_failures;
    std::vector<std::unique_ptr<unsigned char[]>> m_storage;
    std::vector<WrittenFile> m_files;  // the caller's side only
    Job m_next;                        // the open file's next piece
    unsigned char* m_current = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    std::vector<unsigned char*> m_free;
    std::exception_ptr m_failure;
    bool m_idle = true;

    // The writing thread's own state.
    std::unique_ptr<core::FileWriter> m_writer;
    std::uint32_t m_crc = 0;
    std::uint64_t m_written = 0;

    std::thread m_thread;
};

}  // namespace unzip
