#pragma once

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>

namespace ML
{
// Reads and writes model files on one worker thread, one job after the other in
// the order they were started, so the window keeps drawing and answering while a
// file loads. Lives on the GUI thread; jobs hand their results back with post().
class FileJobs : public QObject
{
  Q_OBJECT

public:
  // Whether the job that polls it should stop at its next step.
  using Cancelled = std::function<bool()>;
  using Job = std::function<void(const Cancelled& cancelled)>;

  explicit FileJobs(QObject* parent = nullptr);
  // Cancels what is queued or running and waits for the worker.
  ~FileJobs() override;

  void start(Job job);
  // Every job started so far sees itself cancelled; later ones run normally.
  void cancel();
  // Runs `work` on the GUI thread after the calls posted before it, as long as
  // this object lives. Callable from any thread.
  void post(std::function<void()> work);
  // Waits until no job is queued or running; false on timeout.
  bool waitForDone(int msecs = -1);

private:
  QThreadPool pool;
  unsigned nextJob = 0; // GUI thread only
  std::atomic<unsigned> firstLiveJob{0};
};
} // namespace ML
