#include "updater/unzip/file_sink.h"

#include <zlib.h>

#include "core/runtime_error.h"
#include "updater/unzip/archive_reader.h"

namespace unzip {
namespace {

Refusal WriteRefusal(const core::RuntimeError& err) {
    return err.Kind() == core::ErrorKind::DiskFull ? Refusal::DiskFull : Refusal::CannotWrite;
}

}  // namespace

FileSink::FileSink(core::FileSystem& fs, std::size_t bufferSize) : m_fs(fs), m_bufferSize(bufferSize) {
    for (std::size_t i = 0; i < kBuffers; ++i) {
        m_storage.push_back(std::make_unique<unsigned char[]>(m_bufferSize));
        m_free.push_back(m_storage.back().get());
    }
    try {
        m_thread = std::thread([this] { Run(); });
        for (std::size_t i = 0; i < kFlushers; ++i) m_flushers.emplace_back([this] { Flush(); });
    } catch (...) {
        Stop();  // no thread may outlive a sink that failed to start
        throw;
    }
}

FileSink::~FileSink() { Stop(); }

void FileSink::Folder(std::string path, std::string shown) {
    Job job;
    job.kind = Job::MakeFolder;
    job.path = std::move(path);
    job.shown = std::move(shown);
    Push(std::move(job));
}

void FileSink::Open(std::string temp, std::string path, std::string shown, std::uint64_t size,
                    std::optional<std::uint32_t> crc) {
    m_files.push_back({temp, std::move(path), shown});
    m_next = Job{};
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
    job.kind = Job::Data;
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
    m_changed.wait(
        lock, [this] { return (m_jobs.empty() && m_idle && m_unflushed.empty() && m_flushing == 0) || m_failure; });
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
        job.kind = Job::Stop;
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
    }
    m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_flushersStop = true;
        m_changed.notify_all();
    }
    for (std::thread& t : m_flushers) t.join();
    m_flushers.clear();
    m_unflushed.clear();
    if (m_current) m_free.push_back(m_current), m_current = nullptr;
}

void FileSink::Fail(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_failure) m_failure = failure;
    m_changed.notify_all();
}

void FileSink::Flush() noexcept {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_unflushed.empty() || m_flushersStop; });
        if (m_unflushed.empty()) return;
        auto item = std::move(m_unflushed.front());
        m_unflushed.pop_front();
        ++m_flushing;
        const bool failed = m_failure != nullptr;
        m_changed.notify_all();
        lock.unlock();
        try {
            if (!failed) item.first->Commit();
        } catch (const core::RuntimeError& err) {
            try {
                throw Failure(WriteRefusal(err), item.second, err.Description());
            } catch (...) {
                Fail(std::current_exception());
            }
        }
        item.first.reset();
        lock.lock();
        --m_flushing;
        m_changed.notify_all();
    }
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
        if (job.kind == Job::Stop) break;
        bool failed = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            failed = m_failure != nullptr;
        }
        if (!failed) {
            try {
                Do(job);
            } catch (...) {
                m_writer.reset();
                Fail(std::current_exception());
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
    if (job.kind == Job::MakeFolder) {
        try {
            const bool existed = m_fs.DirectoryExists(job.path);
            m_fs.CreateDirectory(job.path);
            if (!existed) m_createdFolders.push_back(job.path);
        } catch (const core::RuntimeError& e) {
            throw Failure(Refusal::CannotCreateFolder, job.shown, e.Description());
        }
        return;
    }
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
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_unflushed.size() < kMaxUnflushed || m_failure; });
        m_unflushed.emplace_back(std::move(m_writer), job.shown);
        m_changed.notify_all();
    } catch (const core::RuntimeError& err) {
        throw Failure(WriteRefusal(err), job.shown, err.Description());
    }
}

}  // namespace unzip
