#include "worker/read_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kestrun {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Serves a stream from memory in chunks whose sizes cycle through `chunks`
// (0 in the list means "the whole room"). Past the end it reports 0 bytes,
// or a failure when `failAtEnd` is set. With `lend` it lends the chunks as
// slices (0 then means 4096 bytes) and fills each returned slice, porch
// included, with sync bytes, so a reader that still looks at it goes wrong.
class MemorySource final : public ByteSource {
 public:
  MemorySource(Bytes data, std::vector<std::uint32_t> chunks = {0}, bool lend = false)
      : data_(std::move(data)), chunks_(std::move(chunks)), lend_(lend) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    ++reads;
    if (position_ >= data_.size()) return {!failAtEnd, 0};
    const std::size_t count = NextChunk(room);
    std::memcpy(destination, data_.data() + position_, count);
    position_ += count;
    return {true, static_cast<std::uint32_t>(count)};
  }

  bool LendsSlices() const override { return lend_; }

  LentSlice NextSlice() override {
    ++reads;
    std::fill(slice_.begin(), slice_.end(), kSyncByte);
    if (position_ >= data_.size()) {
      return {failAtEnd ? SliceStatus::Failed : SliceStatus::Ended, nullptr, 0};
    }
    const std::size_t count = NextChunk(4096);
    slice_.assign(kSlicePorch, kSyncByte);
    slice_.insert(slice_.end(), data_.begin() + position_, data_.begin() + position_ + count);
    position_ += count;
    return {SliceStatus::Ready, slice_.data() + kSlicePorch, static_cast<std::uint32_t>(count)};
  }

  void Append(const Bytes& more) { data_.insert(data_.end(), more.begin(), more.end()); }

  bool failAtEnd = false;
  int reads = 0;

 private:
  std::size_t NextChunk(std::uint32_t room) {
    std::uint32_t want = chunks_[nextChunk_++ % chunks_.size()];
    if (want == 0) want = room;
    return std::min<std::size_t>({want, room, data_.size() - position_});
  }

  Bytes data_;
  std::vector<std::uint32_t> chunks_;
  bool lend_;
  Bytes slice_;
  std::size_t nextChunk_ = 0;
  std::size_t position_ = 0;
};

// A generated stream and where its packets start.
struct Stream {
  Bytes bytes;
  std::vector<std::uint64_t> syncs;
};

// Payload bytes are never 0x47, so a scan that has lost sync cannot be
// fooled by them; the prefix of a 192-byte frame is 0x00..0x03 unless a test
// sets it.
Stream MakeStream(std::size_t packets, std::uint32_t frame, const Bytes& lead = {}) {
  Stream stream;
  stream.bytes = lead;
  for (std::size_t i = 0; i < packets; ++i) {
    if (frame == kFramedPacketSize) {
      for (std::uint8_t b = 0; b < 4; ++b) stream.bytes.push_back(b);
    }
    stream.syncs.push_back(stream.bytes.size());
    stream.bytes.push_back(kSyncByte);
    for (std::uint32_t k = 1; k < kPlainPacketSize; ++k) {
      const auto value = static_cast<std::uint8_t>((i * 7 + k) & 0xFF);
      stream.bytes.push_back(value == kSyncByte ? 0x48 : value);
    }
  }
  return stream;
}

struct Seen {
  std::vector<std::uint64_t> positions;
  std::vector<std::uint32_t> lengths;
  PacketStatus last = PacketStatus::Packet;
};

// Reads until the first call without a packet, checking that every packet
// pointer shows the stream's bytes at the reported position.
Seen ReadAll(ReadBuffer& buffer, MemorySource& source, const Bytes& stream) {
  Seen seen;
  for (;;) {
    const PacketResult result = NextPacket(buffer, source);
    if (!result.HasPacket()) {
      seen.last = result.status;
      return seen;
    }
    EXPECT_EQ(result.packet[0], kSyncByte);
    EXPECT_LE(result.position + kPlainPacketSize, stream.size());
    if (result.position + kPlainPacketSize <= stream.size()) {
      EXPECT_EQ(0, std::memcmp(result.packet, stream.data() + result.position,
                               kPlainPacketSize))
          << "at " << result.position;
    }
    seen.positions.push_back(result.position);
    seen.lengths.push_back(result.length);
  }
}

