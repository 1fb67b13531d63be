#include "engine/walk/FingerPrintAhead.h"

#include <algorithm>
#include <cstring>

#include "common/DebugLog.h"
#include "engine/fingerprint/FingerPrint.h"

namespace {

FingerPrintWorkers* g_current = nullptr;

const unsigned kMostWorkers = 4;
// A job is handed over once it holds this many files or bytes: small files
// go many to a job, large ones spread over the workers.
const size_t kFilesPerJob = 16;
const uint64_t kBytesPerJob = 512 * 1024;

}  // namespace

struct FingerPrintWorkers::Job {
    enum class State { Filling, Queued, Running, Done };
    struct File {
        std::string name;
        HRESULT result = E_FAIL;
        char fingerprint[MD5_TEXT_CHARS] = {};
        DebugLogLines log;
    };

    HANDLE find = INVALID_HANDLE_VALUE;
    std::shared_ptr<const std::string> folder;
    std::vector<File> files;
    uint64_t bytes = 0;
    State state = State::Filling;

    void Run() {
        for (File& file : files) {
            DebugLogCapture capture(file.log);
            const std::string path = *folder + "\\" + file.name;
            file.result = FingerPrintListedFile(find, file.name.c_str(), path.c_str(), file.fingerprint);
        }
    }
};

FingerPrintWorkers::FingerPrintWorkers() : m_previous(g_current) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < std::min(cores, kMostWorkers); ++i) m_threads.emplace_back([this] { Work(); });
    g_current = this;
}

FingerPrintWorkers::~FingerPrintWorkers() {
    g_current = m_previous;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

FingerPrintWorkers* FingerPrintWorkers::Current() { return g_current; }

void FingerPrintWorkers::Work() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> held(m_lock);
            ++m_idle;
            m_queued.wait(held, [this] { return m_stopping || !m_queue.empty(); });
            --m_idle;
            if (m_queue.empty()) return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
            job->state = Job::State::Running;
        }
        // The job's files are the worker's alone while it runs: the walk
        // reads them only once it sees the job done.
        job->Run();
        bool wake = false;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            job->state = Job::State::Done;
            wake = m_walkWaits;
        }
        if (wake) m_finished.notify_all();
    }
}

FolderFingerPrints::FolderFingerPrints(HANDLE find, std::function<std::string()> folderPath)
    : m_workers(FingerPrintWorkers::Current()), m_find(find), m_folderPath(std::move(folderPath)) {}

FolderFingerPrints::~FolderFingerPrints() {
    if (m_workers == nullptr || m_jobs.empty()) return;
    std::unique_lock<std::mutex> held(m_workers->m_lock);
    for (const JobPtr& job : m_jobs) Withdraw(held, job);
}

void FolderFingerPrints::Request(const char* name, uint64_t size) {
    if (m_workers == nullptr) return;
    if (m_folder == nullptr) m_folder = std::make_shared<const std::string>(m_folderPath());
    if (m_lastQueued) {
        auto job = std::make_shared<FingerPrintWorkers::Job>();
        job->find = m_find;
        job->folder = m_folder;
        m_jobs.push_back(std::move(job));
        m_lastQueued = false;
    }
    FingerPrintWorkers::Job& job = *m_jobs.back();
    job.files.push_back({name});
    job.bytes += size;
    ++m_pending;
    // The first jobs of a folder are the smallest: the walk needs their
    // files first, and a folder of a few files still spreads over the workers.
    const size_t files = std::min(kFilesPerJob, size_t {1} << std::min<size_t>(m_queued, 8));
    if (job.files.size() >= files || job.bytes >= kBytesPerJob) Queue();
}

void FolderFingerPrints::Submit() {
    if (m_workers != nullptr) Queue();
}

void FolderFingerPrints::Queue() {
    if (m_lastQueued) return;
    m_lastQueued = true;
    ++m_queued;
    bool wake = false;
    {
        std::lock_guard<std::mutex> hold(m_workers->m_lock);
        m_jobs.back()->state = FingerPrintWorkers::Job::State::Queued;
        m_workers->m_queue.push_back(m_jobs.back());
        wake = m_workers->m_idle > 0;
    }
    if (wake) m_workers->m_queued.notify_one();
}

bool FolderFingerPrints::Take(const char* name, HRESULT& result, char* fingerprint) {
    if (m_workers == nullptr) return false;
    // Where the file is among the requests not taken yet.
    size_t job = 0, index = m_taken;
    for (; job < m_jobs.size(); ++job, index = 0) {
        const auto& files = m_jobs[job]->files;
        while (index < files.size() && files[index].name != name) ++index;
        if (index < files.size()) break;
    }
    if (job == m_jobs.size()) return false;
    if (job == m_jobs.size() - 1) Queue();
    JobPtr found = m_jobs[job];
    {
        std::unique_lock<std::mutex> held(m_workers->m_lock);
        // Files requested before this one that the walk passed by.
        for (size_t passed = 0; passed < job; ++passed) Withdraw(held, m_jobs[passed]);
        // The walk reads a job no worker started itself rather than wait
        // for one to wake up to it.
        if (found->state == FingerPrintWorkers::Job::State::Queued) {
            Unqueue(found);
            found->state = FingerPrintWorkers::Job::State::Running;
            held.unlock();
            found->Run();
            held.lock();
            found->state = FingerPrintWorkers::Job::State::Done;
        }
        WaitUntilDone(held, found);
    }
    size_t skipped = 0;
    for (size_t passed = 0; passed < job; ++passed) skipped += m_jobs[passed]->files.size();
    m_pending -= skipped + index + 1 - m_taken;
    m_jobs.erase(m_jobs.begin(), m_jobs.begin() + static_cast<std::ptrdiff_t>(job));
    m_taken = index + 1;
    FingerPrintWorkers::Job::File& file = found->files[index];
    WriteDebugLogLines(file.log);
    result = file.result;
    if (result == S_OK) std::memcpy(fingerprint, file.fingerprint, MD5_TEXT_CHARS);
    if (m_taken == found->files.size()) {
        m_jobs.pop_front();
        m_taken = 0;
    }
    return true;
}

// A job is never left running: it reads the folder of the listing, which the
// walk closes next.
void FolderFingerPrints::Withdraw(std::unique_lock<std::mutex>& held, const JobPtr& job) {
    using State = FingerPrintWorkers::Job::State;
    if (job->state == State::Filling) return;
    if (job->state == State::Queued) {
        Unqueue(job);
        job->state = State::Done;
        return;
    }
    WaitUntilDone(held, job);
}

// Called with the workers' lock held.
void FolderFingerPrints::Unqueue(const JobPtr& job) {
    auto& queue = m_workers->m_queue;
    queue.erase(std::find(queue.begin(), queue.end(), job));
}

void FolderFingerPrints::WaitUntilDone(std::unique_lock<std::mutex>& held, const JobPtr& job) {
    using State = FingerPrintWorkers::Job::State;
    if (job->state == State::Done) return;
    m_workers->m_walkWaits = true;
    m_workers->m_finished.wait(held, [&job] { return job->state == State::Done; });
    m_workers->m_walkWaits = false;
}
