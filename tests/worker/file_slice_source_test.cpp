#include "worker/file_slice_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/stream_builder.h"
#include "support/temp_dir.h"
#include "worker/read_buffer.h"
#include "worker/source.h"

namespace kestrun {
namespace {

using testing::TempDir;

struct FileStream {
  std::string bytes;
  std::vector<std::uint64_t> syncs;
};

// `packets` clean packets, each behind a 4-byte prefix when `frame` is 192,
// then the first `trailer` bytes of a packet that was cut off.
FileStream MakeFileStream(int packets, std::uint32_t frame, std::size_t trailer) {
  FileStream stream;
  const std::string plain = testing::CleanPackets(0x100, packets);
  for (int i = 0; i < packets; ++i) {
    if (frame == kFramedPacketSize) stream.bytes.append("\x01\x02\x03\x04", 4);
    stream.syncs.push_back(stream.bytes.size());
    stream.bytes.append(plain, static_cast<std::size_t>(i) * kPlainPacketSize, kPlainPacketSize);
  }
  stream.bytes.append(std::string(testing::CleanPackets(0x100, 1), 0, trailer));
  return stream;
}

// Passes on read calls only, as a wrapper that knows nothing of slices.
class ReadsOnly final : public ByteSource {
 public:
  explicit ReadsOnly(ByteSource& inner) : inner_(inner) {}
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    return inner_.Read(destination, room);
  }

 private:
  ByteSource& inner_;
};

struct Outcome {
  std::vector<std::uint64_t> positions;  // in the file
  PacketStatus last = PacketStatus::Packet;
};

// Checks the file from `startOffset` as the worker does, comparing every
// packet with the file's bytes at its reported position.
Outcome ReadFileAhead(const std::string& path, const std::string& bytes, std::uint32_t capacity,
                      std::int64_t startOffset, bool readsOnly = false) {
  Outcome outcome;
  platform::FileHandle handle = platform::OpenFileForRead(path);
  EXPECT_TRUE(handle.valid());
  const std::int64_t start = ApplyStartOffset(handle, startOffset).value_or(0);
  {
    FileSliceSource lender(handle, capacity);
    ReadsOnly copier(lender);
    ByteSource& source = readsOnly ? static_cast<ByteSource&>(copier) : lender;
    ReadBuffer buffer;
    buffer.capacity = capacity;
    for (PacketResult next = NextPacket(buffer, source); next.HasPacket();
         next = NextPacket(buffer, source)) {
      const std::uint64_t at = static_cast<std::uint64_t>(start) + next.position;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(next.packet), kPlainPacketSize),
                bytes.substr(at, kPlainPacketSize))
          << "at " << at;
      outcome.positions.push_back(at);
      outcome.last = next.status;
    }
    outcome.last = NextPacket(buffer, source).status;
  }
  platform::CloseFile(handle);
  return outcome;
}

// capacity -> slice size: every slice boundary falls inside some packet of
// either framing, and the file ends inside a slice.
//   48128 (program's smallest) -> 36864      384 (test only) -> 192
//   1 MiB, default, 2 GiB      -> 512 KiB
// start offsets: 0, 1000 (inside a packet), -189 (the last packet)
TEST(FileSliceSource, DeliversEveryPacketAcrossSlices) {
  struct Case {
    std::uint32_t capacity;
    std::uint32_t slice;
    int packets;
  };
  const Case cases[] = {{384, 192, 60},
                        {48128, 36864, 500},
                        {1u << 20, kFileSliceSize, 6000},
                        {kDefaultReadBufferSize, kFileSliceSize, 6000},
                        {0x80000000u, kFileSliceSize, 3000}};
  TempDir dir;
  for (const Case& c : cases) {
    EXPECT_EQ(FileSliceSource(platform::FileHandle(), c.capacity).SliceSize(), c.slice);
    for (std::uint32_t frame : {kPlainPacketSize, kFramedPacketSize}) {
      const FileStream stream = MakeFileStream(c.packets, frame, 100);
      const std::string path = dir.Write("s.ts", stream.bytes);
      for (std::int64_t offset : {0, 1000, -189 - 100}) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity) + " frame " + std::to_string(frame) +
                     " offset " + std::to_string(offset));
        const std::uint64_t from =
            offset >= 0 ? static_cast<std::uint64_t>(offset) : stream.bytes.size() + offset + 1;
        std::vector<std::uint64_t> expected;
        for (std::uint64_t sync : stream.syncs) {
          if (sync >= from) expected.push_back(sync);
        }
        const Outcome outcome = ReadFileAhead(path, stream.bytes, c.capacity, offset);
        EXPECT_EQ(outcome.positions, expected);
        EXPECT_EQ(outcome.last, PacketStatus::SourceEnded);
        if (c.capacity == kMinimumReadBufferSize) {
          EXPECT_EQ(ReadFileAhead(path, stream.bytes, c.capacity, offset, true).positions, expected);
        }
      }
    }
  }
}

// Once the file has ended (or a read failed), every later call says so
// again without reading.
TEST(FileSliceSource, EndAndFailureAreFinal) {
  TempDir dir;
  const std::string path = dir.Write("s.ts", testing::CleanPackets(0x100, 3));
  platform::FileHandle handle = platform::OpenFileForRead(path);
  {
    FileSliceSource source(handle, kMinimumReadBufferSize);
    EXPECT_EQ(source.NextSlice().count, 3 * kPlainPacketSize);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(source.NextSlice().status, SliceStatus::Ended);
  }
  platform::CloseFile(handle);

  // A read on a folder fails.
  const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  {
    FileSliceSource source(platform::FileHandle(folder), kMinimumReadBufferSize);
    ReadBuffer buffer;
    buffer.capacity = kMinimumReadBufferSize;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(NextPacket(buffer, source).status, PacketStatus::SourceFailed);
  }
  ::close(folder);
}

// Every read lands at the page offset of the file position it starts from,
// whatever the offset reading began at.
TEST(FileSliceSource, SlicesStartAtThePageOffsetOfTheirFilePosition) {
  TempDir dir;
  const std::string path = dir.Write("s.ts", testing::CleanPackets(0x100, 6000));
  for (std::int64_t start : {0, 1000, 4095 + 4096}) {
    platform::FileHandle handle = platform::OpenFileForRead(path);
    ASSERT_EQ(ApplyStartOffset(handle, start), start);
    {
      FileSliceSource source(handle, kDefaultReadBufferSize);
      std::uint64_t position = static_cast<std::uint64_t>(start);
      for (LentSlice slice = source.NextSlice(); slice.status == SliceStatus::Ready;
           slice = source.NextSlice()) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(slice.data) % 4096, position % 4096) << start;
        position += slice.count;
      }
      EXPECT_EQ(position, 6000u * kPlainPacketSize);
    }
    platform::CloseFile(handle);
  }
}

}  // namespace
}  // namespace kestrun
