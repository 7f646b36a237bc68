#include "Jobs.h"

#include <cstring>
#include <new>

#include "MsgMem.h"

namespace vexolib::net {

namespace {
LockedPool& acceptPool() {
  static LockedPool pool("JobAccept", sizeof(JobAccept), 64);
  return pool;
}
LockedPool& disconnectPool() {
  static LockedPool pool("JobDisconect", sizeof(JobDisconect), 64);
  return pool;
}
LockedPool& recvPool() {
  static LockedPool pool("JobRecv", sizeof(JobRecv), 1024);
  return pool;
}

template <typename T>
T* make(LockedPool& pool) {
  void* block = pool.allocate();
  return block ? new (block) T() : nullptr;
}

template <typename T>
void unmake(LockedPool& pool, T* job) {
  job->~T();
  pool.release(job);
}
}  // namespace

JobAccept* JobAccept::create(int32_t connectionId, Sock socket, uint16_t listenPort, uint32_t peerIp,
                             uint16_t peerPort) {
  JobAccept* job = make<JobAccept>(acceptPool());
  if (job) {
    job->connectionId = connectionId;
    job->socket = socket;
    job->listenPort = listenPort;
    job->peerIp = peerIp;
    job->peerPort = peerPort;
  }
  return job;
}

void JobAccept::destroy() { unmake(acceptPool(), this); }

void JobAccept::dispatch(INetworkCallback& sink) { sink.onAccept(listenPort, connectionId, peerIp, peerPort); }

JobDisconect* JobDisconect::create(int32_t connectionId, IJobRecycler* owner, uint32_t tableEpoch) {
  JobDisconect* job = make<JobDisconect>(disconnectPool());
  if (job) {
    job->connectionId = connectionId;
    job->owner = owner;
    job->tableEpoch = tableEpoch;
  }
  return job;
}

void JobDisconect::destroy() {
  if (owner) owner->recycleId(connectionId, tableEpoch);
  unmake(disconnectPool(), this);
}

void JobDisconect::dispatch(INetworkCallback& sink) { sink.onDisconnect(connectionId); }

JobRecv* JobRecv::create(char* data, int32_t length, int32_t connectionId, Backlog* backlog) {
  JobRecv* job = make<JobRecv>(recvPool());
  if (job) {
    job->data = data;
    job->length = length;
    job->connectionId = connectionId;
    job->backlog = backlog;
    if (backlog) backlog->add(Backlog::costOf(length));
  }
  return job;
}

void JobRecv::destroy() {
  msgmempool::instance().release(data);
  Backlog* held = backlog;
  const int32_t n = length;
  unmake(recvPool(), this);
  if (held) held->release(Backlog::costOf(n));
}

void JobRecv::dispatch(INetworkCallback& sink) {
  sink.onRecv(connectionId, reinterpret_cast<const uint8_t*>(data), length);
}

int jobPoolChunks(const char* name) {
  if (std::strcmp(name, "JobAccept") == 0) return acceptPool().chunkCount();
  if (std::strcmp(name, "JobDisconect") == 0) return disconnectPool().chunkCount();
  if (std::strcmp(name, "JobRecv") == 0) return recvPool().chunkCount();
  return -1;
}

}  // namespace vexolib::net
