// The server's mail domains: the ordered list whose first entry is the
// primary domain (saved as domains.cfg), its name index, the domain records
// (domain.cfg in each domain's directory) with their cache, and the per-domain
// bind addresses. In database storage the database library holds them too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collections/object_collections.h"
#include "serverconfig/fixed_record.h"

namespace serverconfig {

class TConfigStore;

namespace domain {
constexpr std::size_t kEntrySize = 96;  // name field; its last byte is the bind flag
constexpr std::size_t kBindFlag = 95;
constexpr std::size_t kRecordSize = 1169;
constexpr std::size_t kRoleNames = 128, kAdminAddress = 384, kFieldSize = 256;
}  // namespace domain

// The folder of a domain, configDir + the lower-cased name + "\"; "" for a
// name that cannot be a folder there (empty, "." or "..", or holding "\", "/",
// ":" or NUL), so that such a name is never written to disk.
std::string DomainFolder(const std::string& configDir, const std::string& name);

class TDomainList {
 public:
  explicit TDomainList(TConfigStore& store);
  ~TDomainList();
  TDomainList(const TDomainList&) = delete;
  TDomainList& operator=(const TDomainList&) = delete;

  // Part of loading the server configuration: true when a list was read.
  bool LoadDomains();
  // Writes domains.cfg (count x 96 bytes) once the list has been loaded; part
  // of saving the configuration. Entries are written as loaded, names lower-cased.
  bool SaveDomains();

  int DomainCount() const;
  // "" when the index is not within the list.
  std::string DomainName(int index) const;
  // Stores the lower-cased name and keeps the index current; ignored outside the list.
  void SetDomainName(int index, std::string_view name);
  // Appends a domain (an empty name only grows the list); always true. The
  // caller tells the database library in database storage.
  bool AddDomain(std::string_view name, int growBy = 1);
  bool DomainExists(std::string_view name);
  // The index of a name, an address (its domain part), an address literal or a
  // name mapped by subdomains.dat; -1 when none.
  int FindDomain(std::string_view name);

  // The record of a domain (cleared first); true when one was obtained.
  bool ReadDomainRecord(std::string_view name, TFixedRecord& record);
  // Writes the record of the domain at the index; audits "Created" or "Updated".
  bool WriteDomainRecord(const TFixedRecord& record, int index, bool isNew, const std::string& who);
  // Swaps the names and bind addresses of the domain at the index and the primary one.
  void MakePrimaryDomain(int index);
  std::string DomainBind(int index);
  void SetDomainBind(int index, const std::string& addresses);

  // The record cache lives while the configuration is fully loaded.
  void CreateRecordCache();

 private:
  bool LoadFromDatabase();
  void LoadFromFiles();
  void ConvertOldLayouts();
  void RebuildIndex();
  int IndexOf(const std::string& lowerName) const;
  int FindAddressLiteral(std::string literal);
  int FindSubdomain(const std::string& name);
  uint8_t* Entry(int index) {
    return &entries_[static_cast<std::size_t>(index) * domain::kEntrySize];
  }
  const uint8_t* Entry(int index) const {
    return &entries_[static_cast<std::size_t>(index) * domain::kEntrySize];
  }
  void SetCount(int count);

  TConfigStore& store_;
  std::vector<uint8_t> entries_;  // capacity x 96 bytes
  int capacity_ = 0;
  bool loaded_ = false;
  support::THashObjectCollection index_;  // lower-case name -> index plus one
  std::unique_ptr<support::TExpireHashObjectCollection> cache_;
};

}  // namespace serverconfig
