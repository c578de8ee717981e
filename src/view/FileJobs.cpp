#include "FileJobs.h"

namespace ML
{
FileJobs::FileJobs(QObject* parent) : QObject(parent)
{
  pool.setMaxThreadCount(1);
  // The worker stays for the program's life: it is woken for every file.
  pool.setExpiryTimeout(-1);
}

FileJobs::~FileJobs()
{
  cancel();
  pool.waitForDone();
}

void FileJobs::start(Job job)
{
  const unsigned number = nextJob++;
  pool.start([this, number, job = std::move(job)]
             { job([this, number] { return number < firstLiveJob.load(); }); });
}

void FileJobs::cancel()
{
  firstLiveJob.store(nextJob);
}

void FileJobs::post(std::function<void()> work)
{
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

bool FileJobs::waitForDone(int msecs)
{
  return pool.waitForDone(msecs);
}
} // namespace ML
