#include "worker/regular_file_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_view.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"
#include "worker/counting_byte_source.h"
#include "worker/live_job.h"
#include "worker/parking_byte_source.h"
#include "worker/read_buffer.h"
#include "worker/source.h"

namespace kestrun {
namespace {

using testing::TempDir;

// Two view units: the smallest window, so that window edges fall inside
// packets of both framings all through a small file.
const std::uint32_t kSmallWindow = 2 * platform::ViewAlignment();
// The read slice at the smallest read buffer (36 KiB).
constexpr std::uint32_t kCapacity = kMinimumReadBufferSize;

struct FileStream {
  std::string bytes;
  std::vector<std::uint64_t> syncs;
};

// `packets` clean packets (behind a 4-byte prefix when `frame` is 192), with
// `garbage` bytes (a lone sync byte, then zeros) put in at the first packet
// boundary at or past `garbageAt`, then the first `trailer` bytes of a
// packet that was cut off.
FileStream MakeStream(int packets, std::uint32_t frame, std::size_t garbageAt, std::size_t garbage,
                      std::size_t trailer) {
  FileStream stream;
  const std::string plain = testing::CleanPackets(0x100, packets + 1);
  for (int i = 0; i < packets; ++i) {
    if (garbage > 0 && stream.bytes.size() >= garbageAt) {
      stream.bytes += '\x47' + std::string(garbage - 1, '\0');
      garbage = 0;
    }
    if (frame == kFramedPacketSize) stream.bytes.append("\x01\x02\x03\x04", 4);
    stream.syncs.push_back(stream.bytes.size());
    stream.bytes.append(plain, static_cast<std::size_t>(i) * kPlainPacketSize, kPlainPacketSize);
  }
  stream.bytes.append(plain, static_cast<std::size_t>(packets) * kPlainPacketSize, trailer);
  return stream;
}

// Passes slices on and notes how each came: 'v' a view (its tail in front),
// 'r' a read slice.
class WayRecorder final : public ByteSource {
 public:
  WayRecorder(ByteSource& inner, std::string& ways) : inner_(inner), ways_(ways) {}
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    return inner_.Read(destination, room);
  }
  bool LendsSlices() const override { return true; }
  LentSlice NextSlice() override { return NextSliceKeeping(0); }
  LentSlice NextSliceKeeping(std::uint32_t keep) override {
    const LentSlice slice = inner_.NextSliceKeeping(keep);
    if (slice.status == SliceStatus::Ready) ways_ += slice.tailInFront ? 'v' : 'r';
    return slice;
  }

 private:
  ByteSource& inner_;
  std::string& ways_;
};

// Every slice costs the same: per byte, the way with the larger slices is
// the cheaper.
std::uint64_t StepClock() {
  static std::uint64_t now = 0;
  return now += 1000;
}

struct Reading {
  std::vector<std::uint64_t> syncs;  // file positions of the packets delivered
  PacketStatus end = PacketStatus::Packet;
  std::string ways;
};

// Checks the file from `startOffset` as the worker does, comparing every
// packet with the file's bytes at its position. `wrapped`: through the
// wrappers the worker puts around a source (its byte count, and the parking
// of a job reported on while it runs), which must pass everything on.
Reading ReadWith(const std::string& path, const std::string& bytes, std::int64_t startOffset,
                 FileAccess access, std::uint32_t window = kSmallWindow, bool wrapped = false) {
  Reading reading;
  platform::FileHandle handle = platform::OpenFileForRead(path);
  EXPECT_TRUE(handle.valid());
  const std::int64_t start = ApplyStartOffset(handle, startOffset).value_or(0);
  {
    RegularFileSource source(handle, kCapacity, access, window, StepClock);
    std::uint64_t counted = 0;
    LiveJob live;
    std::unique_ptr<ByteSource> reader = std::make_unique<WayRecorder>(source, reading.ways);
    if (wrapped) {
      reader = std::make_unique<CountingByteSource>(std::move(reader), counted);
      reader = std::make_unique<ParkingByteSource>(std::move(reader), live);
    }
    ByteSource& recorder = *reader;
    ReadBuffer buffer;
    buffer.capacity = kCapacity;
    PacketResult next = NextPacket(buffer, recorder);
    for (; next.HasPacket(); next = NextPacket(buffer, recorder)) {
      const std::uint64_t at = static_cast<std::uint64_t>(start) + next.position;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(next.packet), kPlainPacketSize),
                bytes.substr(at, kPlainPacketSize))
          << "at " << at;
      reading.syncs.push_back(at);
    }
    reading.end = next.status;
  }
  platform::CloseFile(handle);
  return reading;
}

