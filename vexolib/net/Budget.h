// What the network manager may hold, in one place. A 32-bit game has 2 GiB
// of address space for everything it does, so every byte a peer can make the
// library keep is bounded here, and the bounds are sized for 1 024
// connections (the most one wait set serves).
//
// Receiving (counted by the socket loop, backlogBytes()):
// Every figure counts MsgMem blocks at their size class, what they really
// take (a payload just over a class takes up to four times itself).
//   - a whole message waits as a job until the game takes it: its block
//     plus 64 bytes. One connection stops being read past 256 KiB of them
//     (it may pass that by one read, 64 KiB, or by one message of at most
//     1 MiB, which still arrives whole) and resumes below half.
//   - a message still arriving holds a buffer that doubles as its bytes come
//     (a header alone holds nothing; at most the class of twice what
//     arrived, at most 1 MiB + 4 per connection).
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
//     written and the one filling), grown by 1.5 and taken from the size
//     classes: at most 6 times the bytes they hold up to 256 KiB, 1.5 times
//     above it, so 32 MiB queued take at most 192 MiB (48 MiB when the
//     queues are long). A batch buffer above 16 KiB is given back once its
//     batch has gone, so an idle connection keeps at most two of 16 KiB.
// Fixed, per connection: two 2 KiB send buffers, the handler, its table
// entry and backlog (under 400 bytes); kept after large sends, two 16 KiB
// buffers at most: 1 024 connections, at most 36 MiB.
// Pools and the rest: job pools grow in chunks of 64 or 1 024 jobs and give
// chunks back when empty (jobs are part of the receive bound above). A MsgMem
// class makes a chunk of 64 blocks only when its chunks are full and gives
// it back when empty, so beyond the blocks counted above each class holds at
// most one chunk's worth more: 64 blocks of every class, 21.3 MiB (16 MiB
// of them the 256 KiB class). One 64 KiB read buffer; the socket thread's
// stack and two connect workers of 100 KiB each.
// In all, for 1 024 connections: 72 + 192 + 36 + 21.3 MiB, under 330 MiB
// of address space at the very worst, whatever the peers and the game do;
// a 32-bit process has 2 GiB.
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