Seen ReadStream(const Bytes& bytes, std::uint32_t capacity,
                std::vector<std::uint32_t> chunks = {0}, bool lend = false) {
  ReadBuffer buffer;
  buffer.capacity = capacity;
  MemorySource source(bytes, std::move(chunks), lend);
  return ReadAll(buffer, source, bytes);
}

// lead bytes (before the first packet)        | first packet found at
// 3 bytes, no 0x47                             | 3
// a lone 0x47 among garbage                    | 6
// 0x47 with 189 bytes behind it, unconfirmed   | 190
TEST(ReadBuffer, SkipsGarbageBeforeTheFirstPacket) {
  Bytes longLead(190, 0x11);
  longLead[0] = kSyncByte;
  const std::vector<Bytes> leads = {{1, 2, 3}, {0, 0x47, 9, 9, 9, 9}, longLead};
  for (const Bytes& lead : leads) {
    const Stream stream = MakeStream(5, kPlainPacketSize, lead);
    for (std::uint32_t capacity : {384u, 48128u}) {
      const Seen seen = ReadStream(stream.bytes, capacity);
      EXPECT_EQ(seen.positions, stream.syncs) << "lead of " << lead.size();
      EXPECT_EQ(seen.last, PacketStatus::SourceEnded);
    }
  }
}

TEST(ReadBuffer, FramedStreamGivesLength192) {
  const Stream stream = MakeStream(6, kFramedPacketSize);
  const Seen seen = ReadStream(stream.bytes, 48128);
  ASSERT_EQ(seen.positions, stream.syncs);
  EXPECT_EQ(seen.positions.front(), 4u);
  const std::vector<std::uint32_t> lengths = {192, 192, 192, 192, 192, 188};
  EXPECT_EQ(seen.lengths, lengths);
}

// A prefix whose first byte is 0x47 makes the packet before it confirm at
// 188; the scan then steps over the rest of the prefix. Also for the last
// packet, whose prefix byte stands where a final packet could be taken.
TEST(ReadBuffer, FramedPrefixStartingWithSyncByte) {
  for (std::size_t at : {std::size_t{2}, std::size_t{4}}) {
    Stream stream = MakeStream(5, kFramedPacketSize);
    stream.bytes[stream.syncs[at] - 4] = kSyncByte;
    for (std::uint32_t capacity : {48128u, 384u}) {
      const Seen seen = ReadStream(stream.bytes, capacity);
      EXPECT_EQ(seen.positions, stream.syncs) << "prefix of packet " << at;
      ASSERT_EQ(seen.lengths.size(), 5u);
      EXPECT_EQ(seen.lengths[at - 1], 188u);
    }
  }
}

// Every fill or slice boundary lands somewhere inside a packet: capacities
// down to the smallest block, and sources that deliver in odd pieces.
//   capacity : 188 (block of 384), 384, 500, 48128
//   chunks   : whole room, 1, 7, 189, 191, mixed
//   framing  : 188, 192
//   delivery : read into the block, lent slices
TEST(ReadBuffer, FillBoundariesLoseNothing) {
  const std::vector<std::vector<std::uint32_t>> chunkings = {
      {0}, {1}, {7}, {189}, {191}, {1, 190, 7, 400}};
  for (bool lend : {false, true}) {
    for (std::uint32_t frame : {kPlainPacketSize, kFramedPacketSize}) {
      const Stream stream = MakeStream(300, frame, {9, 0x47, 9});
      for (std::uint32_t capacity : {188u, 384u, 500u, 48128u}) {
        for (const auto& chunks : chunkings) {
          const Seen seen = ReadStream(stream.bytes, capacity, chunks, lend);
          EXPECT_EQ(seen.positions, stream.syncs) << "frame " << frame << " capacity " << capacity
                                                  << " chunk " << chunks[0] << " lend " << lend;
          EXPECT_EQ(seen.last, PacketStatus::SourceEnded);
        }
      }
    }
  }
}