std::vector<std::uint64_t> SyncsFrom(const FileStream& stream, std::int64_t offset) {
  const std::uint64_t from =
      offset >= 0 ? static_cast<std::uint64_t>(offset) : stream.bytes.size() + offset + 1;
  std::vector<std::uint64_t> syncs;
  for (std::uint64_t sync : stream.syncs) {
    if (sync >= from) syncs.push_back(sync);
  }
  return syncs;
}

// Views and read slices give the reader the same packets at the same
// positions: window edges inside 188- and 192-byte packets, an unjudged
// sync byte in garbage across the first window edge, start offsets off the
// page size either way, files smaller than a page and empty.
TEST(RegularFileSource, ViewsAndReadsDeliverTheSamePackets) {
  struct Case {
    const char* name;
    FileStream stream;
  };
  const std::size_t edge = kSmallWindow;
  const Case cases[] = {
      {"188 across windows", MakeStream(200, kPlainPacketSize, 0, 0, 100)},
      {"192 across windows", MakeStream(200, kFramedPacketSize, 0, 0, 100)},
      {"garbage across a window edge", MakeStream(200, kPlainPacketSize, edge - 200, 300, 0)},
      {"smaller than a page", MakeStream(3, kPlainPacketSize, 0, 0, 10)},
      {"empty", MakeStream(0, kPlainPacketSize, 0, 0, 0)},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.Write("s.ts", c.stream.bytes);
    for (std::int64_t offset : {0, 1000, 10000, -289}) {
      SCOPED_TRACE(std::string(c.name) + ", offset " + std::to_string(offset));
      const std::vector<std::uint64_t> expected = SyncsFrom(c.stream, offset);
      const Reading viewed = ReadWith(path, c.stream.bytes, offset, FileAccess::Views);
      const Reading read = ReadWith(path, c.stream.bytes, offset, FileAccess::Reads);
      const Reading wrapped = ReadWith(path, c.stream.bytes, offset, FileAccess::Views, kSmallWindow, true);
      EXPECT_EQ(wrapped.syncs, expected);
      EXPECT_EQ(viewed.syncs, expected);
      EXPECT_EQ(read.syncs, expected);
      EXPECT_EQ(viewed.end, PacketStatus::SourceEnded);
      EXPECT_EQ(read.end, PacketStatus::SourceEnded);
      EXPECT_EQ(viewed.ways.find('r'), std::string::npos) << viewed.ways;
      EXPECT_EQ(read.ways.find('v'), std::string::npos) << read.ways;
    }
  }
}

