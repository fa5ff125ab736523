// Registry keys and values: natively the in-memory stand-in, under Wine the
// real registry.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>

namespace {

using platform::RegKey;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

constexpr RegRoot kRoot = RegRoot::CurrentUser;
const std::string kArea = "\\Software\\OrvikPlatformTests";

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { platform::RegDeleteKeyTree(kRoot, kArea); }
  void TearDown() override { platform::RegDeleteKeyTree(kRoot, kArea); }
};

TEST_F(RegistryTest, MissingKeysDoNotOpen) {
  RegKey key;
  EXPECT_FALSE(key.Open(kRoot, kArea + "\\Missing", false));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(platform::RegKeyExists(kRoot, kArea + "\\Missing"));
  EXPECT_FALSE(platform::RegKeyExists(kRoot, kArea));  // not made by looking
  RegValue v;
  EXPECT_FALSE(key.ReadValue("x", v));
  EXPECT_FALSE(key.WriteString("x", "y"));
}

TEST_F(RegistryTest, CreateMakesParentsAndNamesIgnoreCase) {
  RegKey key;
  ASSERT_TRUE(key.Open(kRoot, kArea + "\\Orvik Mail Server\\Deep\\Er", true));
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(platform::RegKeyExists(kRoot, kArea));
  EXPECT_TRUE(platform::RegKeyExists(kRoot, kArea + "\\Orvik Mail Server\\Deep"));
  // With or without the leading "\", in any case.
  EXPECT_TRUE(platform::RegKeyExists(kRoot, "SOFTWARE\\orvikplatformtests\\ORVIK MAIL SERVER"));
  ASSERT_TRUE(key.WriteString("InstallDir", "C:\\Orvik\\"));

  RegKey again;
  ASSERT_TRUE(
      again.Open(kRoot, "software\\ORVIKPLATFORMTESTS\\orvik mail server\\DEEP\\er", false));
  RegValue v;
  ASSERT_TRUE(again.ReadValue("INSTALLDIR", v));
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.data, "C:\\Orvik\\");
  // Opening with create an existing key keeps its values.
  ASSERT_TRUE(again.Open(kRoot, kArea + "\\Orvik Mail Server\\Deep\\Er", true));
  EXPECT_TRUE(again.ReadValue("installdir", v));
}

TEST_F(RegistryTest, ValueTypesRoundTrip) {
  RegKey key;
  ASSERT_TRUE(key.Open(kRoot, kArea, true));
  const std::string accented = "Caf\xe9 \xff";  // é and ÿ in the ANSI code page
  const std::string binary("\x00\x01\xff\x7f\x00", 5);
  ASSERT_TRUE(key.WriteString("Text", accented));
  ASSERT_TRUE(key.WriteString("Empty", ""));
  ASSERT_TRUE(key.WriteExpandString("Path", "%SystemRoot%\\x"));
  ASSERT_TRUE(key.WriteDWord("Zero", 0));
  ASSERT_TRUE(key.WriteDWord("Max", 0xFFFFFFFFu));
  ASSERT_TRUE(key.WriteDWord("Mixed", 0x12345678u));
  ASSERT_TRUE(key.WriteBinary("Blob", binary));
  ASSERT_TRUE(key.WriteBinary("NoBytes", ""));
  ASSERT_TRUE(key.WriteString("", "default value"));

  RegValue v;
  ASSERT_TRUE(key.ReadValue("Text", v));
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.data, accented);
  ASSERT_TRUE(key.ReadValue("Empty", v));
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.data, "");
  ASSERT_TRUE(key.ReadValue("Path", v));
  EXPECT_EQ(v.type, RegType::ExpandString);
  EXPECT_EQ(v.data, "%SystemRoot%\\x");
  ASSERT_TRUE(key.ReadValue("Zero", v));
  EXPECT_EQ(v.type, RegType::DWord);
  EXPECT_EQ(v.dword, 0u);
  ASSERT_TRUE(key.ReadValue("Max", v));
  EXPECT_EQ(v.dword, 0xFFFFFFFFu);
  ASSERT_TRUE(key.ReadValue("Mixed", v));
  EXPECT_EQ(v.dword, 0x12345678u);
  EXPECT_EQ(v.data, std::string("\x78\x56\x34\x12", 4));  // little-endian bytes
  ASSERT_TRUE(key.ReadValue("Blob", v));
  EXPECT_EQ(v.type, RegType::Binary);
  EXPECT_EQ(v.data, binary);
  ASSERT_TRUE(key.ReadValue("NoBytes", v));
  EXPECT_EQ(v.type, RegType::Binary);
  EXPECT_EQ(v.data, "");
  ASSERT_TRUE(key.ReadValue("", v));
  EXPECT_EQ(v.data, "default value");

  EXPECT_FALSE(key.ReadValue("Missing", v));
}

