// The process's thread team: one set of worker threads, started on first
// use and kept for the life of the process, that every image operation
// shares its work with.
//
// A pass is cut into chunks. Each thread has its own run of chunks (the
// caller the first, worker k the (k+1)-th), the same run in every pass of
// the same shape, so it works on the memory it touched before. A thread that
// runs out of chunks takes the unstarted ones of the others, and the caller
// waits only for chunks that have been started: on a busy machine a worker
// that the scheduler has not woken yet costs nothing, where a fork-join
// team would wait a whole time slice for it.
//
// Workers spin briefly after a pass, so back-to-back passes start without a
// wake-up, then sleep. Calls from several threads at once are safe: a call
// that finds the team busy (or comes from a worker) runs its chunks itself.
#pragma once

#include <cstddef>

namespace calvane::hostlib {

class ThreadTeam {
 public:
  using Task = void (*)(void* context, std::size_t chunk);

  // The team of the process.
  static ThreadTeam& Get();

  // Threads that run chunks, the caller included.
  int Size() const { return m_size; }

  // Calls body(chunk) for each chunk in [0, chunks), spread over the team,
  // and returns when all are done.
  template <class Body>
  void Run(std::size_t chunks, Body& body) {
    RunTask(chunks, [](void* context, std::size_t chunk) { (*static_cast<Body*>(context))(chunk); }, &body);
  }

  void RunTask(std::size_t chunks, Task task, void* context);

  ThreadTeam(const ThreadTeam&) = delete;
  ThreadTeam& operator=(const ThreadTeam&) = delete;

 private:
  explicit ThreadTeam(int size);
  ~ThreadTeam() = delete;  // lives as long as the process

  struct State;
  State* m_state;
  int m_size;
};

}  // namespace calvane::hostlib
