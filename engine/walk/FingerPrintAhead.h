// Content fingerprints read ahead of the walk on worker threads, so that a
// check reads and hashes files on every core while the walk itself, its log
// and its rows stay in one thread and one order: a result is handed back
// where the walk reaches its file, together with the log lines its reading
// wrote, which are written only then.
//
//   FingerPrintWorkers workers;               // for the length of a walk
//   ...
//   FolderFingerPrints ahead(find, [] { return std::string("C:\\WINNT"); });  // per listed folder
//   ahead.Request("A.DLL", size);             // files the walk will fingerprint, in its order
//   ...
//   HRESULT result;
//   if (!ahead.Take("A.DLL", result, md5))    // waits for it; false when it was not requested
//       result = FingerPrintListedFile(find, "A.DLL", "C:\\WINNT\\A.DLL", md5);
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/WinTypes.h"

class FingerPrintWorkers {
public:
    // One thread per core, up to four.
    FingerPrintWorkers();
    // Every FolderFingerPrints must be gone by then.
    ~FingerPrintWorkers();
    FingerPrintWorkers(const FingerPrintWorkers&) = delete;
    FingerPrintWorkers& operator=(const FingerPrintWorkers&) = delete;

    // The workers of the walk running now; null outside one.
    static FingerPrintWorkers* Current();

private:
    friend class FolderFingerPrints;
    // Consecutive files of one folder, read by one worker: handing over a
    // file at a time would cost more than reading a small one.
    struct Job;
    void Work();

    std::mutex m_lock;
    std::condition_variable m_queued;    // a job was queued, or the workers stop
    std::condition_variable m_finished;  // a job was done
    std::deque<std::shared_ptr<Job>> m_queue;
    bool m_stopping = false;
    // Wake-ups cost a system call each, more than reading a small file:
    // they are made only when a thread sleeps.
    unsigned m_idle = 0;      // workers waiting for a job
    bool m_walkWaits = false; // the walk waits for a job to be done
    std::vector<std::thread> m_threads;
    FingerPrintWorkers* m_previous;
};

// The requests of one listed folder, taken in the order they were made.
class FolderFingerPrints {
public:
    // find must stay open until this is destroyed. folderPath gives the
    // folder's path (Windows form, without a final "\\") for the log; it is
    // asked once, at the first request, and kept once for all the files.
    FolderFingerPrints(HANDLE find, std::function<std::string()> folderPath);
    // Withdraws what no worker started and waits for what one did.
    ~FolderFingerPrints();
    FolderFingerPrints(const FolderFingerPrints&) = delete;
    FolderFingerPrints& operator=(const FolderFingerPrints&) = delete;

    // False when no workers run: requests are then ignored.
    bool Active() const { return m_workers != nullptr; }
    // Requests made and not taken yet.
    size_t Pending() const { return m_pending; }
    // Queues the fingerprint of the listed file name, of size bytes.
    void Request(const char* name, uint64_t size);
    // Hands the files requested so far to the workers, also fewer than a
    // job's worth: for when no more requests come soon.
    void Submit();
    // The result FingerPrintListedFile gave for name, once a worker has it,
    // after writing the log lines of its reading; false (and nothing written)
    // when name was not requested. Requests made before name that were never
    // taken are withdrawn.
    bool Take(const char* name, HRESULT& result, char* fingerprint);

private:
    using JobPtr = std::shared_ptr<FingerPrintWorkers::Job>;
    void Queue();
    void Unqueue(const JobPtr& job);
    void Withdraw(std::unique_lock<std::mutex>& held, const JobPtr& job);
    void WaitUntilDone(std::unique_lock<std::mutex>& held, const JobPtr& job);

    FingerPrintWorkers* m_workers;
    HANDLE m_find;
    std::function<std::string()> m_folderPath;
    std::shared_ptr<const std::string> m_folder;  // made at the first request
    std::deque<JobPtr> m_jobs;  // in request order; the last may still be filling
    bool m_lastQueued = true;   // false while the last job is filling
    size_t m_taken = 0;         // files of the first job taken or passed by
    size_t m_pending = 0;
    size_t m_queued = 0;        // jobs handed to the workers
};
