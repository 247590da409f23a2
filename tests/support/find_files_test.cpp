#include "support/find_files.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrun {
namespace {

namespace fs = std::filesystem;

class FindFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = (fs::temp_directory_path() /
               ("kestrun_find_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                  .string();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    FreeChain(chain_);
    fs::remove_all(folder_);
  }

  static void Touch(const std::string& path, std::size_t size = 0) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  std::string In(const std::string& name) const { return folder_ + "/" + name; }

  // A folder below ours whose path is exactly `length` bytes long.
  std::string FolderOfLength(std::size_t length) const {
    std::string path = folder_;
    while (path.size() < length) {
      const std::size_t room = length - path.size() - 1;  // after the separator
      std::size_t chunk = std::min<std::size_t>(room, 100);
      if (room - chunk == 1) --chunk;  // never leave a single byte for the next level
      path += "/" + std::string(chunk, 'd');
    }
    EXPECT_EQ(path.size(), length);
    fs::create_directories(path);
    return path;
  }

  std::vector<std::string> ChainPaths() const {
    std::vector<std::string> paths;
    for (const CFindFileInfo* record = chain_; record != nullptr; record = record->next) {
      paths.push_back(record->path);
    }
    return paths;
  }

  std::string folder_;
  CFindFileInfo* chain_ = nullptr;
};

TEST_F(FindFilesTest, RecordsCarryFullPathSizeAndTime) {
  Touch(In("a.txt"), 1234);
  FindFiles(folder_, "a.txt", chain_);
  ASSERT_NE(chain_, nullptr);
  EXPECT_EQ(chain_->path, In("a.txt"));
  EXPECT_EQ(chain_->size, 1234u);
  EXPECT_GT(chain_->lastWriteTime, 116444736000000000ull);  // after 1970
  EXPECT_EQ(chain_->reserved, -1);
  EXPECT_EQ(chain_->next, nullptr);
}

// Patterns are searched in order and each record goes to the head, so the
// chain runs backwards; a trailing separator on the folder is dropped.
TEST_F(FindFilesTest, ChainRunsInReverseOfDiscovery) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) Touch(In(name));
  FindFiles(folder_ + "/", ";a.txt;;b.txt;c.txt;", chain_);
  EXPECT_EQ(ChainPaths(), (std::vector<std::string>{In("c.txt"), In("b.txt"), In("a.txt")}));
}

TEST_F(FindFilesTest, AppendsToTheChainItIsGiven) {
  Touch(In("a.txt"));
  Touch(In("b.txt"));
  FindFiles(folder_, "a.txt", chain_);
  FindFiles(folder_, "b.txt", chain_);
  EXPECT_EQ(ChainPaths(), (std::vector<std::string>{In("b.txt"), In("a.txt")}));
}

TEST_F(FindFilesTest, SkipsDotEntriesAndFolders) {
  Touch(In(".hidden"));
  fs::create_directory(In(".dotfolder"));
  fs::create_directory(In("folder"));
  FindFiles(folder_, ".*", chain_);
  EXPECT_EQ(ChainPaths(), std::vector<std::string>{In(".hidden")});
}

// Lengths in bytes: folder < 260, pattern list < 260, together < 260.
TEST_F(FindFilesTest, RefusesLongArguments) {
  const std::string at258 = FolderOfLength(258);
  Touch(at258 + "/f");
  FindFiles(at258, "f", chain_);  // 259 in all: searched
  // The record path is 260 bytes and kept whole, so it names the real file.
  EXPECT_EQ(ChainPaths(), std::vector<std::string>{at258 + "/f"});
  FreeChain(chain_);

  FindFiles(at258, "f;", chain_);  // 260 in all
  EXPECT_EQ(chain_, nullptr);

  const std::string at260 = FolderOfLength(260);
  Touch(at260 + "/f");
  FindFiles(at260, "f", chain_);
  EXPECT_EQ(chain_, nullptr);

  FindFiles(folder_, "", chain_);
  FindFiles("", "*", chain_);
  FindFiles("f", std::string(259, ';') + "*", chain_);
  EXPECT_EQ(chain_, nullptr);
}

TEST_F(FindFilesTest, MissingFolderGivesNothing) {
  FindFiles(In("missing"), "*", chain_);
  EXPECT_EQ(chain_, nullptr);
}

// name                          kind                      after the clean-up
// ZIZ1A2B.tmp, ZIZ0001.tmp.bak  files                     deleted
// ZIZabcd.tmp                   file                      deleted
// ZIZ9A9A.tmp                   folder (with ZIZ0002.tmp) kept, contents kept
// XZIZ1234.tmp, ZIZ123.tmp,     files                     kept
// ZIZ12345.tmp, zIZ1234.tmp,
// ZIZ1234.tm, ZIZ1234_tmp
TEST_F(FindFilesTest, DeleteTempLeftoversRemovesOnlyMatchingFiles) {
  const std::vector<std::string> doomed = {"ZIZ1A2B.tmp", "ZIZ0001.tmp.bak", "ZIZabcd.tmp"};
  const std::vector<std::string> spared = {"XZIZ1234.tmp", "ZIZ123.tmp",  "ZIZ12345.tmp",
                                           "zIZ1234.tmp",  "ZIZ1234.tm", "ZIZ1234_tmp"};
  for (const std::string& name : doomed) Touch(In(name));
  for (const std::string& name : spared) Touch(In(name));
  fs::create_directory(In("ZIZ9A9A.tmp"));
  Touch(In("ZIZ9A9A.tmp/ZIZ0002.tmp"));

  DeleteTempLeftovers(folder_ + "/");

  for (const std::string& name : doomed) EXPECT_FALSE(fs::exists(In(name))) << name;
  for (const std::string& name : spared) EXPECT_TRUE(fs::exists(In(name))) << name;
  EXPECT_TRUE(fs::is_directory(In("ZIZ9A9A.tmp")));
  EXPECT_TRUE(fs::exists(In("ZIZ9A9A.tmp/ZIZ0002.tmp")));
}

TEST_F(FindFilesTest, DeleteTempLeftoversLeavesALongFolderAlone) {
  // 248 bytes of folder and 12 of pattern reach 260: not searched at all.
  const std::string folder = FolderOfLength(247) + "/";
  Touch(folder + "ZIZ1A2B.tmp");
  DeleteTempLeftovers(folder);
  EXPECT_TRUE(fs::exists(folder + "ZIZ1A2B.tmp"));

  const std::string shorter = FolderOfLength(246) + "/";  // 247 + 12 = 259
  Touch(shorter + "ZIZ1A2B.tmp");
  DeleteTempLeftovers(shorter);
  EXPECT_FALSE(fs::exists(shorter + "ZIZ1A2B.tmp"));
}

}  // namespace
}  // namespace kestrun
