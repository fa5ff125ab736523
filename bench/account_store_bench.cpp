// A domain with 100,000 accounts in users.cfg (about 285 MB): finding the last
// account by its alias (every record's alias field unscrambled and compared),
// counting the accounts, and walking all of them with the iterator. The file
// is written once per run, to a folder under TMPDIR (or /tmp).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/posix/posix_platform.h"
#include "serverconfig/config_store.h"
#include "serverconfig/new_objects.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"

namespace {

namespace a = serverconfig::account;
constexpr int kAccounts = 100000;

serverconfig::TConfigStore& Store() {
  static serverconfig::TConfigStore* store = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvik-bench-XXXXXX";
    if (!mkdtemp(root.data())) std::abort();
    platform::posix::SetDriveRoot(root);
    auto* made = new serverconfig::TConfigStore;
    made->Dirs.InstallDir = "C:\\orvik\\";
    made->Dirs.ConfigDir = "C:\\orvik\\config\\";
    made->LoadServerConfig(false, false);
    made->Domains.AddDomain("bench.example");
    // The records are written in one piece, as the server's own file would be.
    std::string file;
    file.reserve(static_cast<std::size_t>(kAccounts) * a::kRecordSize);
    for (int i = 0; i < kAccounts; ++i) {
      std::string alias = "user" + std::to_string(i) + ";alias" + std::to_string(i);
      serverconfig::TFixedRecord record =
          serverconfig::NewAccountRecord("bench.example", alias, "secret", a::kUser);
      serverconfig::ScrambleBytes(record.Data(), record.Size());
      file.append(reinterpret_cast<const char*>(record.Data()), record.Size());
    }
    if (!support::SaveStringToFile(file, made->Dirs.ConfigDir + "bench.example\\users.cfg"))
      std::abort();
    return made;
  }();
  return *store;
}

void BM_FindLastAccount(benchmark::State& state) {
  serverconfig::TConfigStore& store = Store();
  store.Accounts.DropCache();  // every lookup reads the file
  const std::string last = "alias" + std::to_string(kAccounts - 1);
  for (auto _ : state) {
    int index = store.Accounts.FindAccount("bench.example", last);
    if (index != kAccounts - 1) state.SkipWithError("wrong index");
    benchmark::DoNotOptimize(index);
  }
}
BENCHMARK(BM_FindLastAccount)->Unit(benchmark::kMillisecond);

void BM_CountAccounts(benchmark::State& state) {
  serverconfig::TConfigStore& store = Store();
  for (auto _ : state) {
    int count = store.Accounts.AccountCount("bench.example");
    if (count != kAccounts) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_CountAccounts)->Unit(benchmark::kMicrosecond);

void BM_WalkAllAccounts(benchmark::State& state) {
  serverconfig::TConfigStore& store = Store();
  for (auto _ : state) {
    serverconfig::TAccountIterator it;
    int walked = 0;
    store.Accounts.OpenAccounts("bench.example", it, "", false, 0);
    while (!store.Accounts.NextAccount(it)) ++walked;
    store.Accounts.CloseAccounts(it);
    if (walked != kAccounts) state.SkipWithError("wrong walk");
  }
}
BENCHMARK(BM_WalkAllAccounts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