TEST_F(RegistryTest, WritingAnotherTypeReplacesTheValue) {
  RegKey key;
  ASSERT_TRUE(key.Open(kRoot, kArea, true));
  ASSERT_TRUE(key.WriteDWord("Flag", 1));
  ASSERT_TRUE(key.WriteString("FLAG", "1"));
  RegValue v;
  ASSERT_TRUE(key.ReadValue("flag", v));
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.data, "1");
  std::vector<std::string> names;
  ASSERT_TRUE(key.ValueNames(names));
  EXPECT_EQ(names.size(), 1u);
}

TEST_F(RegistryTest, ValueAndSubkeyNames) {
  RegKey key;
  ASSERT_TRUE(key.Open(kRoot, kArea, true));
  ASSERT_TRUE(key.WriteString("Version", "8.9.1"));
  ASSERT_TRUE(key.WriteDWord("NoInstallAV", 1));
  ASSERT_TRUE(key.WriteString("", "default"));
  for (const char* sub : {"Beta", "alpha", "Gamma"}) {
    RegKey child;
    ASSERT_TRUE(child.Open(kRoot, kArea + "\\" + sub, true));
  }
  std::vector<std::string> names;
  ASSERT_TRUE(key.ValueNames(names));
  EXPECT_EQ(Sorted(names), (std::vector<std::string>{"", "NoInstallAV", "Version"}));
  ASSERT_TRUE(key.SubKeyNames(names));
  EXPECT_EQ(Sorted(names), (std::vector<std::string>{"Beta", "Gamma", "alpha"}));

  EXPECT_TRUE(key.DeleteValue("VERSION"));
  EXPECT_FALSE(key.DeleteValue("Version"));
  ASSERT_TRUE(key.ValueNames(names));
  EXPECT_EQ(Sorted(names), (std::vector<std::string>{"", "NoInstallAV"}));

  RegKey leaf;
  ASSERT_TRUE(leaf.Open(kRoot, kArea + "\\alpha", false));
  ASSERT_TRUE(leaf.ValueNames(names));
  EXPECT_TRUE(names.empty());
  ASSERT_TRUE(leaf.SubKeyNames(names));
  EXPECT_TRUE(names.empty());
}

TEST_F(RegistryTest, DeleteTreeRemovesSubkeysAndValues) {
  {
    RegKey key;
    ASSERT_TRUE(key.Open(kRoot, kArea + "\\Uninstall\\Orvik\\Inner", true));
    ASSERT_TRUE(key.WriteString("DisplayName", "Orvik"));
    RegKey sibling;
    ASSERT_TRUE(sibling.Open(kRoot, kArea + "\\Keep", true));
  }
  EXPECT_TRUE(platform::RegDeleteKeyTree(kRoot, "SOFTWARE\\OrvikPlatformTests\\uninstall"));
  EXPECT_FALSE(platform::RegKeyExists(kRoot, kArea + "\\Uninstall"));
  EXPECT_FALSE(platform::RegKeyExists(kRoot, kArea + "\\Uninstall\\Orvik\\Inner"));
  EXPECT_TRUE(platform::RegKeyExists(kRoot, kArea + "\\Keep"));
  EXPECT_FALSE(platform::RegDeleteKeyTree(kRoot, kArea + "\\Uninstall"));  // already gone
  // A whole root key is never emptied.
  EXPECT_FALSE(platform::RegDeleteKeyTree(kRoot, ""));
  EXPECT_FALSE(platform::RegDeleteKeyTree(kRoot, "\\"));
  EXPECT_TRUE(platform::RegKeyExists(kRoot, kArea + "\\Keep"));
}

TEST_F(RegistryTest, AnOpenKeyDeletedMeanwhileFails) {
  RegKey key;
  ASSERT_TRUE(key.Open(kRoot, kArea + "\\Doomed", true));
  ASSERT_TRUE(key.WriteString("Value", "v"));
  RegValue v;
  ASSERT_TRUE(key.ReadValue("Value", v));
  ASSERT_TRUE(platform::RegDeleteKeyTree(kRoot, kArea + "\\Doomed"));
  EXPECT_FALSE(key.ReadValue("Value", v));
  EXPECT_FALSE(key.WriteString("Value", "again"));
  std::vector<std::string> names;
  EXPECT_FALSE(key.ValueNames(names));
  // A new key of the same name is another key.
  RegKey fresh;
  ASSERT_TRUE(fresh.Open(kRoot, kArea + "\\Doomed", true));
  EXPECT_FALSE(fresh.ReadValue("Value", v));
  EXPECT_FALSE(key.ReadValue("Value", v));
}

TEST_F(RegistryTest, TwoHandlesSeeTheSameKey) {
  RegKey writer, reader;
  ASSERT_TRUE(writer.Open(kRoot, kArea + "\\Shared", true));
  ASSERT_TRUE(reader.Open(kRoot, kArea + "\\Shared", false));
  ASSERT_TRUE(writer.WriteDWord("Count", 7));
  RegValue v;
  ASSERT_TRUE(reader.ReadValue("count", v));
  EXPECT_EQ(v.dword, 7u);
  writer.Close();
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(writer.WriteDWord("Count", 8));
  ASSERT_TRUE(reader.ReadValue("Count", v));
  EXPECT_EQ(v.dword, 7u);
}

