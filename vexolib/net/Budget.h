// What the network manager may hold, in one place. A 32-bit game has 2 GiB
// of address space for everything it does, so every byte a peer can make the
// library keep is bounded here, and the bounds are sized for 1 024
// connections (the most one wait set serves).
//
// Receiving (counted by the socket loop, backlogBytes()):
//   - a whole message waits as a job until the game takes it: its payload
//     plus 64 bytes. One connection stops being read past 256 KiB of them
//     (it may pass that by one read, 64 KiB, or by one message of at most
//     1 MiB, which still arrives whole) and resumes below half.
//   - a message still arriving holds a buffer that doubles as its bytes come
//     (a header alone holds nothing; at most twice what arrived, at most
//     1 MiB + 4 per connection).
//   - whole and partial together: no connection is read past 64 MiB until
//     the game has brought it under 32 MiB. When partial messages alone hold
//     more than 32 MiB the game cannot help, so the connection holding the
//     most is closed, one per pass ("Recv held [...]").
//   1 024 connections: 64 MiB, plus at most one 64 KiB read of each of the
//   128 connections served in one pass (8 MiB): 72 MiB.
// Sending (counted per connection as pending):
//   - a connection takes at most 4 MiB of queued, unsent bytes (a few of the
//     largest messages); all connections together at most 32 MiB. Past
//     either, Send returns false and queues nothing.
//   - a connection that was refused for its own bound and has not come back
//     under half of it within 10 s is a peer that stopped reading: it is
//     closed ("Send full [...]"), and the game hears onDisconnect. 10 s is far
//     longer than any pause of a live client, and it frees the slot long
//     before a player would give up on it.
//   - queued bytes sit in two buffers per connection (the batch being
//     written and the one filling), grown by 1.5: at most 1.5 x 32 MiB =
//     48 MiB for all. A batch buffer above 16 KiB is given back once its
//     batch has gone, so an idle connection keeps at most two of 16 KiB.
// Fixed, per connection: two 2 KiB send buffers, the handler, its table
// entry and backlog (under 400 bytes); kept after large sends, two 16 KiB
// buffers at most: 1 024 connections, at most 36 MiB.
// Pools and the rest: job pools grow in chunks of 64 or 1 024 jobs and give
// chunks back when empty (jobs are part of the receive bound above); MsgMem
// classes up to 256 KiB hold their blocks in chunks of 64, returned when
// empty; one 64 KiB read buffer; the socket thread's stack and two connect
// workers of 100 KiB each.
// In all, for 1 024 connections: 72 + 48 + 36 MiB, under 160 MiB of
// address space at the worst, whatever the peers and the game do; a 32-bit
// process has 2 GiB.
#pragma once
#include <cstdint>

namespace vexolib::net {

struct Limits {
  int64_t connectionBacklog = 256 * 1024;
  int64_t totalBacklog = 64 * 1048576;
  int64_t connectionSend = 4 * 1048576;
  int64_t totalSend = 32 * 1048576;
  int32_t slowReaderMs = 10000;
};

}  // namespace vexolib::net
