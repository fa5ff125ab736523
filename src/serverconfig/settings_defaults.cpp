#include "serverconfig/settings_defaults.h"

#include <random>

#include "serverconfig/settings_fields.h"
#include "support/text_fields.h"

namespace serverconfig {
namespace {

using namespace settings;

template <typename T>
struct Default {
  std::size_t offset;
  T value;
};

constexpr Default<uint16_t> kWordDefaults[] = {
    {1024, 110},   {1026, 995}, {1028, 25},    {1030, 993},    {1036, 32000}, {1038, 143},
    {1040, 32001}, {1461, 465}, {248, 636},    {250, 389},     {252, 366},    {160, 5229},
    {167, 5269},   {228, 5222}, {230, 5223},   {1458, 0x8000}, {21384, 21},   {21386, 990},
    {22217, 161},  {22219, 13}, {24755, 5060}, {28047, 5061},  {1564, 40},    {1566, 5000},
    {7010, 45},    {242, 300}};

constexpr Default<uint32_t> kDWordDefaults[] = {
    {222, 40},     {233, 10},    {1544, 8},      {1548, 1},    {1552, 256},   {1556, 40},
    {1560, 40},    {7016, 2880}, {21372, 40},    {21396, 256}, {21400, 256},  {21404, 256},
    {21408, 256},  {21412, 256}, {21416, 256},   {21420, 256}, {21424, 256},  {21752, 40},
    {22124, 40},   {22128, 1},   {25666, 10000}, {25670, 64},  {26967, 100},  {26971, 128},
    {28052, 1800}, {28853, 5},   {29187, 5},     {29449, 20},  {22831, 1000}, {22136, 1}};

constexpr Default<uint8_t> kByteDefaults[] = {{1476, 3}, {7008, 20}, {24186, ':'}};

struct TextDefault {
  std::size_t offset, size;
  const char* value;
};

constexpr TextDefault kTextDefaults[] = {
    {kBounceSender, kBounceSenderSize, "MAILER-DAEMON"},
    {kBounceName, kBounceNameSize, "Mail Delivery Subsystem"},
    {kTrustedAddresses, kTrustedAddressesSize, "127.0.0.1;192.168.*.*;10.*.*.*;172.16-31.*.*"}};

struct ListField {
  std::size_t offset, size;
};

constexpr ListField kListFields[] = {{kHostName, kHostNameSize},
                                     {kAddressListA, kAddressListSize},
                                     {kLocalAddresses, kAddressListSize},
                                     {kDnsServers, kAddressListSize},
                                     {kAddressListB, kAddressListBSize},
                                     {kAddressListC, kAddressListSize},
                                     {kTrustedAddresses, kTrustedAddressesSize}};

constexpr uint32_t kCorrectedLimit = 0x500000;

}  // namespace

std::string NormalizeList(std::string_view text) {
  std::string result;
  for (char c : support::TrimBlanks(std::string(text))) {
    if (c == ' ') continue;
    result += c == ',' ? ';' : c;
  }
  return result;
}

std::string GeneratePassword(std::size_t length) {
  static const char kAlphabet[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string password;
  for (std::size_t i = 0; i < length; ++i) password += kAlphabet[pick(source)];
  return password;
}

void ApplySettingsDefaults(TFixedRecord& s, HeldSettings& held, double today) {
  for (const auto& d : kWordDefaults)
    if (s.Word(d.offset) == 0) s.SetWord(d.offset, d.value);
  for (const auto& d : kDWordDefaults)
    if (s.DWord(d.offset) == 0) s.SetDWord(d.offset, d.value);
  for (const auto& d : kByteDefaults)
    if (s.Byte(d.offset) == 0) s.SetByte(d.offset, d.value);
  for (const auto& d : kTextDefaults)
    if (s.Str(d.offset, d.size).empty()) s.SetStr(d.offset, d.size, d.value);
  if (s.Str(kGroupwareUser, kGroupwareSize).empty()) {
    s.SetStr(kGroupwareUser, kGroupwareSize, "gwsuperuser");
    s.SetStr(kGroupwarePassword, kGroupwareSize, GeneratePassword(12));
  }

  if (s.DWord(kPreviousLoadValue) == 0) s.SetDWord(kPreviousLoadValue, held.PreviousLoadValue);
  held.PreviousLoadValue = s.DWord(kPreviousLoadValue);
  held.TakenOut = s.Word(kHeldValue);
  s.SetWord(kHeldValue, 0);

  if (s.DWord(2878) > kCorrectedLimit) s.SetDWord(2878, 0);
  if (s.Byte(1444) != 0 && s.Byte(1464) != 0) s.SetByte(1444, 0);
  if (s.Double(kCreationDate) == 0) s.SetDouble(kCreationDate, today);
  s.SetByte(kPathDelimiter, '\\');
  if (s.Byte(kFormatMarker) != 1) s.SetByte(kStorageMode, 1);

  for (const auto& f : kListFields)
    s.SetStr(f.offset, f.size, NormalizeList(s.Str(f.offset, f.size)));
  std::string held_dir = s.Str(kHeldDir, kHeldDirSize);
  if (!held_dir.empty() && held_dir.back() != '\\')
    s.SetStr(kHeldDir, kHeldDirSize, held_dir + '\\');
}

}  // namespace serverconfig