// Records what the watcher is told; at the held path it runs OnHold, waits
// until the test lets it go on (or ten seconds, so that a fault cannot hang the
// test) and then reads the key, as the install journal does.
class HeldWatcher {
 public:
  explicit HeldWatcher(std::string held) : held_(std::move(held)) {}
  std::function<void()> OnHold;

  void Tell(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    told_.push_back(path);
    if (path != held_) return;
    entered_ = true;
    changed_.notify_all();
    lock.unlock();
    if (OnHold) OnHold();
    lock.lock();
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
    lock.unlock();
    platform::RegKeyExists(kRoot, path);
    lock.lock();
    finished_ = true;
  }
  bool WaitEntered() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }
  std::vector<std::string> Told() {
    std::lock_guard<std::mutex> lock(mutex_);
    return told_;
  }

 private:
  std::string held_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> told_;
  bool entered_ = false, released_ = false, finished_ = false;
};

class RegistryWatcherTest : public RegistryTest {
 protected:
  void TearDown() override {
    platform::SetRegistryWatcher(nullptr);
    RegistryTest::TearDown();
  }
  void Watch(HeldWatcher& watcher) {
    platform::SetRegistryWatcher(
        [&watcher](const platform::RegistryChange& change) { watcher.Tell(change.path); });
  }
  // Whether another thread's call has returned once it had time to reach the
  // held watcher. The outcome of a test never depends on that time: a call
  // that must wait for the watcher waits in any case, and one that wrongly
  // does not is caught whenever it got there in time.
  template <typename T>
  static bool ReturnsSoon(std::future<T>& call) {
    return call.wait_for(std::chrono::milliseconds(300)) == std::future_status::ready;
  }

  const std::string held_ = kArea + "\\Held";
  const std::string other_ = kArea + "\\Other";
};

// What the watcher writes itself is not told to it again (and does not wait
// for itself); a write from another thread meanwhile waits and is told.
TEST_F(RegistryWatcherTest, AnotherThreadsWriteWaitsForTheWatcherAndIsTold) {
  RegKey held, other;
  ASSERT_TRUE(held.Open(kRoot, held_, true));
  HeldWatcher watcher(held_);
  watcher.OnHold = [] {
    RegKey own;
    EXPECT_TRUE(own.Open(kRoot, kArea + "\\Own", true));
    EXPECT_TRUE(own.WriteString("Value", "own"));
  };
  Watch(watcher);
  auto first = std::async(std::launch::async, [&] { return held.WriteString("Value", "1"); });
  ASSERT_TRUE(watcher.WaitEntered());
  auto second = std::async(std::launch::async, [&] { return other.Open(kRoot, other_, true); });
  EXPECT_FALSE(ReturnsSoon(second));  // not before the watcher has been told of it
  watcher.Release();
  EXPECT_TRUE(first.get());
  EXPECT_TRUE(second.get());
  EXPECT_EQ(watcher.Told(), (std::vector<std::string>{held_, other_}));
}

// Ending the watching while the watcher runs, from within it or from another
// thread: nothing is told afterwards, and a clear from another thread returns
// only once the watcher has returned (what it belongs to may end next).
TEST_F(RegistryWatcherTest, AClearMadeWhileTheWatcherRunsStays) {
  for (bool fromWatcher : {false, true}) {
    SCOPED_TRACE(fromWatcher ? "from the watcher" : "from another thread");
    RegKey held;
    ASSERT_TRUE(held.Open(kRoot, held_, true));
    HeldWatcher watcher(held_);
    if (fromWatcher) {
      watcher.OnHold = [] { platform::SetRegistryWatcher(nullptr); };
      watcher.Release();
    }
    Watch(watcher);
    auto write = std::async(std::launch::async, [&] { return held.WriteString("Value", "1"); });
    ASSERT_TRUE(watcher.WaitEntered());
    if (!fromWatcher) {
      auto clear = std::async(std::launch::async, [&] {
        platform::SetRegistryWatcher(nullptr);
        return watcher.Finished();
      });
      EXPECT_FALSE(ReturnsSoon(clear));
      watcher.Release();
      EXPECT_TRUE(clear.get());
    }
    EXPECT_TRUE(write.get());
    EXPECT_TRUE(held.WriteString("Value", "2"));
    ASSERT_TRUE(platform::RegDeleteKeyTree(kRoot, held_));
    EXPECT_EQ(watcher.Told(), std::vector<std::string>{held_});
    platform::SetRegistryWatcher(nullptr);  // whatever the outcome: the watcher ends here
  }
}

}  // namespace