// A fill that ends 189 to 192 bytes behind the cursor in a 192-byte stream:
// the packet there cannot be confirmed until the next fill brings its
// successor, and must not be thrown away meanwhile.
TEST(ReadBuffer, CarriesAnUnconfirmedTailIntoTheNextFill) {
  const Stream stream = MakeStream(4, kFramedPacketSize);
  for (std::uint32_t tail = 189; tail <= 192; ++tail) {
    const std::uint32_t first = 4 + 192 + tail;
    const Seen seen = ReadStream(stream.bytes, 1000, {first, 0});
    EXPECT_EQ(seen.positions, stream.syncs) << "tail " << tail;
  }
}

// At the end of the input the held tail is judged on its own.
//   tail behind the last packet          | delivered
//   nothing                              | (the last packet, unconfirmed)
//   1..4 junk bytes                      | the packet, junk dropped
//   2 or 100 bytes of a cut next packet  | the packet, the cut one dropped
//   the last packet lacks its last byte  | nothing
TEST(ReadBuffer, FinalTailRules) {
  Bytes cutPacket(100, 0x11);
  cutPacket[0] = kSyncByte;
  const std::vector<Bytes> trailers = {{}, {5}, {5, 6, 7, 8}, {0x47, 1}, cutPacket};
  for (const Bytes& trailer : trailers) {
    Stream stream = MakeStream(11, kPlainPacketSize);
    stream.bytes.insert(stream.bytes.end(), trailer.begin(), trailer.end());
    for (bool lend : {false, true}) {
      const Seen seen = ReadStream(stream.bytes, 48128, {0}, lend);
      EXPECT_EQ(seen.positions, stream.syncs) << "trailer of " << trailer.size() << " lend " << lend;
      EXPECT_EQ(seen.last, PacketStatus::SourceEnded);
    }
  }
  Stream cut = MakeStream(2, kPlainPacketSize);
  cut.bytes.pop_back();
  const Seen seen = ReadStream(cut.bytes, 48128);
  EXPECT_EQ(seen.positions, std::vector<std::uint64_t>{0});
}

TEST(ReadBuffer, FailedReadEndsWithItsOwnStatus) {
  const Stream stream = MakeStream(3, kPlainPacketSize);
  for (bool lend : {false, true}) {
    ReadBuffer buffer;
    buffer.capacity = 48128;
    MemorySource source(stream.bytes, {200}, lend);
    source.failAtEnd = true;
    const Seen seen = ReadAll(buffer, source, stream.bytes);
    EXPECT_EQ(seen.positions, stream.syncs);
    EXPECT_EQ(seen.last, PacketStatus::SourceFailed);
  }
}

TEST(ReadBuffer, CapacityBelowOnePacketGivesNoPacket) {
  const Stream stream = MakeStream(3, kPlainPacketSize);
  for (std::uint32_t capacity : {0u, 187u}) {
    ReadBuffer buffer;
    buffer.capacity = capacity;
    MemorySource source(stream.bytes);
    EXPECT_EQ(NextPacket(buffer, source).status, PacketStatus::CapacityTooSmall);
    EXPECT_EQ(source.reads, 0);
    EXPECT_FALSE(buffer.block);
  }
}

TEST(ReadBuffer, BlockThatCannotBeHadIsReported) {
  ReadBuffer buffer;
  buffer.capacity = 0xFFFFFFFFu;
  MemorySource source({});
  EXPECT_EQ(NextPacket(buffer, source, 0x80000000u).status, PacketStatus::NoMemory);
  EXPECT_EQ(source.reads, 0);
}

