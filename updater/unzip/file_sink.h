// The writing side of an extraction, on a thread of its own so that inflating the next data
// overlaps the CRC-32, the writes and the flushes of the data before it. Buffers come from a
// small fixed pool, so memory stays bounded whatever the archive holds.
#pragma once

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
    std::string temp;
    std::string path;
    std::string shown;  // the entry's name for messages
};

class FileSink {
public:
    static constexpr std::size_t kBuffers = 4;
    // Files flushed at once: the file systems gather concurrent flushes into one journal commit,
    // where one at a time each would wait for a commit of its own.
    static constexpr std::size_t kFlushers = 8;
    static constexpr std::size_t kMaxUnflushed = 64;  // complete files waiting, still open

    FileSink(core::FileSystem& fs, std::size_t bufferSize);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Creates a folder (on the writing thread, like every change to the file system).
    void Folder(std::string path, std::string shown);
    // Starts the next file: its bytes go to temp, which must end with size bytes of this CRC
    // (checked here, or by the caller when it gives none).
    void Open(std::string temp, std::string path, std::string shown, std::uint64_t size,
              std::optional<std::uint32_t> crc);
    // A free buffer of BufferSize() bytes for the open file; waits while all are in use.
    unsigned char* Buffer();
    std::size_t BufferSize() const { return m_bufferSize; }
    // Hands the buffer from Buffer() over with its first length bytes; last ends the file.
    void Submit(std::size_t length, bool last);
    // Waits for everything handed over; raises the first failure of the writing thread.
    void Finish();
    // Waits, then returns the files written, in order (on failure too, for their removal).
    std::vector<WrittenFile>& Files();
    // After Files(): the folders this sink created, parents first.
    const std::vector<std::string>& CreatedFolders() const { return m_createdFolders; }

private:
    struct Job {
        enum Kind { MakeFolder, Data, Stop } kind = Data;
        std::string path;   // MakeFolder: the folder; Data with first: the temporary file
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
    void Flush() noexcept;
    void Fail(std::exception_ptr failure);
    void Do(Job& job);
    void Stop() noexcept;
    void ThrowIfFailed();

    core::FileSystem& m_fs;
    std::size_t m_bufferSize;
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
    std::deque<std::pair<std::unique_ptr<core::FileWriter>, std::string>> m_unflushed;  // with shown name
    std::size_t m_flushing = 0;
    bool m_flushersStop = false;

    // The writing thread's own state.
    std::unique_ptr<core::FileWriter> m_writer;
    std::string m_shown;
    std::vector<std::string> m_createdFolders;
    std::uint32_t m_crc = 0;
    std::uint64_t m_written = 0;

    std::thread m_thread;
    std::vector<std::thread> m_flushers;
};

}  // namespace unzip