// Left to measure, the source reads the first window through a view, as
// many bytes again through reads, then the rest the cheaper way; the
// packets are the same whichever it takes.
TEST(RegularFileSource, MeasuredAccessTriesBothWaysThenReadsTheCheaper) {
  const FileStream stream = MakeStream(1500, kFramedPacketSize, 0, 0, 50);
  TempDir dir;
  const std::string path = dir.Write("s.ts", stream.bytes);
  const Reading small = ReadWith(path, stream.bytes, 1000, FileAccess::Measured, kSmallWindow);
  const Reading large = ReadWith(path, stream.bytes, 1000, FileAccess::Measured, 64u << 10);
  EXPECT_EQ(small.syncs, SyncsFrom(stream, 1000));
  EXPECT_EQ(large.syncs, SyncsFrom(stream, 1000));
  // 8 KiB views cost more per byte than 36 KiB read slices, 64 KiB ones less.
  EXPECT_EQ(small.ways, "v" + std::string(small.ways.size() - 1, 'r'));
  EXPECT_EQ(large.ways, "vrr" + std::string(large.ways.size() - 3, 'v'));
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

// A file that grows while it is read is read to the end it has when the
// reader gets there, and on again when it grows after the reader met its
// end (a reader that keeps following it).
TEST(RegularFileSource, AFileThatGrowsIsReadOn) {
  TempDir dir;
  const std::string packets = testing::CleanPackets(0x100, 90);
  const std::string path = dir.Write("s.ts", packets.substr(0, 30 * kPlainPacketSize));
  platform::FileHandle handle = platform::OpenFileForRead(path);
  {
    RegularFileSource source(handle, kCapacity, FileAccess::Views, kSmallWindow);
    ReadBuffer buffer;
    buffer.capacity = kCapacity;
    std::uint64_t expected = 0;
    const auto readAll = [&] {
      PacketResult next = NextPacket(buffer, source);
      for (; next.HasPacket(); next = NextPacket(buffer, source)) {
        EXPECT_EQ(next.position, expected);
        EXPECT_EQ(static_cast<std::uint64_t>(next.packet[3] & 0x0F), (expected / kPlainPacketSize) % 16);
        expected += kPlainPacketSize;
        if (expected == 10 * kPlainPacketSize) {
          Append(path, packets.substr(30 * kPlainPacketSize, 30 * kPlainPacketSize));
        }
      }
      EXPECT_EQ(next.status, PacketStatus::SourceEnded);
    };
    readAll();
    EXPECT_EQ(expected, 60u * kPlainPacketSize);
    Append(path, packets.substr(60 * kPlainPacketSize));
    readAll();
    EXPECT_EQ(expected, 90u * kPlainPacketSize);
  }
  platform::CloseFile(handle);
}

// Where no view can be had, read calls take over: a file whose size shows
// nothing of its contents, and one that cannot be mapped (a folder, whose
// read then fails as it would anyway).
TEST(RegularFileSource, WhereNoViewCanBeHadReadsTakeOver) {
  std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
  const std::string expected{std::istreambuf_iterator<char>(cmdline), std::istreambuf_iterator<char>()};
  platform::FileHandle handle = platform::OpenFileForRead("/proc/self/cmdline");
  ASSERT_TRUE(handle.valid());
  ASSERT_EQ(platform::FileSizeOf(handle), 0);
  {
    RegularFileSource source(handle, kCapacity, FileAccess::Views);
    std::string got(expected.size() + 10, '\0');
    const SourceRead read =
        source.Read(reinterpret_cast<std::uint8_t*>(got.data()), static_cast<std::uint32_t>(got.size()));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(got.substr(0, read.count), expected);
  }
  platform::CloseFile(handle);

  TempDir dir;
  const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  {
    RegularFileSource source(platform::FileHandle(folder), kCapacity, FileAccess::Views);
    ReadBuffer buffer;
    buffer.capacity = kCapacity;
    EXPECT_EQ(source.NextSlice().status, SliceStatus::Failed);
  }
  ::close(folder);
}

struct TruncatingRead {
  ByteSource& source;
  ReadBuffer& buffer;
  int writer;  // cuts the file through this once a packet at cutWhen is read
  std::uint64_t cutWhen;
  std::uint64_t cutTo;
  std::uint64_t lastPacket = 0;
};

void ReadTruncating(void* argument) {
  TruncatingRead& run = *static_cast<TruncatingRead*>(argument);
  for (PacketResult next = NextPacket(run.buffer, run.source); next.HasPacket();
       next = NextPacket(run.buffer, run.source)) {
    run.lastPacket = next.position;
    if (run.writer >= 0 && next.position >= run.cutWhen) {
      EXPECT_EQ(::ftruncate(run.writer, static_cast<off_t>(run.cutTo)), 0);
      run.writer = -1;
    }
  }
}

// A file cut short under the view being read: the guard ends the read at
// the first touch past the new end, the bytes from there on are not
// counted as read, and the source fails from then on.
TEST(RegularFileSource, ACutUnderTheViewEndsTheReadAtTheFault) {
  TempDir dir;
  const std::string path = dir.Write("s.ts", testing::CleanPackets(0x100, 400));
  platform::FileHandle handle = platform::OpenFileForRead(path);
  const int writer = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  std::uint64_t bytes = 0;
  {
    auto views = std::make_unique<RegularFileSource>(handle, kCapacity, FileAccess::Views, 64u << 10);
    CountingByteSource source(std::move(views), bytes);
    ReadBuffer buffer;
    buffer.capacity = kCapacity;
    TruncatingRead run{source, buffer, writer, 20000, 4096};
    const platform::GuardedRun guarded = platform::RunGuardingViews(ReadTruncating, &run);
    ASSERT_TRUE(guarded.faulted);
    EXPECT_GE(run.lastPacket, 20000u);
    EXPECT_EQ(bytes, 64u << 10);  // the whole window was lent
    source.EndAtFault(guarded.faultAddress);
    EXPECT_GT(bytes, run.lastPacket);
    EXPECT_LE(bytes, run.lastPacket + 2 * kFramedPacketSize);
    EXPECT_EQ(source.NextSlice().status, SliceStatus::Failed);
  }
  ::close(writer);
  platform::CloseFile(handle);
}

}  // namespace
}  // namespace kestrun
