// The handlers of the socket loop: listeners accept, connections read,
// frame and write. Served by the socket thread only.
#pragma once
#include <cstdint>

#include "Framing.h"
#include "Jobs.h"
#include "NetSync.h"
#include "SocketCalls.h"

namespace vexolib::net {

class SocketLoop;

class BasicNetworkHandler {
 public:
  BasicNetworkHandler(Sock socket, bool isListener) : socket_(socket), isListener_(isListener) {}
  virtual ~BasicNetworkHandler() = default;
  BasicNetworkHandler(const BasicNetworkHandler&) = delete;
  BasicNetworkHandler& operator=(const BasicNetworkHandler&) = delete;

  virtual void onReadable() {}
  virtual void onWritable() {}
  virtual void close() {}
  // Bytes held for a message not yet whole.
  virtual int32_t partialBytes() const { return 0; }

  Sock socket() const { return socket_; }
  int32_t id() const { return id_; }
  bool isListener() const { return isListener_; }
  SocketLoop* owner() const { return owner_; }
  // The backlog of the connection's slot (none for listeners).
  Backlog* backlog() const { return backlog_; }
  void attach(SocketLoop* owner, int32_t id, Backlog* backlog) {
    owner_ = owner;
    id_ = id;
    backlog_ = isListener_ ? nullptr : backlog;
  }

 protected:
  // Shuts the socket down and closes it; an added handler reports the close.
  void closeSocket();

  SocketLoop* owner_ = nullptr;
  Backlog* backlog_ = nullptr;
  Sock socket_;
  int32_t id_ = -1;
  bool isListener_;
};

class ListenHandler final : public BasicNetworkHandler {
 public:
  ListenHandler(Sock socket, uint16_t port, int32_t maxMessageLength)
      : BasicNetworkHandler(socket, true), port_(port), maxMessageLength_(maxMessageLength) {}
  ~ListenHandler() override { close(); }
  void onReadable() override;
  void close() override;
  uint16_t port() const { return port_; }

 private:
  uint16_t port_;
  int32_t maxMessageLength_;
};

class TcpHandler final : public BasicNetworkHandler, private FrameSink {
 public:
  static constexpr int32_t kBatchCapacity = 2048;
  // A batch buffer larger than this is given back once its batch has gone,
  // so only connections with bytes queued hold large buffers (Budget.h).
  static constexpr int32_t kKeepAfterBatch = 16384;
  // Switches the socket to non-blocking mode; check ready() afterwards.
  TcpHandler(Sock socket, int32_t maxMessageLength);
  ~TcpHandler() override { close(); }
  bool ready() const { return inFlight_.data && out_.data; }

  void onReadable() override;
  void onWritable() override;
  void close() override;
  int32_t partialBytes() const override { return decoder_.held(); }
  int32_t receivePosition() const { return decoder_.position(); }

  // Appends one framed message, or raw bytes, to the out buffer.
  bool queueFrame(const void* data, int32_t length);
  bool queueRaw(const void* data, int32_t length);

 private:
  void onMessage(char* block, int32_t length) override;
  void onPolicyRequest() override;

  // Tells the loop how the partly received message's buffer changed.
  void countPartial();

  FrameDecoder decoder_;
  int32_t partialCounted_ = 0;  // decoder_.held() as the loop knows it
  OutBuffer inFlight_;
  OutBuffer out_;
  Mutex lock_;  // guards out_ and the swap
  int32_t sendPosition_ = 0;
};

}  // namespace vexolib::net