// Standard input and the tuner may deliver more after a read that gave
// nothing: every call reads again, and a packet cut by the pause is whole
// once the rest arrives.
TEST(ReadBuffer, KeepsPollingAndResumesAfterAnEmptyRead) {
  const Stream stream = MakeStream(4, kPlainPacketSize);
  const Bytes first(stream.bytes.begin(), stream.bytes.begin() + 2 * 188 + 50);
  const Bytes rest(stream.bytes.begin() + 2 * 188 + 50, stream.bytes.end());
  ReadBuffer buffer;
  buffer.capacity = 48128;
  MemorySource source(first);
  EXPECT_EQ(ReadAll(buffer, source, stream.bytes).positions,
            (std::vector<std::uint64_t>{0, 188}));
  const int readsBefore = source.reads;
  EXPECT_FALSE(NextPacket(buffer, source).HasPacket());
  EXPECT_FALSE(NextPacket(buffer, source).HasPacket());
  EXPECT_EQ(source.reads, readsBefore + 2);
  source.Append(rest);
  EXPECT_EQ(ReadAll(buffer, source, stream.bytes).positions,
            (std::vector<std::uint64_t>{376, 564}));
}

// Payload bytes equal to 0x47 never disturb a stream that is in sync.
TEST(ReadBuffer, SyncBytesInsidePayloadDoNotMatterInSync) {
  Stream stream = MakeStream(50, kPlainPacketSize);
  for (std::size_t i = 0; i < stream.bytes.size(); ++i) {
    if (i % 188 != 0 && i % 5 == 0) stream.bytes[i] = kSyncByte;
  }
  const Seen seen = ReadStream(stream.bytes, 384, {1, 7, 191});
  EXPECT_EQ(seen.positions, stream.syncs);
}

TEST(ReadBuffer, RandomChunkingsDeliverEveryPacket) {
  std::mt19937 random(20240517u);
  for (int round = 0; round < 40; ++round) {
    const std::uint32_t frame = round % 2 == 0 ? kPlainPacketSize : kFramedPacketSize;
    Bytes lead(random() % 300);
    for (auto& b : lead) b = static_cast<std::uint8_t>(random() % 0x47);
    Stream stream = MakeStream(200 + random() % 300, frame, lead);
    if (random() % 2 == 0) stream.bytes.resize(stream.bytes.size() + random() % 4);
    std::vector<std::uint32_t> chunks(17);
    for (auto& c : chunks) c = 1 + random() % 900;
    const std::uint32_t capacities[] = {188, 384, 385, 777, 48128};
    const std::uint32_t capacity = capacities[random() % 5];
    const Seen seen = ReadStream(stream.bytes, capacity, chunks, round % 4 < 2);
    EXPECT_EQ(seen.positions, stream.syncs) << "round " << round;
    EXPECT_EQ(seen.last, PacketStatus::SourceEnded);
  }
}

// Recorded streams from outside the repository; without them this skips.
Bytes ReadSample(const std::string& path) {
  std::ifstream in(std::string(KESTRUN_SAMPLES_DIR) + "/" + path, std::ios::binary);
  if (!in) return {};
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// recording                        | framing | packets
// exiftool/t/images/M2TS.mts       | 192     | 7
// tsduck-test/input/test-064.ts    | 188     | 10888
TEST(ReadBuffer, RecordedStreamsInAnyChunking) {
  struct Case {
    const char* path;
    std::uint32_t frame;
    std::size_t packets;
  };
  const Case cases[] = {{"exiftool/t/images/M2TS.mts", kFramedPacketSize, 7},
                        {"tsduck-test/input/test-064.ts", kPlainPacketSize, 10888}};
  for (const Case& c : cases) {
    const Bytes bytes = ReadSample(c.path);
    if (bytes.empty()) GTEST_SKIP() << "sample stream not found: " << KESTRUN_SAMPLES_DIR << "/" << c.path;
    const std::uint64_t first = c.frame - kPlainPacketSize;
    std::vector<std::uint64_t> syncs;
    for (std::size_t i = 0; i < c.packets; ++i) syncs.push_back(first + i * c.frame);
    for (const auto& chunks : std::vector<std::vector<std::uint32_t>>{{0}, {189, 191, 4097}}) {
      for (std::uint32_t capacity : {384u, 48128u}) {
        EXPECT_EQ(ReadStream(bytes, capacity, chunks).positions, syncs)
            << c.path << " capacity " << capacity;
      }
    }
  }
}

}  // namespace
}  // namespace kestrun
