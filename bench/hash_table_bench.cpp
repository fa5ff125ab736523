// Put and get of 100,000 address-like string keys ("user12345@example.com"):
// tHashTable with tString keys, the tStringHash wrapper over it, and
// std::unordered_map with the same keys for comparison. Gets look the keys up
// in a shuffled order; every lookup builds its key from the text, as the
// configuration store does (tString::Lookup refers to the text, as
// unordered_map::find does; the copied-key variant shows what a copy costs).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "collections/hash_table.h"

namespace {

using support::tHashTable;
using support::TObject;
using support::tString;
using support::tStringHash;

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (int i = 0; i < 100000; ++i) k.push_back("user" + std::to_string(i) + "@example.com");
    return k;
  }();
  return keys;
}

const std::vector<std::string>& ShuffledKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k = Keys();
    std::shuffle(k.begin(), k.end(), std::mt19937(12345));
    return k;
  }();
  return keys;
}

TObject g_value;

void BM_HashTablePut(benchmark::State& state) {
  for (auto _ : state) {
    tHashTable table(10, true);
    for (const std::string& key : Keys()) table.Put(new tString(key), &g_value);
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_HashTablePut)->Unit(benchmark::kMillisecond);

void BM_StringHashPut(benchmark::State& state) {
  for (auto _ : state) {
    tStringHash hash(true, 10);
    for (const std::string& key : Keys()) hash.Put(key, &g_value);
    benchmark::DoNotOptimize(hash.Count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_StringHashPut)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapPut(benchmark::State& state) {
  for (auto _ : state) {
    std::unordered_map<std::string, TObject*> map;
    for (const std::string& key : Keys()) map.emplace(key, &g_value);
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_UnorderedMapPut)->Unit(benchmark::kMillisecond);

void BM_HashTableGet(benchmark::State& state) {
  tHashTable table(10, true);
  for (const std::string& key : Keys()) table.Put(new tString(key), &g_value);
  for (auto _ : state) {
    for (const std::string& text : ShuffledKeys()) {
      tString key = tString::Lookup(text);
      benchmark::DoNotOptimize(table.Get(&key));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_HashTableGet)->Unit(benchmark::kMillisecond);

// The same with a lookup key that copies the text.
void BM_HashTableGetCopiedKey(benchmark::State& state) {
  tHashTable table(10, true);
  for (const std::string& key : Keys()) table.Put(new tString(key), &g_value);
  for (auto _ : state) {
    for (const std::string& text : ShuffledKeys()) {
      tString key(text);
      benchmark::DoNotOptimize(table.Get(&key));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_HashTableGetCopiedKey)->Unit(benchmark::kMillisecond);

void BM_StringHashGet(benchmark::State& state) {
  tStringHash hash(true, 10);
  for (const std::string& key : Keys()) hash.Put(key, &g_value);
  for (auto _ : state)
    for (const std::string& key : ShuffledKeys()) benchmark::DoNotOptimize(hash.Get(key));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_StringHashGet)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapGet(benchmark::State& state) {
  std::unordered_map<std::string, TObject*> map;
  for (const std::string& key : Keys()) map.emplace(key, &g_value);
  for (auto _ : state)
    for (const std::string& key : ShuffledKeys()) benchmark::DoNotOptimize(map.find(key));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Keys().size()));
}
BENCHMARK(BM_UnorderedMapGet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
