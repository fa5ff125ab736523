#include "serverconfig/config_fixture.h"

#include "serverconfig/domain_list.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"

namespace serverconfig_test {

ConfigTest::ConfigTest() {
  ResetStore();
}

void ConfigTest::ResetStore() {
  store_ = std::make_unique<serverconfig::TConfigStore>();
  store_->Dirs.InstallDir = dir_.Path();
  store_->Dirs.ConfigDir = dir_.Path() + "config\\";
}

void ConfigTest::WriteScrambled(const std::string& path, const TFixedRecord& record,
                                std::size_t length) {
  std::string bytes = serverconfig::ScrambledCopy(record);
  if (length) bytes.resize(length);
  ASSERT_TRUE(support::SaveStringToFile(bytes, path));
}

TFixedRecord ConfigTest::ReadScrambled(const std::string& path, std::size_t size) {
  std::string bytes = testing_support::ReadFile(path);
  TFixedRecord record(size);
  std::copy(bytes.begin(), bytes.begin() + std::min(bytes.size(), size), record.Data());
  serverconfig::ScrambleBytes(record.Data(), record.Size());
  return record;
}

void ConfigTest::WriteDomainList(const std::vector<std::string>& names) {
  std::string bytes;
  for (const std::string& name : names) {
    std::string entry(serverconfig::domain::kEntrySize, '\0');
    entry[0] = static_cast<char>(name.size());
    entry.replace(1, name.size(), name);
    bytes += entry;
  }
  ASSERT_TRUE(support::SaveStringToFile(bytes, Config("domains.cfg")));
}

void ConfigTest::WriteSettingsWithCount(uint32_t count) {
  TFixedRecord settings(serverconfig::settings::kRecordSize);
  settings.SetDWord(serverconfig::settings::kDomainCount, count);
  settings.SetByte(serverconfig::settings::kDomainsConverted, 1);
  WriteScrambled(Config("settings.cfg"), settings);
}

}  // namespace serverconfig_test
