#include "worker/read_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace kestrun {
namespace {

// Index of the first sync byte in [from, end), or end when there is none.
std::uint32_t FindSync(const std::uint8_t* data, std::uint32_t from, std::uint32_t end) {
  if (from >= end) return end;
  const void* hit = std::memchr(data + from, kSyncByte, end - from);
  if (hit == nullptr) return end;
  return static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - data);
}

PacketResult Deliver(ReadBuffer& buffer, std::uint32_t at, std::uint32_t length) {
  buffer.cursor = at + length;
  PacketResult result;
  result.status = PacketStatus::Packet;
  result.packet = buffer.data + at;
  result.length = length;
  result.position = buffer.blockPosition + at;
  return result;
}

// The block is at least large enough that the carried tail (at most one
// framed packet) always leaves room for a read behind it.
bool AllocateBlock(ReadBuffer& buffer, std::uint32_t step) {
  const std::uint64_t floor = 2 * static_cast<std::uint64_t>(step) + 8;
  const std::uint64_t size = std::max<std::uint64_t>(buffer.capacity, floor);
  if (size > std::numeric_limits<std::uint32_t>::max()) return false;
  buffer.block.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!buffer.block) return false;
  buffer.blockSize = static_cast<std::uint32_t>(size);
  buffer.data = buffer.block.get();
  buffer.validLength = 0;
  buffer.cursor = 0;
  return true;
}

// Scan of held data while more input may follow. A sync byte is judged only
// when its confirming byte is held; the first one that cannot be judged yet
// stops the scan, and the cursor stays on it so that it is carried into the
// next fill. Everything before it is consumed: it starts no packet.
bool ScanHeld(ReadBuffer& buffer, PacketResult& result) {
  const std::uint8_t* data = buffer.data;
  const std::uint32_t end = buffer.validLength;
  std::uint32_t p = buffer.cursor;
  // In sync, one comparison beyond the sync byte confirms the packet.
  if (end - p > kPlainPacketSize && data[p] == kSyncByte &&
      data[p + kPlainPacketSize] == kSyncByte) {
    result = Deliver(buffer, p, kPlainPacketSize);
    return true;
  }
  for (p = FindSync(data, p, end); p < end; p = FindSync(data, p + 1, end)) {
    const std::uint32_t rest = end - p;
    if (rest <= kPlainPacketSize) break;
    if (data[p + kPlainPacketSize] == kSyncByte) {
      result = Deliver(buffer, p, kPlainPacketSize);
      return true;
    }
    if (rest <= kFramedPacketSize) break;
    if (data[p + kFramedPacketSize] == kSyncByte) {
      result = Deliver(buffer, p, kFramedPacketSize);
      return true;
    }
  }
  buffer.cursor = p;
  return false;
}

// Scan of the held tail once the source has nothing more to give. Nothing
// can follow to confirm a packet, so a sync byte with a whole packet behind
// it is the last packet: preferably the one that ends exactly at the end of
// the data, otherwise one followed by no more than a frame prefix. A shorter
// tail stays held in case a later read continues it.
bool ScanFinal(ReadBuffer& buffer, PacketResult& result) {
  const std::uint8_t* data = buffer.data;
  const std::uint32_t end = buffer.validLength;
  for (std::uint32_t p = FindSync(data, buffer.cursor, end); p < end;
       p = FindSync(data, p + 1, end)) {
    const std::uint32_t rest = end - p;
    if (rest < kPlainPacketSize) return false;
    if (rest > kFramedPacketSize) continue;
    if (rest == kPlainPacketSize || data[p + kPlainPacketSize] == kSyncByte ||
        data[end - kPlainPacketSize] != kSyncByte) {
      result = Deliver(buffer, p, kPlainPacketSize);
      return true;
    }
  }
  return false;
}

