#include "updater/unzip/file_sink.h"

#include <zlib.h>

#include <algorithm>

#include "core/runtime_error.h"
#include "updater/unzip/archive_reader.h"

namespace unzip {
namespace {

Refusal WriteRefusal(const core::RuntimeError& err) {
    return err.Kind() == core::ErrorKind::DiskFull ? Refusal::DiskFull : Refusal::CannotWrite;
}

}  // namespace

void FirstFailure::Record(std::size_t index, std::exception_ptr failure) noexcept {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_index.load(std::memory_order_relaxed)) return;
    m_failure = std::move(failure);
    m_index.store(index, std::memory_order_release);
}

void FirstFailure::ThrowIfAny() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failure) std::rethrow_exception(m_failure);
}

Flushers::Flushers(FirstFailure& failures, std::size_t threads) : m_failures(failures) {
    try {
        for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i) m_threads.emplace_back([this] { Run(); });
    } catch (...) {
        Stop();  // no thread may outlive a pool that failed to start
        throw;
    }
}

Flushers::~Flushers() { Stop(); }

void Flushers::Add(std::size_t index, std::unique_ptr<core::FileWriter> file, std::string shown) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.size() < kMaxWaiting; });
    m_waiting.push_back({index, std::move(file), std::move(shown)});
    m_changed.notify_all();
}

void Flushers::Stop() noexcept {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    for (std::thread& t : m_threads) t.join();
    m_threads.clear();
    m_waiting.clear();
}

void Flushers::Run() noexcept {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_waiting.empty() || m_stop; });
        if (m_waiting.empty()) return;
        Waiting item = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_changed.notify_all();
        lock.unlock();
        // A file after the first failure is removed anyway: it is only closed.
        if (item.index < m_failures.Index()) {
            try {
                try {
                    item.file->Commit();
                } catch (const core::RuntimeError& err) {
                    throw Failure(WriteRefusal(err), item.shown, err.Description());
                }
            } catch (...) {
                m_failures.Record(item.index, std::current_exception());
            }
        }
        item.file.reset();
        lock.lock();
    }
}

FileSink::FileSink(core::FileSystem& fs, std::size_t bufferSize, Flushers& flushers, FirstFailure& failures)
    : m_fs(fs), m_bufferSize(bufferSize), m_flushers(flushers), m_failures(failures) {
    for (std::size_t i = 0; i < kBuffers; ++i) {
        m_storage.push_back(std::make_unique<unsigned char[]>(m_bufferSize));
        m_free.push_back(m_storage.back().get());
    }
    m_thread = std::thread([this] { Run(); });
}

FileSink::~FileSink() { Stop(); }

void FileSink::Open(std::size_t index, std::string temp, std::string path, std::string shown, std::uint64_t size,
                    std::optional<std::uint32_t> crc) {
    m_files.push_back({index, temp, std::move(path), shown});
    m_next = Job{};
    m_next.index = index;
    m_next.path = std::move(temp);
    m_next.shown = std::move(shown);
    m_next.first = true;
    m_next.size = size;
    m_next.checkCrc = crc.has_value();
    m_next.crc = crc.value_or(0);
}

unsigned char* FileSink::Buffer() {
    if (m_current) return m_current;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty() || m_failure; });
    if (m_failure) std::rethrow_exception(m_failure);
    m_current = m_free.back();
    m_free.pop_back();
    return m_current;
}

void FileSink::Submit(std::size_t length, bool last) {
    Job job;
    job.index = m_next.index;
    job.buffer = length > 0 ? Buffer() : m_current;
    job.length = length;
    job.last = last;
    job.size = m_next.size;
    job.crc = m_next.crc;
    job.checkCrc = m_next.checkCrc;
    job.shown = m_next.shown;
    if (m_next.first) {
        job.first = true;
        job.path = std::move(m_next.path);
        m_next.first = false;
    }
    m_current = nullptr;
    Push(std::move(job));
}

void FileSink::Push(Job job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_failure) {
        if (job.buffer) m_free.push_back(job.buffer);
        std::rethrow_exception(m_failure);
    }
    m_jobs.push_back(std::move(job));
    m_idle = false;
    m_changed.notify_all();
}

void FileSink::Finish() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return (m_jobs.empty() && m_idle) || m_failure; });
    if (m_failure) std::rethrow_exception(m_failure);
}

std::vector<WrittenFile>& FileSink::Files() {
    Stop();
    return m_files;
}

void FileSink::Stop() noexcept {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Job job;
        job.stop = true;
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
    }
    m_thread.join();
    if (m_current) m_free.push_back(m_current), m_current = nullptr;
}

void FileSink::Fail(std::size_t index, std::exception_ptr failure) {
    // Recorded before the lane can see it, so that the lane's own record never comes first.
    m_failures.Record(index, failure);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_failure) m_failure = failure;
    m_changed.notify_all();
}

void FileSink::Run() noexcept {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_idle = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_jobs.empty(); });
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_idle = false;
        }
        if (job.stop) break;
        bool failed = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            failed = m_failure != nullptr;
        }
        // Past an earlier entry's failure, whatever this one holds is removed anyway.
        if (!failed && job.index < m_failures.Index()) {
            try {
                Do(job);
            } catch (...) {
                m_writer.reset();
                Fail(job.index, std::current_exception());
            }
        }
        if (job.buffer) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_free.push_back(job.buffer);
        }
    }
    m_writer.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle = true;
    m_changed.notify_all();
}

void FileSink::Do(Job& job) {
    try {
        if (job.first) {
            m_writer = m_fs.CreateFile(job.path);
            m_crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
            m_written = 0;
        }
        if (job.length > 0) {
            if (job.checkCrc)
                m_crc = static_cast<std::uint32_t>(crc32(m_crc, job.buffer, static_cast<uInt>(job.length)));
            m_written += job.length;
            m_writer->Write(job.buffer, job.length);
        }
        if (!job.last) return;
        if (m_written != job.size) throw Failure(Refusal::ContentSize, job.shown);
        if (job.checkCrc && m_crc != job.crc) throw Failure(Refusal::ContentCrc, job.shown);
        // Flushed before it replaces anything (by the flushing threads, while the next files are
        // written): a version recorded later never claims data that a power cut could take away.
        m_flushers.Add(job.index, std::move(m_writer), job.shown);
    } catch (const core::RuntimeError& err) {
        throw Failure(WriteRefusal(err), job.shown, err.Description());
    }
}

}  // namespace unzip
