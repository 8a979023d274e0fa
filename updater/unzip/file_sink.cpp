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
    m_thread = std::thread([this] { Run(); });
}

FileSink::~FileSink() { Stop(); }

void FileSink::Folder(std::string path, std::string shown) {
    Job job;
    job.kind = Job::MakeFolder;
    job.path = std::move(path);
    job.shown = std::move(shown);
    Push(std::move(job));
}

void FileSink::Open(std::string temp, std::string path, std::string shown, std::uint64_t size, std::uint32_t crc) {
    m_files.push_back({temp, std::move(path), shown});
    m_next = Job{};
    m_next.path = std::move(temp);
    m_next.shown = std::move(shown);
    m_next.first = true;
    m_next.size = size;
    m_next.crc = crc;
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
        job.kind = Job::Stop;
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
    }
    m_thread.join();
    if (m_current) m_free.push_back(m_current), m_current = nullptr;
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
                std::lock_guard<std::mutex> lock(m_mutex);
                m_failure = std::current_exception();
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
            m_fs.CreateDirectory(job.path);
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
            m_crc = static_cast<std::uint32_t>(crc32(m_crc, job.buffer, static_cast<uInt>(job.length)));
            m_written += job.length;
            m_writer->Write(job.buffer, job.length);
        }
        if (!job.last) return;
        if (m_written != job.size) throw Failure(Refusal::ContentSize, job.shown);
        if (m_crc != job.crc) throw Failure(Refusal::ContentCrc, job.shown);
        // Flushed before it replaces anything: a version recorded later never claims data
        // that a power cut could still take away.
        m_writer->Commit();
        m_writer.reset();
    } catch (const core::RuntimeError& err) {
        throw Failure(WriteRefusal(err), job.shown, err.Description());
    }
}

}  // namespace unzip