// Moves the unjudged tail (at most one framed packet) to the start of the
// block; the bytes before it are gone for good.
void CarryTail(ReadBuffer& buffer) {
  const std::uint32_t tail = buffer.validLength - buffer.cursor;
  if (tail > 0 && buffer.cursor > 0) {
    std::memmove(buffer.data, buffer.data + buffer.cursor, tail);
  }
  buffer.blockPosition += buffer.cursor;
  buffer.validLength = tail;
  buffer.cursor = 0;
}

static_assert(kSlicePorch >= kCarryLimit, "a carried tail must fit in front of a slice");

// Puts the unjudged tail in front of the next lent slice (a view of the
// file has it there already), or, when the source has nothing more, into
// the buffer's own carry room where the final scan judges it. The tail is
// saved first: the slice it lies in goes back to the source with the
// exchange.
SliceStatus ExchangeSlice(ReadBuffer& buffer, ByteSource& source) {
  std::uint32_t tail = buffer.validLength - buffer.cursor;
  if (tail > kCarryLimit) {
    // Cannot happen (the scan judges everything but the last framed packet),
    // but the carry room is never overrun whatever the scan left.
    buffer.cursor = buffer.validLength - kCarryLimit;
    tail = kCarryLimit;
  }
  if (tail > 0 && buffer.data + buffer.cursor != buffer.carry) {
    std::memmove(buffer.carry, buffer.data + buffer.cursor, tail);
  }
  buffer.blockPosition += buffer.cursor;
  const LentSlice slice = source.NextSliceKeeping(tail);
  if (slice.status == SliceStatus::Ready) {
    buffer.data = slice.data - tail;
    if (!slice.tailInFront) std::memcpy(buffer.data, buffer.carry, tail);
    buffer.validLength = tail + slice.count;
  } else {
    buffer.data = buffer.carry;
    buffer.validLength = tail;
  }
  buffer.cursor = 0;
  return slice.status;
}

PacketResult FindInSlices(ReadBuffer& buffer, ByteSource& source) {
  PacketResult result;
  for (;;) {
    if (buffer.data != nullptr && ScanHeld(buffer, result)) return result;
    const SliceStatus status = ExchangeSlice(buffer, source);
    if (status == SliceStatus::Ready) continue;
    if (ScanFinal(buffer, result)) return result;
    result.status = status == SliceStatus::Ended    ? PacketStatus::SourceEnded
                    : status == SliceStatus::Failed ? PacketStatus::SourceFailed
                                                    : PacketStatus::NoMemory;
    return result;
  }
}

}  // namespace

PacketResult FindNextPacket(ReadBuffer& buffer, ByteSource& source, std::uint32_t requestedSize) {
  PacketResult result;
  const std::uint32_t step = std::max(requestedSize, kPlainPacketSize);
  if (buffer.capacity < step) {
    result.status = PacketStatus::CapacityTooSmall;
    return result;
  }
  if (source.LendsSlices()) return FindInSlices(buffer, source);
  if (!buffer.block && !AllocateBlock(buffer, step)) {
    result.status = PacketStatus::NoMemory;
    return result;
  }
  for (;;) {
    if (ScanHeld(buffer, result)) return result;
    CarryTail(buffer);
    // One read call brings in at most a slice that stays in the cache while
    // its packets are checked; asking for the whole block at once would send
    // it out to main memory and have every packet fetched back from there.
    const std::uint32_t room = std::min(buffer.blockSize - buffer.validLength, kReadSliceSize);
    const SourceRead read = source.Read(buffer.data + buffer.validLength, room);
    if (!read.ok || read.count == 0) {
      if (ScanFinal(buffer, result)) return result;
      result.status = read.ok ? PacketStatus::SourceEnded : PacketStatus::SourceFailed;
      return result;
    }
    buffer.validLength += std::min(read.count, room);
  }
}

void ReleaseReadBuffer(ReadBuffer& buffer) {
  buffer.block.reset();
  buffer.blockSize = 0;
  buffer.data = nullptr;
  buffer.validLength = 0;
  buffer.cursor = 0;
  buffer.blockPosition = 0;
}

}  // namespace kestrun
