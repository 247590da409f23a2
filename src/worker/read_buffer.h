// The packet reader: one large block filled by one read call at a time and
// scanned for sync bytes, so that a stream starting or resuming at any byte
// is picked up at its next packet boundary, in 188-byte and in 192-byte
// (4-byte prefix) framing alike. It does no I/O of its own: every byte comes
// through the ByteSource it is handed, copied into the block by a read call
// or, from a source that lends slices (read ahead, or views of a file),
// scanned in place in a lent slice.
#pragma once

#include <cstdint>
#include <memory>

#include "ts/packet.h"
#include "worker/byte_source.h"

namespace kestrun {

inline constexpr std::uint32_t kPlainPacketSize = static_cast<std::uint32_t>(kTsPacketSize);
inline constexpr std::uint32_t kFramedPacketSize = 192;

// The most one read call asks for. The block is still allocated at the
// job's capacity, so a size that cannot be had is reported as before, but
// each fill lands at its start and the pages beyond the first slice are
// never touched.
inline constexpr std::uint32_t kReadSliceSize = 1u << 20;

// The most bytes carried from one fill or slice into the next: the scan
// leaves at most one framed packet unjudged.
inline constexpr std::uint32_t kCarryLimit = kFramedPacketSize;

struct ReadBuffer {
  std::unique_ptr<std::uint8_t[]> block;  // none until the first NextPacket
  std::uint32_t blockSize = 0;            // bytes allocated: capacity or the floor
  std::uint32_t capacity = 0;             // fixed by the worker before the first call
  // The held data: the block, or a lent slice with the carried tail in
  // front of it, or `carry` once a lending source has ended.
  std::uint8_t* data = nullptr;
  std::uint32_t validLength = 0;          // bytes from data[0] that hold stream data
  std::uint32_t cursor = 0;               // index of the next byte not yet examined
  std::uint64_t blockPosition = 0;        // stream bytes read before data[0]
  std::uint8_t carry[kCarryLimit] = {};   // the tail while a slice is exchanged
};

enum class PacketStatus {
  Packet,             // a packet was found
  SourceEnded,        // the read delivered nothing (end of file, or no data yet)
  SourceFailed,       // the read call failed (a broken pipe included)
  NoMemory,           // the block could not be allocated
  CapacityTooSmall,   // the capacity cannot hold one packet
};

struct PacketResult {
  PacketStatus status = PacketStatus::SourceEnded;
  const std::uint8_t* packet = nullptr;  // the sync byte; valid until the next call
  std::uint32_t length = 0;              // 188 or 192
  // Bytes of the stream before the packet's sync byte, counted from where
  // reading began (the caller adds its start offset).
  std::uint64_t position = 0;

  bool HasPacket() const { return status == PacketStatus::Packet; }
};

// NextPacket when the held data does not show an in-sync 188-byte packet at
// the cursor: the scan for a sync byte, the refills and the end of input.
PacketResult FindNextPacket(ReadBuffer& buffer, ByteSource& source, std::uint32_t requestedSize);

namespace read_buffer {

// A fill of up to kReadSliceSize need not stay in the core's nearest cache,
// and the hardware prefetcher stops at every page boundary. Asking for the
// bytes a page ahead of the cursor hides that latency from the in-sync path
// of NextPacket; it is only a hint and reads nothing. (The plain-packet
// batch does without: it runs over file slices, which are in the cache.)
inline constexpr std::uint32_t kPrefetchDistance = 4096;

inline void PrefetchAhead(const std::uint8_t* data, std::uint32_t from, std::uint32_t end) {
  if (end - from > kPrefetchDistance) __builtin_prefetch(data + from + kPrefetchDistance);
}

}  // namespace read_buffer

// The next packet of the stream, refilling the block from `source` when the
// held data cannot show where it is. A packet is confirmed by a sync byte 188
// (else 192) bytes further on; bytes that cannot be judged yet are carried
// into the next fill, so no packet is lost at a fill boundary. Only when a
// read delivers nothing or fails is the held tail judged on its own: a sync
// byte with a whole packet behind it is then the last packet, anything
// shorter is kept for a later read. Every call that finds no packet in the
// held data calls Read again, so a source that delivers more later (standard
// input, the tuner) resumes where it stopped.
//
// Runs for every packet: a stream in sync costs one comparison beyond the
// sync byte, here where the packet loop can inline it.
inline PacketResult NextPacket(ReadBuffer& buffer, ByteSource& source,
                               std::uint32_t requestedSize = kPlainPacketSize) {
  const std::uint8_t* data = buffer.data;
  const std::uint32_t at = buffer.cursor;
  const std::uint32_t end = buffer.validLength;
  // Held data exists only after a fill that the capacity allowed.
  if (requestedSize <= kPlainPacketSize && end - at > kPlainPacketSize && data[at] == kSyncByte &&
      data[at + kPlainPacketSize] == kSyncByte) {
    read_buffer::PrefetchAhead(data, at, end);
    buffer.cursor = at + kPlainPacketSize;
    PacketResult result;
    result.status = PacketStatus::Packet;
    result.packet = data + at;
    result.length = kPlainPacketSize;
    result.position = buffer.blockPosition + at;
    return result;
  }
  return FindNextPacket(buffer, source, requestedSize);
}

// The length of the packet at `at` when the held data shows it in sync, as
// NextPacket would deliver it without scanning: 188 when a sync byte follows
// 188 bytes on, else 192 when one follows 192 bytes on; 0 when the packet
// is not confirmed in the held data (NextPacket then decides).
inline std::uint32_t InSyncPacketLength(const std::uint8_t* data, std::uint32_t at,
                                        std::uint32_t end) {
  const std::uint32_t rest = end - at;
  if (rest <= kPlainPacketSize || data[at] != kSyncByte) return 0;
  if (data[at + kPlainPacketSize] == kSyncByte) return kPlainPacketSize;
  if (rest > kFramedPacketSize && data[at + kFramedPacketSize] == kSyncByte) return kFramedPacketSize;
  return 0;
}

// Frees the block and forgets the held data.
void ReleaseReadBuffer(ReadBuffer& buffer);

}  // namespace kestrun
